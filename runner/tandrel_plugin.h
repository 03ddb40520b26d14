// The Flutter plug-in of this package on one engine: the input-source channel and the host's
// five channels. This is the one place that knows their names and which handler serves each.
#pragma once

#include <array>
#include <memory>
#include <string_view>

#include "channel/binary_messenger.h"
#include "channel/plugin_registrar.h"
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

// The name the engine's registrar is asked for; the plug-in class is named alike.
inline constexpr std::string_view kRegistrarName = "TandrelPlugin";

// Registers the package on one engine: "velloc/input_source" first, then the five channels on
// the registrar's messenger, on the process's platform. The first engine of the process is
// served by the handler singletons; every later engine (an app with several windows) gets
// handlers of its own, so its listen never takes the first engine's tap or its observers.
// Answers whether this engine got the singletons.
bool registerWithRegistrar(channel::PluginRegistrar& registrar);

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
