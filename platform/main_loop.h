#pragma once
// The main thread's loop: repeating timers (NSTimer), delayed calls on the main dispatch queue,
// a signal another thread can raise to wake it (a version 0 CFRunLoopSource), and blocking sleeps
// (usleep).

#include <cstdint>
#include <functional>
#include <memory>

namespace platform {

struct TimerObject;
using Timer = std::shared_ptr<TimerObject>;
struct SignalSourceObject;
using SignalSource = std::shared_ptr<SignalSourceObject>;

class MainLoop {
 public:
  virtual ~MainLoop() = default;

  // +[NSTimer scheduledTimerWithTimeInterval:repeats:block:] on the main run loop.
  [[nodiscard]] virtual Timer scheduledTimer(double intervalSeconds, bool repeats,
                                             std::function<void()> block) = 0;
  // -[NSTimer invalidate].
  virtual void invalidate(const Timer& timer) = 0;
  // dispatch_after(now + delay, main queue, block).
  virtual void dispatchAfter(double delaySeconds, std::function<void()> block) = 0;
  // CFRunLoopSourceCreate (version 0, `perform` as its perform callback), then
  // CFRunLoopAddSource(CFRunLoopGetMain(), source, kCFRunLoopCommonModes).
  [[nodiscard]] virtual SignalSource addSignalSource(std::function<void()> perform) = 0;
  // CFRunLoopSourceSignal, then CFRunLoopWakeUp(CFRunLoopGetMain()): safe from any thread and
  // allocates nothing. Signals raised before the perform callback runs come as one call.
  virtual void signal(const SignalSource& source) = 0;
  // CFRunLoopSourceInvalidate: the perform callback is not called again.
  virtual void invalidateSignalSource(const SignalSource& source) = 0;
  // usleep: blocks the main thread; nothing queued on the main loop runs meanwhile.
  virtual void sleepMicroseconds(uint32_t microseconds) = 0;
};

}  // namespace platform
