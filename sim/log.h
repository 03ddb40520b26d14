#pragma once
// The simulated system log.

#include "sim/world.h"

namespace sim {

class SimLog final : public platform::Log {
 public:
  explicit SimLog(World::Impl& w) : w_(w) {}
  void write(std::string_view line) override;

 private:
  World::Impl& w_;
};

}  // namespace sim
