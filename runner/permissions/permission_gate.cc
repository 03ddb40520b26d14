#include "runner/permissions/permission_gate.h"

namespace tandrel::PermissionGate {
namespace {

// The probe's tap is released before it could be handed an event.
platform::EventObject* passOn(platform::EventType /*type*/, platform::EventObject* event,
                              void* /*userInfo*/) {
  return event;
}

}  // namespace

bool sandboxed() {
  // The environment of a running process does not change its sandbox, so one read is enough;
  // the static's initialisation is thread-safe wherever the first use happens.
  static const bool flag =
      platform::processPlatform().processInfo().environmentContains(kSandboxContainerVariable);
  return flag;
}

platform::MachPort createKeyTap(platform::Events& events, bool sandboxed,
                                platform::TapCallback callback, void* userInfo) {
  const platform::TapOptions options =
      sandboxed ? platform::kCGEventTapOptionListenOnly : platform::kCGEventTapOptionDefault;
  return events.tapCreate(platform::kCGSessionEventTap, platform::kCGHeadInsertEventTap, options,
                          kKeyTapEventMask, callback, userInfo);
}

bool reportedGranted(platform::Platform& platform, bool sandboxed) {
  return sandboxed ? platform.events().preflightListenEventAccess()
                   : platform.accessibility().isProcessTrusted();
}

Grant grant(platform::Platform& platform, bool sandboxed) {
  if (!reportedGranted(platform, sandboxed)) return Grant::kNotGranted;
  // A listen-only tap holds nothing, and listen access has no second answer to check against.
  if (sandboxed) return Grant::kGranted;
  // AXIsProcessTrusted keeps its yes after the row is deleted or the app signed again; only a
  // tap that can be made tells. Tried only after that yes: where the app never had a row, the
  // attempt would add one, as a request does.
  const bool made = createKeyTap(platform.events(), sandboxed, &passOn, nullptr) != nullptr;
  return made ? Grant::kGranted : Grant::kStale;
}

}  // namespace tandrel::PermissionGate
