#include "runner/tandrel_plugin.h"

#include <string>
#include <utility>

#include "channel/event_channel.h"
#include "channel/method_channel.h"
#include "runner/automation/automation_handler.h"
#include "runner/autostart/handle_autostart.h"
#include "runner/keytap/key_event_tap_handler.h"
#include "runner/permissions/handle_permissions.h"
#include "runner/permissions/permission_gate.h"
#include "runner/permissions/permission_watch_handler.h"
#include "velloc/velloc_plugin.h"

namespace tandrel::TandrelPlugin {

bool registerWithRegistrar(channel::PluginRegistrar& registrar) {
  VellocPluginRegisterWithRegistrar(velloc::registrarRef(registrar));
  platform::Platform& platform = platform::processPlatform();
  const bool sandboxed = PermissionGate::sandboxed();
  // Registration runs on the main thread, one engine after another.
  static bool singletonsServed = false;
  if (std::exchange(singletonsServed, true)) {
    installChannels(registrar.messenger(), platform, sandboxed);
    return false;
  }
  // Separate statements: the singletons come into being in this order, which function
  // arguments would not guarantee.
  const std::shared_ptr<KeyEventTapHandler>& keyEvents = KeyEventTapHandler::shared();
  const std::shared_ptr<AutomationHandler>& automation = AutomationHandler::shared();
  const std::shared_ptr<PermissionWatchHandler>& permissionEvents =
      PermissionWatchHandler::shared();
  installChannels(registrar.messenger(), platform, sandboxed, keyEvents, automation,
                  permissionEvents);
  return true;
}

void installChannels(channel::BinaryMessenger& messenger, platform::Platform& platform,
                     bool sandboxed) {
  installChannels(messenger, platform, sandboxed, KeyEventTapHandler::create(platform, sandboxed),
                  std::make_shared<AutomationHandler>(platform),
                  PermissionWatchHandler::create(platform, sandboxed));
}

void installChannels(channel::BinaryMessenger& messenger, platform::Platform& platform,
                     bool sandboxed, std::shared_ptr<KeyEventTapHandler> keyEvents,
                     std::shared_ptr<AutomationHandler> automation,
                     std::shared_ptr<PermissionWatchHandler> permissionEvents) {
  // An accessibility call waits for the messaging timeout when its application is busy or hung
  // (the system's is about 6 s, and one correction makes several calls); every call of the
  // process gives up after this long instead.
  platform::Accessibility& accessibility = platform.accessibility();
  if (const platform::AXElement systemWide = accessibility.createSystemWide()) {
    // Refused, calls wait the system's default: nothing better can be done.
    (void)accessibility.setMessagingTimeout(systemWide, kAccessibilityMessagingTimeout);
  }
  // No notification tells of a deleted Accessibility row: the permission stream hears of it when
  // the key stream loses its tap.
  keyEvents->setPermissionStream(permissionEvents);
  // The channel objects only install handlers on the messenger, which keeps them; the objects
  // themselves go out of scope at the end.
  channel::EventChannel keyEventsChannel(messenger, std::string(kChannelNames[0]));
  keyEventsChannel.setStreamHandler(std::move(keyEvents));

  channel::MethodChannel permissionsChannel(messenger, std::string(kChannelNames[1]));
  permissionsChannel.setMethodCallHandler(
      [&platform, sandboxed](const channel::MethodCall& call,
                             std::unique_ptr<channel::MethodResult> result) {
        handlePermissions(platform, sandboxed, call, std::move(result));
      });

  // Captured once here: every later call reaches this same instance and its snapshot.
  channel::MethodChannel automationChannel(messenger, std::string(kChannelNames[2]));
  automationChannel.setMethodCallHandler(
      [automation = std::move(automation)](const channel::MethodCall& call,
                                           std::unique_ptr<channel::MethodResult> result) {
        automation->handle(call, std::move(result));
      });

  channel::MethodChannel autostartChannel(messenger, std::string(kChannelNames[3]));
  autostartChannel.setMethodCallHandler(
      [&platform](const channel::MethodCall& call, std::unique_ptr<channel::MethodResult> result) {
        handleAutostart(platform, call, std::move(result));
      });

  channel::EventChannel permissionEventsChannel(messenger, std::string(kChannelNames[4]));
  permissionEventsChannel.setStreamHandler(std::move(permissionEvents));
}

}  // namespace tandrel::TandrelPlugin
