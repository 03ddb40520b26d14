#include "runner/autostart/handle_autostart.h"

#include <string>
#include <utility>

#include "channel/arguments.h"

namespace tandrel {
namespace {

void answerUnsupported(channel::MethodResult& result) {
  result.error(std::string(kAutostartUnsupportedCode), std::string(kAutostartUnsupportedMessage));
}

void answerChange(const platform::LoginItemOutcome& outcome, channel::MethodResult& result) {
  if (outcome.succeeded) {
    result.success();
    return;
  }
  // An empty description would leave the Flutter side with nothing to show.
  std::string message = outcome.errorDescription && !outcome.errorDescription->empty()
                            ? *outcome.errorDescription
                            : std::string(kAutostartRefusedMessage);
  result.error(std::string(kAutostartFailedCode), std::move(message));
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
    const bool enabled =
        channel::boolArg(channel::argumentsMap(call.arguments), "enabled").value_or(false);
    answerChange(enabled ? loginItems.registerMainApp() : loginItems.unregisterMainApp(), *result);
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
