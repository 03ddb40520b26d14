#include "runner/autostart/handle_autostart.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "sim/world.h"
#include "testing/channel_harness.h"

namespace tandrel {
namespace {

using channel::Value;
using channel::ValueList;
using channel::ValueMap;
using channel_test::MethodReply;
using platform::OperatingSystemVersion;

class AutostartTest : public ::testing::Test {
 protected:
  AutostartTest() : channel_(harness_.messenger(), "tandrel/autostart") {
    channel_.setMethodCallHandler(
        [this](const channel::MethodCall& call, std::unique_ptr<channel::MethodResult> result) {
          TandrelPlugin::handleAutostart(world_, call, std::move(result));
        });
  }
  MethodReply call(const std::string& method, const Value& args = Value()) {
    return harness_.call("tandrel/autostart", method, args);
  }
  MethodReply setEnabled(const Value& enabled) {
    return call("setEnabled", ValueMap{{"enabled", enabled}});
  }
  int64_t& status() { return world_.loginItem().status; }

  sim::World world_;
  channel_test::ChannelHarness harness_;
  channel::MethodChannel channel_;
};

TEST(OperatingSystemVersionTest, ComparesMajorThenMinorThenPatch) {
  const OperatingSystemVersion required{13, 1, 1};
  for (OperatingSystemVersion v :
       {OperatingSystemVersion{13, 1, 1}, {13, 1, 2}, {13, 2, 0}, {14, 0, 0}})
    EXPECT_TRUE(isOperatingSystemAtLeast(v, required)) << v.majorVersion << "." << v.minorVersion;
  for (OperatingSystemVersion v : {OperatingSystemVersion{13, 1, 0}, {13, 0, 9}, {12, 99, 99}})
    EXPECT_FALSE(isOperatingSystemAtLeast(v, required)) << v.majorVersion << "." << v.minorVersion;
}

TEST_F(AutostartTest, EveryCallBelowThirteenIsUnsupportedWhateverTheMethod) {
  const MethodReply unsupported =
      MethodReply::Error("unsupported", std::string("SMAppService requires macOS 13+"));
  // Just below and at the bound; the comparison's order is checked above.
  const std::pair<OperatingSystemVersion, bool> versions[] = {{{12, 99, 99}, false},
                                                              {{13, 0, 0}, true}};
  status() = platform::kSMAppServiceStatusEnabled;
  for (const auto& [version, supported] : versions) {
    world_.setOperatingSystemVersion(version);
    SCOPED_TRACE(version.majorVersion * 10000 + version.minorVersion * 100 + version.patchVersion);
    EXPECT_EQ(call("isEnabled"), supported ? MethodReply::Success(true) : unsupported);
    EXPECT_EQ(call("IsEnabled", ValueList{1}),
              supported ? MethodReply::NotImplemented() : unsupported);
    if (!supported) {
      EXPECT_EQ(setEnabled(false), unsupported);
    }
  }
  // The login item was never touched on the older systems.
  EXPECT_EQ(status(), platform::kSMAppServiceStatusEnabled);
}

TEST_F(AutostartTest, SetEnabledAsksTheSystemEveryTime) {
  EXPECT_EQ(setEnabled(true), MethodReply::Success());
  EXPECT_EQ(call("isEnabled"), MethodReply::Success(true));
  // Already a login item: registering is not skipped, the system's answer decides.
  world_.loginItem().refuse = true;
  EXPECT_EQ(setEnabled(true).errorCode(), "autostart_failed");
  world_.loginItem().refuse = false;
  EXPECT_EQ(setEnabled(false), MethodReply::Success());
  EXPECT_EQ(status(), platform::kSMAppServiceStatusNotRegistered);
}

TEST_F(AutostartTest, AnythingButABoolMeansUnregister) {
  ValueMap nonStringKey{{"enabled", true}};
  nonStringKey.set(Value(1), Value(true));
  const Value malformed[] = {
      Value(),
      ValueMap{},
      ValueMap{{"enabled", Value()}},
      ValueMap{{"enabled", "true"}},
      ValueMap{{"enabled", int32_t{1}}},
      ValueMap{{"enabled", 1.0}},
      ValueMap{{"Enabled", true}},
      ValueList{true},
      Value(true),
      Value(nonStringKey),
  };
  for (const Value& args : malformed) {
    status() = platform::kSMAppServiceStatusEnabled;
    EXPECT_EQ(call("setEnabled", args), MethodReply::Success()) << args;
    EXPECT_EQ(status(), platform::kSMAppServiceStatusNotRegistered) << args;
  }
}

TEST_F(AutostartTest, RefusalCarriesTheSystemsDescriptionOrAFixedSentence) {
  status() = platform::kSMAppServiceStatusRequiresApproval;
  world_.loginItem().refuse = true;
  world_.loginItem().refusalDescription = "Der Vorgang ist nicht zulässig.";
  EXPECT_EQ(setEnabled(true),
            MethodReply::Error("autostart_failed", std::string("Der Vorgang ist nicht zulässig.")));

  const MethodReply fixed = MethodReply::Error(
      "autostart_failed", std::string("The login item change was refused by the system."));
  world_.loginItem().refusalDescription = std::nullopt;  // no error object at all
  EXPECT_EQ(setEnabled(true), fixed);
  EXPECT_EQ(setEnabled(false), fixed);
  world_.loginItem().refusalDescription = "";
  EXPECT_EQ(setEnabled(false), fixed);
  // The registration stays as the system left it.
  EXPECT_EQ(status(), platform::kSMAppServiceStatusRequiresApproval);
}

TEST_F(AutostartTest, StatusNamesTheStateIsEnabledOnlyWhenEnabledAndApprovalIsTold) {
  const std::pair<int64_t, const char*> names[] = {
      {platform::kSMAppServiceStatusNotRegistered, "notRegistered"},
      {platform::kSMAppServiceStatusEnabled, "enabled"},
      {platform::kSMAppServiceStatusRequiresApproval, "requiresApproval"},
      {platform::kSMAppServiceStatusNotFound, "notFound"},
      {4, "notFound"},  // a state this build does not know is not claimed to be one it does
      {-1, "notFound"},
  };
  for (const auto& [s, name] : names) {
    status() = s;
    EXPECT_EQ(call("status", ValueList{1}), MethodReply::Success(name)) << "status " << s;
    EXPECT_EQ(call("isEnabled"), MethodReply::Success(s == 1)) << "status " << s;
  }

  // Registered, but the user has not approved it yet: the change succeeded, yet it is not enabled.
  world_.loginItem().requiresApproval = true;
  EXPECT_EQ(setEnabled(true), MethodReply::Success());
  EXPECT_EQ(call("isEnabled"), MethodReply::Success(false));
  EXPECT_EQ(call("status"), MethodReply::Success("requiresApproval"));
  EXPECT_EQ(call("openLoginItemsSettings", ValueMap{{"x", 1}}), MethodReply::Success());
  EXPECT_EQ(world_.loginItem().settingsOpened, 1);

  // Under the same gate as every other method: nothing is asked or opened below 13.
  world_.setOperatingSystemVersion({12, 7, 0});
  const MethodReply unsupported =
      MethodReply::Error("unsupported", std::string("SMAppService requires macOS 13+"));
  EXPECT_EQ(call("status"), unsupported);
  EXPECT_EQ(call("openLoginItemsSettings"), unsupported);
  EXPECT_EQ(world_.loginItem().settingsOpened, 1);
}

}  // namespace
}  // namespace tandrel
