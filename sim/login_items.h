#pragma once
// The simulated login-item service.

#include "sim/world.h"

namespace sim {

class SimLoginItems final : public platform::LoginItems {
 public:
  explicit SimLoginItems(World::Impl& w) : w_(w) {}
  int64_t status() override;
  platform::LoginItemOutcome registerMainApp() override;
  platform::LoginItemOutcome unregisterMainApp() override;
  void openSystemSettingsLoginItems() override;

 private:
  // The one error every refusal gives, whatever its cause.
  platform::LoginItemOutcome refusal() const;

  World::Impl& w_;
};

}  // namespace sim
