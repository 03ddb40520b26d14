#include "runner/permissions/handle_permissions.h"

#include <gtest/gtest.h>

#include "sim/world.h"
#include "testing/channel_harness.h"

namespace tandrel {
namespace {

using channel::Value;
using channel_test::MethodReply;

TEST(HandlePermissions, EachModeUsesOnlyItsOwnPermission) {
  const std::string channelName(kPermissionsChannel);
  for (const bool sandboxed : {false, true}) {
    sim::World w;
    channel_test::ChannelHarness h;
    channel::MethodChannel(h.messenger(), channelName)
        .setMethodCallHandler([&](const channel::MethodCall& call, auto result) {
          TandrelPlugin::handlePermissions(w, sandboxed, call, std::move(result));
        });
    const auto call = [&](const char* method, const Value& args = {}) {
      return h.call(channelName, method, args);
    };
    const auto grant = [&w](bool listenAccess) {
      listenAccess ? w.setListenAccess(true) : w.setTrusted(true);
    };
    grant(!sandboxed);  // the other mode's permission must not count
    EXPECT_EQ(call("check"), MethodReply::Success(false));
    EXPECT_EQ(call("prompt"), MethodReply::Success(false));
    EXPECT_EQ(sandboxed ? w.listenRequests() : w.trustPrompts(), 1);
    EXPECT_EQ(w.trustPrompts() + w.listenRequests(), 1);

    grant(sandboxed);
    for (const Value& args : {Value(), Value(channel::ValueList{Value(1)}), Value(42),
                              Value(channel::ValueMap{{"sandboxed", !sandboxed}})}) {
      EXPECT_EQ(call("check", args), MethodReply::Success(true));
      EXPECT_EQ(call("isSandboxed", args), MethodReply::Success(sandboxed));
    }
    EXPECT_EQ(call("prompt"), MethodReply::Success(true)) << "already granted";
    EXPECT_EQ(call("openSettings"), MethodReply::Success());
    EXPECT_EQ(w.takeOpenedURLs(),
              std::vector<std::string>{
                  "x-apple.systempreferences:com.apple.preference.security?Privacy_" +
                  std::string(sandboxed ? "ListenEvent" : "Accessibility")});

    for (const char* name : {"Check", "check ", "", "PROMPT", "opensettings"}) {
      EXPECT_EQ(call(name), MethodReply::NotImplemented()) << '"' << name << '"';
    }
    EXPECT_EQ(w.trustPrompts() + w.listenRequests(), 2);
    EXPECT_TRUE(w.takeOpenedURLs().empty());

    // Reported trusted, yet no tap can be made: a listen would fail, so neither says granted.
    w.resignApp();
    EXPECT_EQ(call("check"), MethodReply::Success(sandboxed));
    EXPECT_EQ(call("prompt"), MethodReply::Success(sandboxed));
  }
}

}  // namespace
}  // namespace tandrel
