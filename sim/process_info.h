#pragma once
// The simulated process: environment, identifier, system version and process activities.

#include <cstdint>
#include <string>

#include "sim/world.h"

namespace platform {

struct ActivityObject {
  uint64_t options = 0;
  std::string reason;
  sim::Micros since = 0;
};

}  // namespace platform

namespace sim {

class SimProcessInfo final : public platform::ProcessInfo {
 public:
  explicit SimProcessInfo(World::Impl& w) : w_(w) {}
  bool environmentContains(std::string_view name) override;
  int32_t processIdentifier() override;
  platform::OperatingSystemVersion operatingSystemVersion() override;
  platform::Activity beginActivity(uint64_t options, std::string_view reason) override;
  void endActivity(const platform::Activity& activity) override;
  std::string mainBundlePath() override;

 private:
  World::Impl& w_;
};

}  // namespace sim
