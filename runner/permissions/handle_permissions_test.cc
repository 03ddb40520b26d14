#include "runner/permissions/handle_permissions.h"

#include <gtest/gtest.h>

#include <string>

#include "sim/world.h"
#include "testing/channel_harness.h"

namespace tandrel {
namespace {

using channel::Value;
using channel::ValueList;
using channel::ValueMap;
using channel_test::MethodReply;

const std::string kChannel(kPermissionsChannel);

class HandlePermissionsTest : public ::testing::Test {
 protected:
  void install(bool sandboxed) {
    channel::MethodChannel(h.messenger(), kChannel)
        .setMethodCallHandler([this, sandboxed](const channel::MethodCall& call, auto result) {
          TandrelPlugin::handlePermissions(world, sandboxed, call, std::move(result));
        });
  }
  MethodReply call(const std::string& method, const Value& args = Value()) {
    return h.call(kChannel, method, args);
  }

  sim::World world;
  channel_test::ChannelHarness h;
};

TEST_F(HandlePermissionsTest, OutsideSandboxUsesAccessibilityTrust) {
  install(false);
  world.setListenAccess(true);  // irrelevant outside the sandbox
  EXPECT_EQ(call("check"), MethodReply::Success(false));
  EXPECT_EQ(call("prompt"), MethodReply::Success(false));
  EXPECT_EQ(world.trustPrompts(), 1);
  EXPECT_EQ(world.listenRequests(), 0);

  world.setTrusted(true);
  EXPECT_EQ(call("check"), MethodReply::Success(true));
  EXPECT_EQ(call("prompt"), MethodReply::Success(true)) << "already trusted";

  EXPECT_EQ(call("openSettings"), MethodReply::Success());
  EXPECT_EQ(world.takeOpenedURLs(),
            std::vector<std::string>{
                "x-apple.systempreferences:com.apple.preference.security?Privacy_Accessibility"});
  EXPECT_EQ(call("isSandboxed"), MethodReply::Success(false));
}

TEST_F(HandlePermissionsTest, InsideSandboxUsesListenAccess) {
  install(true);
  world.setTrusted(true);  // irrelevant inside the sandbox
  EXPECT_EQ(call("check"), MethodReply::Success(false));
  EXPECT_EQ(call("prompt"), MethodReply::Success(false));
  EXPECT_EQ(world.listenRequests(), 1);
  EXPECT_EQ(world.trustPrompts(), 0);

  // A grant the user gives after the request shows only in later calls.
  world.setListenAccess(true);
  EXPECT_EQ(call("check"), MethodReply::Success(true));
  EXPECT_EQ(call("prompt"), MethodReply::Success(true));

  EXPECT_EQ(call("openSettings"), MethodReply::Success());
  EXPECT_EQ(world.takeOpenedURLs(),
            std::vector<std::string>{
                "x-apple.systempreferences:com.apple.preference.security?Privacy_ListenEvent"});
  EXPECT_EQ(call("isSandboxed"), MethodReply::Success(true));
}

TEST_F(HandlePermissionsTest, ArgumentsNeverMatterAndNamesMatchExactly) {
  install(false);
  world.setTrusted(true);
  for (const Value& args : {Value(), Value(ValueList{Value(1), Value("x")}),
                            Value(ValueMap{{"check", false}, {"sandboxed", true}}), Value(42)}) {
    EXPECT_EQ(call("check", args), MethodReply::Success(true));
    EXPECT_EQ(call("isSandboxed", args), MethodReply::Success(false));
  }
  for (const char* name : {"Check", "check ", " check", "", "CHECK", "prompt\n", "opensettings"}) {
    EXPECT_EQ(call(name), MethodReply::NotImplemented()) << '"' << name << '"';
  }
  EXPECT_EQ(world.trustPrompts(), 0) << "an unknown method must not prompt";
  EXPECT_TRUE(world.takeOpenedURLs().empty());
}

}  // namespace
}  // namespace tandrel
