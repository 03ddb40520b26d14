// The simulated main loop: timers, delayed calls, signals from other threads and blocking sleeps
// on the virtual clock.

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

platform::SignalSource SimMainLoop::addSignalSource(std::function<void()> perform) {
  auto source = std::make_shared<platform::SignalSourceObject>();
  source->perform = std::move(perform);
  return source;
}

void SimMainLoop::signal(const platform::SignalSource& source) {
  if (!source || !source->valid || source->pending) return;
  source->pending = true;
  w_.enqueue(w_.now, [source] {
    source->pending = false;
    if (!source->valid || !source->perform) return;
    // Copied: the perform callback may invalidate its own source.
    const std::function<void()> perform = source->perform;
    perform();
  });
}

void SimMainLoop::invalidateSignalSource(const platform::SignalSource& source) {
  if (source) source->valid = false;
}

void SimMainLoop::sleepMicroseconds(uint32_t microseconds) {
  w_.pauses.push_back(microseconds);
  w_.blockMain(microseconds);
}

}  // namespace sim
