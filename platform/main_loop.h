#pragma once
// The main thread's loop: repeating timers (NSTimer), delayed calls on the main dispatch queue,
// and blocking sleeps (usleep).

#include <cstdint>
#include <functional>
#include <memory>

namespace platform {

struct TimerObject;
using Timer = std::shared_ptr<TimerObject>;

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
  // usleep: blocks the main thread; nothing else runs meanwhile.
  virtual void sleepMicroseconds(uint32_t microseconds) = 0;
};

}  // namespace platform
