#pragma once
// Which system permission the host needs, whether it holds it now, and the key stream's tap, whose
// creation is the one live test of that permission.

#include <cstdint>
#include <string_view>

#include "platform/platform.h"

namespace tandrel {

// The distributed notification the system posts when any process's accessibility trust changes.
inline constexpr std::string_view kAccessibilityChanged = "com.apple.accessibility.api";

// Its presence in the environment (with any value, even empty) marks an App Sandbox process.
inline constexpr std::string_view kSandboxContainerVariable = "APP_SANDBOX_CONTAINER_ID";

namespace PermissionGate {

// What the key stream's tap covers: key presses, modifier changes and the three mouse-button
// presses; releases, movement and scrolling are of no interest.
inline constexpr uint64_t kKeyTapEventMask =
    platform::eventMaskBit(platform::kCGEventLeftMouseDown) |
    platform::eventMaskBit(platform::kCGEventRightMouseDown) |
    platform::eventMaskBit(platform::kCGEventKeyDown) |
    platform::eventMaskBit(platform::kCGEventFlagsChanged) |
    platform::eventMaskBit(platform::kCGEventOtherMouseDown);
static_assert(kKeyTapEventMask == 0x0200140A);

// Whether this process runs in the App Sandbox. Read from the process environment on first use
// and fixed for the life of the process.
bool sandboxed();

// The key stream's tap, at the head of the session: active, or listen-only inside the sandbox,
// where no other kind is allowed. Null when the system refuses it.
[[nodiscard]] platform::MachPort createKeyTap(platform::Events& events, bool sandboxed,
                                              platform::TapCallback callback, void* userInfo);

// What the system reports, read afresh: listen-event access inside the sandbox,
// AXIsProcessTrusted outside it. Makes nothing.
bool reportedGranted(platform::Platform& platform, bool sandboxed);

enum class Grant {
  kNotGranted,
  // AXIsProcessTrusted answers yes, yet no tap can be made: the app was signed again since the
  // grant (every ad-hoc signed debug build, an update with another signature) or its row was
  // deleted from the list. Removing the row and adding the app again mends it.
  kStale,
  kGranted,
};

// The required permission as taps get it: reportedGranted, and outside the sandbox, when that
// says yes, whether a tap like the key stream's can be made now (one is created and released at
// once; no other call tells). May be called from the tap's thread.
Grant grant(platform::Platform& platform, bool sandboxed);

}  // namespace PermissionGate
}  // namespace tandrel
