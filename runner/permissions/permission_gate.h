#pragma once
// Which system permission the host needs, and whether it holds it now.

#include <string_view>

#include "platform/platform.h"

namespace tandrel {

// The distributed notification the system posts when any process's accessibility trust changes.
inline constexpr std::string_view kAccessibilityChanged = "com.apple.accessibility.api";

// Its presence in the environment (with any value, even empty) marks an App Sandbox process.
inline constexpr std::string_view kSandboxContainerVariable = "APP_SANDBOX_CONTAINER_ID";

namespace PermissionGate {

// Whether this process runs in the App Sandbox. Read from the process environment on first use
// and fixed for the life of the process.
bool sandboxed();

// The required permission, read afresh: listen-event access inside the sandbox, accessibility
// trust outside it.
bool requiredPermissionGranted(platform::Platform& platform, bool sandboxed);

}  // namespace PermissionGate
}  // namespace tandrel
