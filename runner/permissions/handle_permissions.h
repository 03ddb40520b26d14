#pragma once
// The "tandrel/permissions" method channel: check and request the required permission, open its
// settings page, tell whether the process is sandboxed.

#include <memory>
#include <string_view>

#include "channel/method_channel.h"
#include "channel/standard_codec.h"
#include "platform/platform.h"

namespace tandrel {

inline constexpr std::string_view kPermissionsChannel = "tandrel/permissions";

namespace TandrelPlugin {

// Answers every call exactly once; never with a channel error. Arguments are not read.
void handlePermissions(platform::Platform& platform, bool sandboxed,
                       const channel::MethodCall& call,
                       std::unique_ptr<channel::MethodResult> result);

}  // namespace TandrelPlugin
}  // namespace tandrel
