#include "platform/main_loop.h"

#import <Foundation/Foundation.h>
#include <dispatch/dispatch.h>
#include <unistd.h>

#include "platform/macos/conversions.h"
#include "platform/macos/services.h"

namespace platform {

struct TimerObject {
  NSTimer* timer;
};

}  // namespace platform

namespace platform::macos {
namespace {

class MacMainLoop final : public MainLoop {
 public:
  Timer scheduledTimer(double intervalSeconds, bool repeats, std::function<void()> block) override {
    NSTimer* timer = [NSTimer scheduledTimerWithTimeInterval:intervalSeconds
                                                     repeats:repeats
                                                       block:^(NSTimer*) {
                                                         block();
                                                       }];
    return std::make_shared<TimerObject>(TimerObject{timer});
  }

  void invalidate(const Timer& timer) override {
    if (timer) [timer->timer invalidate];
  }

  void dispatchAfter(double delaySeconds, std::function<void()> block) override {
    dispatch_after(dispatch_time(DISPATCH_TIME_NOW, toNanoseconds(delaySeconds)),
                   dispatch_get_main_queue(), ^{
                     block();
                   });
  }

  void sleepMicroseconds(uint32_t microseconds) override {
    usleep(static_cast<useconds_t>(microseconds));
  }
};

}  // namespace

std::unique_ptr<MainLoop> makeMainLoop() {
  return std::make_unique<MacMainLoop>();
}

}  // namespace platform::macos
