// The simulated login-item service (SMAppService.mainApp).

#include "sim/world_impl.h"

namespace sim {

int64_t SimLoginItems::status() {
  return w_.loginItem.status;
}

platform::LoginItemOutcome SimLoginItems::registerMainApp() {
  if (w_.loginItem.refuse) return {false, w_.loginItem.refusalDescription};
  w_.loginItem.status = w_.loginItem.requiresApproval
                            ? platform::kSMAppServiceStatusRequiresApproval
                            : platform::kSMAppServiceStatusEnabled;
  return {true, std::nullopt};
}

platform::LoginItemOutcome SimLoginItems::unregisterMainApp() {
  if (w_.loginItem.refuse) return {false, w_.loginItem.refusalDescription};
  w_.loginItem.status = platform::kSMAppServiceStatusNotRegistered;
  return {true, std::nullopt};
}

void SimLoginItems::openSystemSettingsLoginItems() {
  ++w_.loginItem.settingsOpened;
}

}  // namespace sim
