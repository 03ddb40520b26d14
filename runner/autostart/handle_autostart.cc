#include "runner/autostart/handle_autostart.h"

#include <string>
#include <utility>

#include "channel/arguments.h"

namespace tandrel {
namespace {

void answerUnsupported(channel::MethodResult& result) {
  result.error(std::string(kAutostartUnsupportedCode), std::string(kAutostartUnsupportedMessage));
}

// SMAppServiceStatus by name. A value this build does not know names no registration it could
// act on, so it reads as not found.
std::string_view statusName(int64_t status) {
  switch (status) {
    case platform::kSMAppServiceStatusNotRegistered:
      return "notRegistered";
    case platform::kSMAppServiceStatusEnabled:
      return "enabled";
    case platform::kSMAppServiceStatusRequiresApproval:
      return "requiresApproval";
    default:
      return "notFound";
  }
}

channel::Value optionalValue(const std::optional<std::string>& text) {
  return text ? channel::Value(*text) : channel::Value();
}

// A refused change, with the status read after it. Two causes of a refused registration have a
// remedy the user can apply, so the message names it: the user switched the app off in Login
// Items (its status then asks for approval, and the page is opened where it is given), or the
// app runs translocated (from where it was downloaded, which the system cannot register).
void answerRefusal(platform::Platform& platform, bool registering,
                   const platform::LoginItemOutcome& outcome, channel::MethodResult& result) {
  platform::LoginItems& loginItems = platform.loginItems();
  const int64_t status = loginItems.status();
  std::string_view reason = "refused";
  // An empty description would leave the Flutter side with nothing to show.
  std::string message = outcome.errorDescription && !outcome.errorDescription->empty()
                            ? *outcome.errorDescription
                            : std::string(kAutostartRefusedMessage);
  if (registering) {
    if (platform.processInfo().mainBundlePath().find(kTranslocationFolder) != std::string::npos) {
      reason = "translocated";
      message = kAutostartTranslocatedMessage;
    } else if (status == platform::kSMAppServiceStatusRequiresApproval) {
      reason = "requiresApproval";
      message = kAutostartApprovalMessage;
      loginItems.openSystemSettingsLoginItems();
    }
  }
  const bool hasError = outcome.errorDomain.has_value();
  channel::ValueMap details{
      {"reason", std::string(reason)},
      {"status", std::string(statusName(status))},
      {"domain", optionalValue(outcome.errorDomain)},
      {"code", hasError ? channel::Value(outcome.errorCode) : channel::Value()},
      {"description", optionalValue(outcome.errorDescription)},
  };
  result.error(std::string(kAutostartFailedCode), std::move(message), std::move(details));
}

// Only a change is asked for: the system refuses to unregister what is not registered, and a
// copy it cannot find (not found) has nothing registered to remove.
void setEnabled(platform::Platform& platform, bool enabled, channel::MethodResult& result) {
  platform::LoginItems& loginItems = platform.loginItems();
  const int64_t status = loginItems.status();
  const bool already = enabled ? status == platform::kSMAppServiceStatusEnabled
                               : status == platform::kSMAppServiceStatusNotRegistered ||
                                     status == platform::kSMAppServiceStatusNotFound;
  if (already) {
    result.success();
    return;
  }
  const platform::LoginItemOutcome outcome =
      enabled ? loginItems.registerMainApp() : loginItems.unregisterMainApp();
  if (outcome.succeeded) {
    result.success();
  } else {
    answerRefusal(platform, enabled, outcome, result);
  }
}

}  // namespace

bool isOperatingSystemAtLeast(const platform::OperatingSystemVersion& running,
                              const platform::OperatingSystemVersion& required) {
  if (running.majorVersion != required.majorVersion) {
    return running.majorVersion > required.majorVersion;
  }
  if (running.minorVersion != required.minorVersion) {
    return running.minorVersion > required.minorVersion;
  }
  return running.patchVersion >= required.patchVersion;
}

namespace TandrelPlugin {

void handleAutostart(platform::Platform& platform, const channel::MethodCall& call,
                     std::unique_ptr<channel::MethodResult> result) {
  // The login-item service must not be touched at all on an older system.
  if (!isOperatingSystemAtLeast(platform.processInfo().operatingSystemVersion(),
                                kLoginItemMinimumVersion)) {
    answerUnsupported(*result);
    return;
  }

  platform::LoginItems& loginItems = platform.loginItems();
  if (call.method == "isEnabled") {
    result->success(loginItems.status() == platform::kSMAppServiceStatusEnabled);
  } else if (call.method == "setEnabled") {
    setEnabled(platform,
               channel::boolArg(channel::argumentsMap(call.arguments), "enabled").value_or(false),
               *result);
  } else if (call.method == "status") {
    result->success(std::string(statusName(loginItems.status())));
  } else if (call.method == "openLoginItemsSettings") {
    loginItems.openSystemSettingsLoginItems();
    result->success();
  } else {
    result->notImplemented();
  }
}

}  // namespace TandrelPlugin
}  // namespace tandrel
