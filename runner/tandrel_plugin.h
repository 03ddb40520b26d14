// The host program's five channels on the Flutter engine's messenger. This is the one place
// that knows their names and which handler serves each.
#pragma once

#include <array>
#include <memory>
#include <string_view>

#include "channel/binary_messenger.h"
#include "platform/platform.h"

namespace tandrel {

class KeyEventTapHandler;
class AutomationHandler;
class PermissionWatchHandler;

namespace TandrelPlugin {

// In the order they are installed.
inline constexpr std::array<std::string_view, 5> kChannelNames = {
    "tandrel/key_events",         // event channel: KeyEventTapHandler
    "tandrel/permissions",        // method channel: handlePermissions
    "tandrel/automation",         // method channel: AutomationHandler::handle
    "tandrel/autostart",          // method channel: handleAutostart
    "tandrel/permission_events",  // event channel: PermissionWatchHandler
};

// Installs the five channels on the engine's messenger, served by the process's handler
// singletons on the process's platform. Called once, at start-up.
void registerWithMessenger(channel::BinaryMessenger& messenger);

// Seconds an accessibility call of this process waits for a busy application before it fails.
inline constexpr float kAccessibilityMessagingTimeout = 1.0F;

// The same with the services and handlers given, so that tests and tools can serve the
// channels from a world of their own. The handlers must not be null. Sets the process's
// accessibility messaging timeout.
void installChannels(channel::BinaryMessenger& messenger, platform::Platform& platform,
                     bool sandboxed, std::shared_ptr<KeyEventTapHandler> keyEvents,
                     std::shared_ptr<AutomationHandler> automation,
                     std::shared_ptr<PermissionWatchHandler> permissionEvents);
// The same with new handlers of their own on `platform`.
void installChannels(channel::BinaryMessenger& messenger, platform::Platform& platform,
                     bool sandboxed);

}  // namespace TandrelPlugin
}  // namespace tandrel
