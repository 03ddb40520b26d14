// The login-item channel ("tandrel/autostart"): whether the application starts at login, and
// switching that on or off through the system's login-item service.
#pragma once

#include <memory>
#include <string_view>

#include "channel/method_channel.h"
#include "channel/standard_codec.h"
#include "platform/platform.h"

namespace tandrel {

// The login-item service exists from this system version on.
inline constexpr platform::OperatingSystemVersion kLoginItemMinimumVersion{13, 0, 0};

// Channel errors of "tandrel/autostart", with null details.
inline constexpr std::string_view kAutostartUnsupportedCode = "unsupported";
inline constexpr std::string_view kAutostartUnsupportedMessage = "SMAppService requires macOS 13+";
inline constexpr std::string_view kAutostartFailedCode = "autostart_failed";
// When the system refuses a change without saying why, the Flutter side still gets a sentence
// it can show.
inline constexpr std::string_view kAutostartRefusedMessage =
    "The login item change was refused by the system.";
// The system gives the same error for every cause of a refused registration; these two causes
// the user can remedy, so the message says how.
inline constexpr std::string_view kAutostartApprovalMessage =
    "Start at login is switched off for this app in System Settings > General > Login Items & "
    "Extensions (Login Items before macOS 15). Switch it on there.";
inline constexpr std::string_view kAutostartTranslocatedMessage =
    "The app runs from a temporary location (App Translocation), where it cannot start at login. "
    "Move the app to Applications and open it from there.";
// A bundle path with this in it is a translocated copy of the app.
inline constexpr std::string_view kTranslocationFolder = "/AppTranslocation/";

// Major first, then minor, then patch; an equal version counts as at least.
bool isOperatingSystemAtLeast(const platform::OperatingSystemVersion& running,
                              const platform::OperatingSystemVersion& required);

namespace TandrelPlugin {

// "isEnabled" answers whether the application is a login item; "setEnabled" with {"enabled":
// bool} registers or unregisters it (anything but a bool means false), asking the system only
// when that changes something, and says in a refusal's details why it was refused; "status" names
// the registration ("notRegistered", "enabled", "requiresApproval", "notFound"), so the Flutter
// side can tell a registration that waits for the user's approval; "openLoginItemsSettings" opens
// System Settings at Login Items, where that approval is given. Every call on a system
// older than kLoginItemMinimumVersion answers "unsupported", whatever its method.
void handleAutostart(platform::Platform& platform, const channel::MethodCall& call,
                     std::unique_ptr<channel::MethodResult> result);

}  // namespace TandrelPlugin
}  // namespace tandrel
