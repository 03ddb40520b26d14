// The simulated main loop: timers, delayed calls and blocking sleeps on the virtual clock.

#include <algorithm>

#include "sim/world_impl.h"

namespace sim {

platform::Timer SimMainLoop::scheduledTimer(double intervalSeconds, bool repeats,
                                            std::function<void()> block) {
  auto timer = std::make_shared<platform::TimerObject>();
  // NSTimer replaces a non-positive interval with 0.1 ms.
  timer->interval = std::max<Micros>(secondsToMicros(intervalSeconds), 100);
  timer->repeats = repeats;
  timer->block = std::move(block);
  w_.scheduleTimer(timer, w_.now + timer->interval);
  return timer;
}

void SimMainLoop::invalidate(const platform::Timer& timer) {
  if (timer) timer->valid = false;
}

void SimMainLoop::dispatchAfter(double delaySeconds, std::function<void()> block) {
  if (!block) return;
  w_.enqueue(w_.now + secondsToMicros(delaySeconds), std::move(block));
}

void SimMainLoop::sleepMicroseconds(uint32_t microseconds) {
  w_.now += microseconds;
  w_.pauses.push_back(microseconds);
}

}  // namespace sim
