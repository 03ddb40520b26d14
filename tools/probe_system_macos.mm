// The probe's system hooks on macOS: the main run loop (timers, the main dispatch queue, the
// event tap's source, notifications) and the selected input source.
#include <Carbon/Carbon.h>
#include <CoreFoundation/CoreFoundation.h>
#include <unistd.h>

#include "platform/macos/conversions.h"
#include "tools/tandrel_probe.h"

namespace probe {
namespace {

// While nothing is attached to the run loop it returns at once; the time must still pass.
constexpr useconds_t kIdleMicroseconds = 10000;

void runMainLoop(double seconds) {
  const CFAbsoluteTime end = CFAbsoluteTimeGetCurrent() + seconds;
  do {
    const CFTimeInterval left = end - CFAbsoluteTimeGetCurrent();
    if (CFRunLoopRunInMode(kCFRunLoopDefaultMode, left > 0 ? left : 0, false) ==
            kCFRunLoopRunFinished &&
        left > 0) {
      usleep(kIdleMicroseconds);
    }
  } while (CFAbsoluteTimeGetCurrent() < end);
}

std::optional<std::string> selectedInputSourceID() {
  TISInputSourceRef source = TISCopyCurrentKeyboardInputSource();
  if (source == nullptr) return std::nullopt;
  CFTypeRef id = TISGetInputSourceProperty(source, kTISPropertyInputSourceID);
  std::optional<std::string> result;
  if (id != nullptr && CFGetTypeID(id) == CFStringGetTypeID()) {
    result = platform::macos::toUtf8((__bridge NSString*)id);
  }
  CFRelease(source);
  return result;
}

}  // namespace

SystemHooks processSystemHooks() {
  return {runMainLoop, selectedInputSourceID};
}

}  // namespace probe
