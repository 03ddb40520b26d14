// The simulated login-item service (SMAppService.mainApp).

#include "sim/login_items.h"

#include "sim/world_impl.h"

namespace sim {

int64_t SimLoginItems::status() {
  w_.requireMainThread("status");
  ++w_.calls.loginItemStatus;
  return w_.loginItem.status;
}

platform::LoginItemOutcome SimLoginItems::registerMainApp() {
  w_.requireMainThread("registerMainApp");
  ++w_.calls.loginItemRegister;
  if (w_.loginItem.refuse || w_.loginItem.refuseRegister) {
    return {false, w_.loginItem.refusalDescription};
  }
  w_.loginItem.status = w_.loginItem.requiresApproval
                            ? platform::kSMAppServiceStatusRequiresApproval
                            : platform::kSMAppServiceStatusEnabled;
  return {true, std::nullopt};
}

platform::LoginItemOutcome SimLoginItems::unregisterMainApp() {
  w_.requireMainThread("unregisterMainApp");
  ++w_.calls.loginItemUnregister;
  if (w_.loginItem.refuse || w_.loginItem.refuseUnregister) {
    return {false, w_.loginItem.refusalDescription};
  }
  w_.loginItem.status = platform::kSMAppServiceStatusNotRegistered;
  return {true, std::nullopt};
}

void SimLoginItems::openSystemSettingsLoginItems() {
  w_.requireMainThread("openSystemSettingsLoginItems");
  ++w_.loginItem.settingsOpened;
}

}  // namespace sim
