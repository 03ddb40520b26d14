#include "runner/autostart/handle_autostart.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "channel/method_channel.h"
#include "sim/world.h"
#include "testing/channel_harness.h"

namespace tandrel {
namespace {

using channel::Value;
using channel::ValueList;
using channel::ValueMap;
using channel_test::MethodReply;
using platform::OperatingSystemVersion;

constexpr char kChannel[] = "tandrel/autostart";

class AutostartTest : public ::testing::Test {
 protected:
  AutostartTest() : channel_(harness_.messenger(), kChannel) {
    channel_.setMethodCallHandler(
        [this](const channel::MethodCall& call, std::unique_ptr<channel::MethodResult> result) {
          TandrelPlugin::handleAutostart(world_, call, std::move(result));
        });
  }

  MethodReply call(const std::string& method, const Value& args = Value()) {
    return harness_.call(kChannel, method, args);
  }

  sim::World world_;
  channel_test::ChannelHarness harness_;
  channel::MethodChannel channel_;
};

const MethodReply kUnsupported =
    MethodReply::Error("unsupported", std::string("SMAppService requires macOS 13+"));

TEST(OperatingSystemVersionTest, ComparesMajorThenMinorThenPatch) {
  const OperatingSystemVersion required{13, 1, 1};
  EXPECT_TRUE(isOperatingSystemAtLeast({13, 1, 1}, required));
  EXPECT_TRUE(isOperatingSystemAtLeast({13, 1, 2}, required));
  EXPECT_TRUE(isOperatingSystemAtLeast({13, 2, 0}, required));  // lower patch, higher minor
  EXPECT_TRUE(isOperatingSystemAtLeast({14, 0, 0}, required));  // lower minor, higher major
  EXPECT_FALSE(isOperatingSystemAtLeast({13, 1, 0}, required));
  EXPECT_FALSE(isOperatingSystemAtLeast({13, 0, 9}, required));
  EXPECT_FALSE(isOperatingSystemAtLeast({12, 9, 9}, required));
  EXPECT_FALSE(isOperatingSystemAtLeast({12, 99, 99}, required));
  EXPECT_FALSE(isOperatingSystemAtLeast({0, 0, 0}, required));
}

TEST_F(AutostartTest, OlderSystemAnswersUnsupportedForEveryCallAndTouchesNothing) {
  world_.loginItem().status = platform::kSMAppServiceStatusEnabled;
  for (OperatingSystemVersion version :
       {OperatingSystemVersion{12, 9, 9}, OperatingSystemVersion{12, 99, 99},
        OperatingSystemVersion{10, 15, 7}}) {
    world_.setOperatingSystemVersion(version);
    EXPECT_EQ(call("isEnabled"), kUnsupported);
    EXPECT_EQ(call("setEnabled", ValueMap{{"enabled", false}}), kUnsupported);
    EXPECT_EQ(call("setEnabled"), kUnsupported);
    // Not the not-implemented marker, even for a method that does not exist.
    EXPECT_EQ(call("noSuchMethod", ValueList{1, 2}), kUnsupported);
    EXPECT_EQ(call(""), kUnsupported);
  }
  EXPECT_EQ(world_.loginItem().status, platform::kSMAppServiceStatusEnabled);
}

TEST_F(AutostartTest, SupportedFromThirteenOn) {
  world_.loginItem().status = platform::kSMAppServiceStatusEnabled;
  for (OperatingSystemVersion version :
       {OperatingSystemVersion{13, 0, 0}, OperatingSystemVersion{13, 0, 1},
        OperatingSystemVersion{14, 0, 0}, OperatingSystemVersion{26, 0, 0}}) {
    world_.setOperatingSystemVersion(version);
    EXPECT_EQ(call("isEnabled"), MethodReply::Success(true));
    EXPECT_EQ(call("noSuchMethod"), MethodReply::NotImplemented());
  }
}

TEST_F(AutostartTest, IsEnabledOnlyForTheEnabledStatus) {
  const std::pair<int64_t, bool> cases[] = {
      {platform::kSMAppServiceStatusNotRegistered, false},
      {platform::kSMAppServiceStatusEnabled, true},
      {platform::kSMAppServiceStatusRequiresApproval, false},
      {platform::kSMAppServiceStatusNotFound, false},
      {4, false},
      {-1, false},
  };
  for (const auto& [status, enabled] : cases) {
    world_.loginItem().status = status;
    EXPECT_EQ(call("isEnabled", ValueMap{{"enabled", true}}), MethodReply::Success(enabled))
        << "status " << status;
  }
}

TEST_F(AutostartTest, SetEnabledRegistersAndUnregisters) {
  EXPECT_EQ(call("setEnabled", ValueMap{{"enabled", true}}), MethodReply::Success());
  EXPECT_EQ(world_.loginItem().status, platform::kSMAppServiceStatusEnabled);
  EXPECT_EQ(call("isEnabled"), MethodReply::Success(true));

  // Registering again is not skipped: the system's answer decides.
  EXPECT_EQ(call("setEnabled", ValueMap{{"enabled", true}}), MethodReply::Success());
  world_.loginItem().refuse = true;
  EXPECT_EQ(call("setEnabled", ValueMap{{"enabled", true}}).errorCode(), "autostart_failed");
  world_.loginItem().refuse = false;

  EXPECT_EQ(call("setEnabled", ValueMap{{"enabled", false}}), MethodReply::Success());
  EXPECT_EQ(world_.loginItem().status, platform::kSMAppServiceStatusNotRegistered);
  EXPECT_EQ(call("isEnabled"), MethodReply::Success(false));
}

TEST_F(AutostartTest, AnythingButABoolMeansUnregister) {
  ValueMap nonStringKey;
  nonStringKey.set(Value(1), Value(true));
  nonStringKey.set(Value("enabled"), Value(true));
  const Value malformed[] = {
      Value(),                            // no arguments
      ValueMap{},                         // "enabled" missing
      ValueMap{{"enabled", Value()}},     // null
      ValueMap{{"enabled", "true"}},      // a string never counts
      ValueMap{{"enabled", int32_t{1}}},  // nor does a number
      ValueMap{{"enabled", int64_t{1}}},
      ValueMap{{"enabled", 1.0}},
      ValueMap{{"enabled", ValueList{true}}},
      ValueMap{{"Enabled", true}},  // keys are case-sensitive
      ValueList{true},              // not a map
      Value(true),
      Value(nonStringKey),  // a map whose keys are not all strings
  };
  for (const Value& args : malformed) {
    world_.loginItem().status = platform::kSMAppServiceStatusEnabled;
    EXPECT_EQ(call("setEnabled", args), MethodReply::Success()) << args;
    EXPECT_EQ(world_.loginItem().status, platform::kSMAppServiceStatusNotRegistered) << args;
  }
}

TEST_F(AutostartTest, RefusalCarriesTheSystemsDescriptionOrAFixedSentence) {
  world_.loginItem().status = platform::kSMAppServiceStatusRequiresApproval;
  world_.loginItem().refuse = true;

  world_.loginItem().refusalDescription = "Operation not permitted";
  EXPECT_EQ(call("setEnabled", ValueMap{{"enabled", true}}),
            MethodReply::Error("autostart_failed", std::string("Operation not permitted")));
  world_.loginItem().refusalDescription = "Der Vorgang ist nicht zulässig.";
  EXPECT_EQ(call("setEnabled", ValueMap{{"enabled", false}}),
            MethodReply::Error("autostart_failed", std::string("Der Vorgang ist nicht zulässig.")));

  const MethodReply fixed = MethodReply::Error(
      "autostart_failed", std::string("The login item change was refused by the system."));
  world_.loginItem().refusalDescription = std::nullopt;  // no error object at all
  EXPECT_EQ(call("setEnabled", ValueMap{{"enabled", true}}), fixed);
  EXPECT_EQ(call("setEnabled", ValueMap{{"enabled", false}}), fixed);
  world_.loginItem().refusalDescription = "";
  EXPECT_EQ(call("setEnabled", ValueMap{{"enabled", true}}), fixed);

  // The registration stays as the system left it.
  EXPECT_EQ(world_.loginItem().status, platform::kSMAppServiceStatusRequiresApproval);
  EXPECT_EQ(call("isEnabled"), MethodReply::Success(false));
}

TEST_F(AutostartTest, MethodNamesMatchExactly) {
  for (const char* name : {"IsEnabled", "isenabled", "setEnabled ", "set_enabled", "listen"}) {
    EXPECT_EQ(call(name, ValueMap{{"enabled", true}}), MethodReply::NotImplemented()) << name;
  }
  EXPECT_EQ(world_.loginItem().status, platform::kSMAppServiceStatusNotRegistered);
}

}  // namespace
}  // namespace tandrel
