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
  using PermissionGate::Grant;
  if (method == "check") {
    // True only when a listen can get its tap: a stale grant, which AXIsProcessTrusted reports
    // as held, answers false.
    result->success(PermissionGate::grant(platform, sandboxed) == Grant::kGranted);
  } else if (method == "prompt") {
    // The state at the moment of the request, as "check" reads it; a grant the user gives later
    // in the system's dialog shows in a later "check" or on the permission stream. With a stale
    // grant the system shows no dialog (it reports the app trusted).
    const bool reported = sandboxed ? platform.events().requestListenEventAccess()
                                    : platform.accessibility().isProcessTrustedWithOptions(true);
    result->success(reported && PermissionGate::grant(platform, sandboxed) == Grant::kGranted);
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
