#include "runner/permissions/handle_permissions.h"

#include <string>

#include "runner/permissions/permission_gate.h"

namespace tandrel::TandrelPlugin {
namespace {

constexpr std::string_view kSettingsUrlPrefix =
    "x-apple.systempreferences:com.apple.preference.security?";
constexpr std::string_view kListenEventAnchor = "Privacy_ListenEvent";
constexpr std::string_view kAccessibilityAnchor = "Privacy_Accessibility";

}  // namespace

void handlePermissions(platform::Platform& platform, bool sandboxed,
                       const channel::MethodCall& call,
                       std::unique_ptr<channel::MethodResult> result) {
  const std::string& method = call.method;
  if (method == "check") {
    result->success(PermissionGate::requiredPermissionGranted(platform, sandboxed));
  } else if (method == "prompt") {
    // The state at the moment of the request; a grant the user gives later in the system's
    // dialog shows in a later "check" or on the permission stream.
    const bool granted = sandboxed ? platform.events().requestListenEventAccess()
                                   : platform.accessibility().isProcessTrustedWithOptions(true);
    result->success(granted);
  } else if (method == "openSettings") {
    std::string url(kSettingsUrlPrefix);
    url += sandboxed ? kListenEventAnchor : kAccessibilityAnchor;
    // Nothing useful can be told to the user when the page does not open.
    (void)platform.workspace().openURL(url);
    result->success();
  } else if (method == "isSandboxed") {
    result->success(sandboxed);
  } else {
    result->notImplemented();
  }
}

}  // namespace tandrel::TandrelPlugin
