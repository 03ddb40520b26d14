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

// Major first, then minor, then patch; an equal version counts as at least.
bool isOperatingSystemAtLeast(const platform::OperatingSystemVersion& running,
                              const platform::OperatingSystemVersion& required);

namespace TandrelPlugin {

// "isEnabled" answers whether the application is a login item; "setEnabled" with {"enabled":
// bool} registers or unregisters it (anything but a bool means false); "status" names the
// registration ("notRegistered", "enabled", "requiresApproval", "notFound"), so the Flutter side
// can tell a registration that waits for the user's approval; "openLoginItemsSettings" opens
// System Settings at Login Items, where that approval is given. Every call on a system
// older than kLoginItemMinimumVersion answers "unsupported", whatever its method.
void handleAutostart(platform::Platform& platform, const channel::MethodCall& call,
                     std::unique_ptr<channel::MethodResult> result);

}  // namespace TandrelPlugin
}  // namespace tandrel
