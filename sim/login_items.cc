// The simulated login-item service (SMAppService.mainApp).

#include "sim/login_items.h"

#include "sim/world_impl.h"

namespace sim {
namespace {

bool registered(int64_t status) {
  return status == platform::kSMAppServiceStatusEnabled ||
         status == platform::kSMAppServiceStatusRequiresApproval;
}

}  // namespace

// The system cannot find a translocated app, nor one whose signature it rejects; an item the
// user switched off waits for their approval again.
int64_t World::Impl::loginItemStatus() const {
  if (translocated || loginItem.signatureRejected) return platform::kSMAppServiceStatusNotFound;
  if (loginItem.switchedOff && registered(loginItem.status)) {
    return platform::kSMAppServiceStatusRequiresApproval;
  }
  return loginItem.status;
}

void World::switchLoginItem(bool on) {
  LoginItemState& item = impl_->loginItem;
  item.switchedOff = !on;
  if (on && item.status == platform::kSMAppServiceStatusRequiresApproval) {
    item.status = platform::kSMAppServiceStatusEnabled;
  }
}

int64_t SimLoginItems::status() {
  w_.requireMainThread("status");
  ++w_.calls.loginItemStatus;
  return w_.loginItemStatus();
}

platform::LoginItemOutcome SimLoginItems::registerMainApp() {
  w_.requireMainThread("registerMainApp");
  ++w_.calls.loginItemRegister;
  LoginItemState& item = w_.loginItem;
  if (item.switchedOff) {
    // Registered, and off until the user switches it on.
    item.status = platform::kSMAppServiceStatusRequiresApproval;
    return refusal();
  }
  if (item.refuse || item.refuseRegister || w_.translocated || item.signatureRejected) {
    return refusal();
  }
  item.status = item.requiresApproval ? platform::kSMAppServiceStatusRequiresApproval
                                      : platform::kSMAppServiceStatusEnabled;
  platform::LoginItemOutcome done;
  done.succeeded = true;
  return done;
}

platform::LoginItemOutcome SimLoginItems::unregisterMainApp() {
  w_.requireMainThread("unregisterMainApp");
  ++w_.calls.loginItemUnregister;
  // Nothing registered is nothing to remove: that fails too.
  if (w_.loginItem.refuse || w_.loginItem.refuseUnregister || !registered(w_.loginItemStatus())) {
    return refusal();
  }
  w_.loginItem.status = platform::kSMAppServiceStatusNotRegistered;
  platform::LoginItemOutcome done;
  done.succeeded = true;
  return done;
}

void SimLoginItems::openSystemSettingsLoginItems() {
  w_.requireMainThread("openSystemSettingsLoginItems");
  ++w_.loginItem.settingsOpened;
}

platform::LoginItemOutcome SimLoginItems::refusal() const {
  const LoginItemState& item = w_.loginItem;
  platform::LoginItemOutcome outcome;
  if (!item.refusalDescription) return outcome;  // no error object at all
  outcome.errorDescription = item.refusalDescription;
  outcome.errorDomain = item.refusalDomain;
  outcome.errorCode = item.refusalCode;
  return outcome;
}

}  // namespace sim
