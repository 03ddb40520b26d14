#include "runner/permissions/permission_gate.h"

namespace tandrel::PermissionGate {

bool sandboxed() {
  // The environment of a running process does not change its sandbox, so one read is enough;
  // the static's initialisation is thread-safe wherever the first use happens.
  static const bool flag =
      platform::processPlatform().processInfo().environmentContains(kSandboxContainerVariable);
  return flag;
}

bool requiredPermissionGranted(platform::Platform& platform, bool sandboxed) {
  return sandboxed ? platform.events().preflightListenEventAccess()
                   : platform.accessibility().isProcessTrusted();
}

}  // namespace tandrel::PermissionGate
