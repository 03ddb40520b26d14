// The simulated main loop: timers, delayed calls, signals from other threads and blocking sleeps
// on the virtual clock.

#include "sim/main_loop.h"

#include <algorithm>

#include "sim/world_impl.h"

namespace sim {

platform::Timer SimMainLoop::scheduledTimer(double intervalSeconds, bool repeats,
                                            std::function<void()> block) {
  w_.requireMainThread("scheduledTimer");
  auto timer = std::make_shared<platform::TimerObject>();
  // NSTimer replaces a non-positive interval with 0.1 ms.
  timer->interval = std::max<Micros>(secondsToMicros(intervalSeconds), 100);
  timer->repeats = repeats;
  timer->block = std::move(block);
  timer->id = w_.nextTimerId++;
  timer->scheduledAt = w_.now;
  // Only live timers are listed; the loop itself keeps the rest until they come due.
  std::erase_if(w_.timers, [](const auto& weak) {
    const auto t = weak.lock();
    return !t || !t->valid;
  });
  w_.timers.push_back(timer);
  w_.scheduleTimer(timer, w_.now + timer->interval);
  w_.note("timer", "timer " + std::to_string(timer->id) + (repeats ? " every " : " once after ") +
                       std::to_string(timer->interval) + " us");
  return timer;
}

void SimMainLoop::invalidate(const platform::Timer& timer) {
  w_.requireMainThread("invalidate");
  if (!timer) return;
  if (timer->valid) w_.note("timer.invalidate", "timer " + std::to_string(timer->id));
  timer->valid = false;
}

void SimMainLoop::dispatchAfter(double delaySeconds, std::function<void()> block) {
  w_.requireMainThread("dispatchAfter");
  if (!block) return;
  const Micros due = w_.now + secondsToMicros(delaySeconds);
  const uint64_t id = w_.nextBlockId++;
  w_.delayedBlocks[id] = {w_.now, due};
  w_.note("dispatch",
          "block " + std::to_string(id) + " after " + std::to_string(due - w_.now) + " us");
  w_.enqueue(due, [&w = w_, id, block = std::move(block)] {
    w.delayedBlocks.erase(id);
    w.note("dispatch.run", "block " + std::to_string(id));
    block();
  });
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
  w_.requireMainThread("sleepMicroseconds");
  w_.note("sleep", std::to_string(microseconds) + " us");
  w_.pauses.push(microseconds);
  w_.pausedMicros += microseconds;
  w_.blockMain(microseconds);
}

}  // namespace sim
