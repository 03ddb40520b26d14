#include "platform/main_loop.h"

#import <Foundation/Foundation.h>
#include <dispatch/dispatch.h>
#include <unistd.h>

#include "platform/macos/conversions.h"
#include "platform/macos/guard.h"
#include "platform/macos/services.h"

namespace platform {

struct TimerObject {
  NSTimer* timer;
};

// A version 0 run-loop source on the main run loop; its context owns the perform function.
struct SignalSourceObject {
  explicit SignalSourceObject(CFRunLoopSourceRef created) : source(created) {}
  SignalSourceObject(const SignalSourceObject&) = delete;
  SignalSourceObject& operator=(const SignalSourceObject&) = delete;
  ~SignalSourceObject() {
    CFRunLoopSourceInvalidate(source);
    CFRelease(source);
  }
  CFRunLoopSourceRef source;
};

}  // namespace platform

namespace platform::macos {
namespace {

class MacMainLoop final : public MainLoop {
 public:
  Timer scheduledTimer(double intervalSeconds, bool repeats, std::function<void()> block) override {
    assertMainThread();
    NSTimer* timer = [NSTimer scheduledTimerWithTimeInterval:intervalSeconds
                                                     repeats:repeats
                                                       block:^(NSTimer*) {
                                                         block();
                                                       }];
    return std::make_shared<TimerObject>(TimerObject{timer});
  }

  void invalidate(const Timer& timer) override {
    assertMainThread();
    if (timer) [timer->timer invalidate];
  }

  void dispatchAfter(double delaySeconds, std::function<void()> block) override {
    assertMainThread();
    dispatch_after(dispatch_time(DISPATCH_TIME_NOW, toNanoseconds(delaySeconds)),
                   dispatch_get_main_queue(), ^{
                     block();
                   });
  }

  SignalSource addSignalSource(std::function<void()> perform) override {
    CFRunLoopSourceContext context = {};
    context.info = new std::function<void()>(std::move(perform));
    context.release = [](const void* info) {
      delete static_cast<const std::function<void()>*>(info);
    };
    context.perform = [](void* info) { (*static_cast<std::function<void()>*>(info))(); };
    CFRunLoopSourceRef source = CFRunLoopSourceCreate(kCFAllocatorDefault, 0, &context);
    if (source == nullptr) {
      context.release(context.info);
      return nullptr;
    }
    CFRunLoopAddSource(CFRunLoopGetMain(), source, kCFRunLoopCommonModes);
    return std::make_shared<SignalSourceObject>(source);
  }

  void signal(const SignalSource& source) override {
    if (!source) return;
    CFRunLoopSourceSignal(source->source);
    CFRunLoopWakeUp(CFRunLoopGetMain());
  }

  void invalidateSignalSource(const SignalSource& source) override {
    if (source) CFRunLoopSourceInvalidate(source->source);
  }

  void sleepMicroseconds(uint32_t microseconds) override {
    assertMainThread();
    usleep(static_cast<useconds_t>(microseconds));
  }
};

}  // namespace

std::unique_ptr<MainLoop> makeMainLoop() {
  return std::make_unique<MacMainLoop>();
}

}  // namespace platform::macos
