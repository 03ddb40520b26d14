#include "platform/events.h"

#import <ApplicationServices/ApplicationServices.h>
#import <Carbon/Carbon.h>
#include <pthread/qos.h>

#include <system_error>
#include <thread>

#include "platform/macos/cf_handles.h"
#include "platform/macos/guard.h"
#include "platform/macos/services.h"

namespace platform::macos {

// What the tap's C callback needs to reach the core's callback.
struct TapContext {
  TapCallback callback;
  void* userInfo;
};

}  // namespace platform::macos

namespace platform {

// Event, event source, run-loop source and run-loop handles are the CoreFoundation references
// themselves (see adoptHandle): the tap hands the core a borrowed CGEventRef per event without
// allocating.
struct EventObject;
struct EventSourceObject;
struct RunLoopSourceObject;
struct RunLoopObject;

struct ThreadObject {
  std::thread thread;
};

// The tap lives as long as its handle. Releasing the last copy invalidates the port, which also
// invalidates its run-loop source, so no callback can arrive for a context that is gone.
struct MachPortObject {
  MachPortObject(CFMachPortRef tapPort, std::unique_ptr<macos::TapContext> tapContext)
      : port(tapPort), context(std::move(tapContext)) {}
  MachPortObject(const MachPortObject&) = delete;
  MachPortObject& operator=(const MachPortObject&) = delete;
  ~MachPortObject() {
    CFMachPortInvalidate(port);
    CFRelease(port);
  }

  CFMachPortRef port;
  std::unique_ptr<macos::TapContext> context;
};

}  // namespace platform

namespace platform::macos {
namespace {

CGEventRef eventRef(EventObject& event) {
  return handleRef<CGEventRef>(&event);
}

CGEventRef tapTrampoline(CGEventTapProxy, CGEventType type, CGEventRef event, void* userInfo) {
  const TapContext context = *static_cast<const TapContext*>(userInfo);
  EventObject* passed = context.callback(static_cast<EventType>(type),
                                         handleRef<EventObject*>(event), context.userInfo);
  return handleRef<CGEventRef>(passed);
}

class MacEvents final : public Events {
 public:
  // Also from the tap's thread, which makes a tap and releases it at once to test the grant.
  MachPort tapCreate(TapLocation location, TapPlacement placement, TapOptions options,
                     uint64_t eventsOfInterest, TapCallback callback, void* userInfo) override {
    auto context = std::make_unique<TapContext>(TapContext{callback, userInfo});
    CFMachPortRef port = CGEventTapCreate(
        static_cast<CGEventTapLocation>(location), static_cast<CGEventTapPlacement>(placement),
        static_cast<CGEventTapOptions>(options), eventsOfInterest, &tapTrampoline, context.get());
    if (port == nullptr) return nullptr;
    return std::make_shared<MachPortObject>(port, std::move(context));
  }

  // An empty handle stands for NULL, which CoreFoundation and CoreGraphics do not accept: calls
  // on one do nothing (or give NULL / 0), as the seam's null-handle convention has it.
  void tapEnable(const MachPort& tap, bool enable) override {
    if (tap) CGEventTapEnable(tap->port, enable);
  }

  bool tapIsEnabled(const MachPort& tap) override { return tap && CGEventTapIsEnabled(tap->port); }

  bool machPortIsValid(const MachPort& tap) override {
    return tap && CFMachPortIsValid(tap->port) != 0;
  }

  RunLoopSource createRunLoopSource(const MachPort& tap) override {
    assertMainThread();
    if (!tap) return nullptr;
    return adoptHandle<RunLoopSourceObject>(
        CFMachPortCreateRunLoopSource(kCFAllocatorDefault, tap->port, 0));
  }

  RunLoop mainRunLoop() override { return retainHandle<RunLoopObject>(CFRunLoopGetMain()); }

  RunLoop currentRunLoop() override { return retainHandle<RunLoopObject>(CFRunLoopGetCurrent()); }

  void addSource(const RunLoop& loop, const RunLoopSource& source) override {
    if (!loop || !source) return;
    CFRunLoopAddSource(handleRef<CFRunLoopRef>(loop.get()),
                       handleRef<CFRunLoopSourceRef>(source.get()), kCFRunLoopCommonModes);
  }

  void removeSource(const RunLoop& loop, const RunLoopSource& source) override {
    if (!loop || !source) return;
    CFRunLoopRemoveSource(handleRef<CFRunLoopRef>(loop.get()),
                          handleRef<CFRunLoopSourceRef>(source.get()), kCFRunLoopCommonModes);
  }

  void runCurrentRunLoop() override { CFRunLoopRun(); }

  void stopRunLoop(const RunLoop& loop) override {
    if (loop) CFRunLoopStop(handleRef<CFRunLoopRef>(loop.get()));
  }

  void performBlock(const RunLoop& loop, std::function<void()> block) override {
    if (!loop || !block) return;
    CFRunLoopRef ref = handleRef<CFRunLoopRef>(loop.get());
    CFRunLoopPerformBlock(ref, kCFRunLoopCommonModes, ^{
      block();
    });
    CFRunLoopWakeUp(ref);
  }

  // A thread the system cannot start is a null handle, not an exception.
  Thread startThread(std::function<void()> body) override {
    auto thread = std::make_shared<ThreadObject>();
    try {
      thread->thread = std::thread(std::move(body));
    } catch (const std::system_error&) {
      return nullptr;
    }
    return thread;
  }

  void joinThread(const Thread& thread) override {
    if (thread && thread->thread.joinable()) thread->thread.join();
  }

  int setThreadQosClassSelf(QosClass qos) override {
    return pthread_set_qos_class_self_np(static_cast<qos_class_t>(qos), 0);
  }

  int64_t integerValueField(EventObject& event, EventField field) override {
    return CGEventGetIntegerValueField(eventRef(event), static_cast<CGEventField>(field));
  }

  EventFlags flags(EventObject& event) override { return CGEventGetFlags(eventRef(event)); }

  void keyboardGetUnicodeString(EventObject& event, size_t maxLength, size_t& actualLength,
                                char16_t* buffer) override {
    UniCharCount actual = 0;
    CGEventKeyboardGetUnicodeString(eventRef(event), maxLength, &actual,
                                    reinterpret_cast<UniChar*>(buffer));
    actualLength = actual;
  }

  EventSource createSource(EventSourceStateID state) override {
    assertMainThread();
    return adoptHandle<EventSourceObject>(
        CGEventSourceCreate(static_cast<CGEventSourceStateID>(state)));
  }

  void sourceSetUserData(const EventSource& source, int64_t userData) override {
    assertMainThread();
    if (source) CGEventSourceSetUserData(handleRef<CGEventSourceRef>(source.get()), userData);
  }

  void sourceSetLocalEventsSuppressionInterval(const EventSource& source, double seconds) override {
    assertMainThread();
    if (source) {
      CGEventSourceSetLocalEventsSuppressionInterval(handleRef<CGEventSourceRef>(source.get()),
                                                     seconds);
    }
  }

  double sourceLocalEventsSuppressionInterval(const EventSource& source) override {
    assertMainThread();
    if (!source) return 0;
    return CGEventSourceGetLocalEventsSuppressionInterval(
        handleRef<CGEventSourceRef>(source.get()));
  }

  void sourceSetLocalEventsFilterDuringSuppressionState(const EventSource& source,
                                                        EventFilterMask filter,
                                                        EventSuppressionState state) override {
    assertMainThread();
    if (source) {
      CGEventSourceSetLocalEventsFilterDuringSuppressionState(
          handleRef<CGEventSourceRef>(source.get()), static_cast<CGEventFilterMask>(filter),
          static_cast<CGEventSuppressionState>(state));
    }
  }

  EventFilterMask sourceLocalEventsFilterDuringSuppressionState(
      const EventSource& source, EventSuppressionState state) override {
    assertMainThread();
    if (!source) return 0;
    return static_cast<EventFilterMask>(CGEventSourceGetLocalEventsFilterDuringSuppressionState(
        handleRef<CGEventSourceRef>(source.get()), static_cast<CGEventSuppressionState>(state)));
  }

  Event createKeyboardEvent(const EventSource& source, uint16_t keycode, bool keyDown) override {
    assertMainThread();
    return adoptHandle<EventObject>(CGEventCreateKeyboardEvent(
        handleRef<CGEventSourceRef>(source.get()), static_cast<CGKeyCode>(keycode), keyDown));
  }

  void setFlags(const Event& event, EventFlags flags) override {
    assertMainThread();
    if (event) CGEventSetFlags(eventRef(*event), static_cast<CGEventFlags>(flags));
  }

  void keyboardSetUnicodeString(const Event& event, size_t length, const char16_t* units) override {
    assertMainThread();
    if (event) {
      CGEventKeyboardSetUnicodeString(eventRef(*event), length,
                                      reinterpret_cast<const UniChar*>(units));
    }
  }

  void post(TapLocation location, const Event& event) override {
    assertMainThread();
    if (event) CGEventPost(static_cast<CGEventTapLocation>(location), eventRef(*event));
  }

  // Also from the tap's thread: a read of this process's privacy state, as AXIsProcessTrusted.
  bool preflightListenEventAccess() override { return CGPreflightListenEventAccess(); }
  bool requestListenEventAccess() override {
    assertMainThread();
    return CGRequestListenEventAccess();
  }
  bool preflightPostEventAccess() override {
    assertMainThread();
    return CGPreflightPostEventAccess();
  }
  bool requestPostEventAccess() override {
    assertMainThread();
    return CGRequestPostEventAccess();
  }

  bool isSecureEventInputEnabled() override {
    assertMainThread();
    return IsSecureEventInputEnabled();
  }
};

}  // namespace

std::unique_ptr<Events> makeEvents() {
  return std::make_unique<MacEvents>();
}

}  // namespace platform::macos
