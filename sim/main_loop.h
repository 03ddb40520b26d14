#pragma once
// The simulated main run loop: timers, delayed blocks, signals and blocking sleeps.

#include <cstdint>
#include <functional>

#include "sim/world.h"

namespace platform {

struct SignalSourceObject {
  std::function<void()> perform;
  bool pending = false;
  bool valid = true;
};

struct TimerObject {
  uint64_t id = 0;
  sim::Micros scheduledAt = 0;
  sim::Micros due = 0;  // of its next fire
  sim::Micros interval = 0;
  bool repeats = false;
  bool valid = true;
  std::function<void()> block;
};

}  // namespace platform

namespace sim {

class SimMainLoop final : public platform::MainLoop {
 public:
  explicit SimMainLoop(World::Impl& w) : w_(w) {}
  platform::Timer scheduledTimer(double intervalSeconds, bool repeats,
                                 std::function<void()> block) override;
  void invalidate(const platform::Timer& timer) override;
  void dispatchAfter(double delaySeconds, std::function<void()> block) override;
  platform::SignalSource addSignalSource(std::function<void()> perform) override;
  void signal(const platform::SignalSource& source) override;
  void invalidateSignalSource(const platform::SignalSource& source) override;
  void sleepMicroseconds(uint32_t microseconds) override;

 private:
  World::Impl& w_;
};

}  // namespace sim
