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

// What the Flutter side gets in an "autostart_failed" error's details.
Value refusal(const char* reason, const char* status,
              std::optional<std::string> description = "Operation not permitted") {
  if (!description) {
    return ValueMap{{"reason", reason},
                    {"status", status},
                    {"domain", Value()},
                    {"code", Value()},
                    {"description", Value()}};
  }
  return ValueMap{{"reason", reason},
                  {"status", status},
                  {"domain", "SMAppServiceErrorDomain"},
                  {"code", int32_t{1}},
                  {"description", *description}};
}

TEST_F(AutostartTest, SetEnabledAsksOnlyForAChangeAndSaysWhyItWasRefused) {
  constexpr const char* kApproval =
      "Start at login is switched off for this app in System Settings > General > Login Items & "
      "Extensions (Login Items before macOS 15). Switch it on there.";
  constexpr const char* kMove =
      "The app runs from a temporary location (App Translocation), where it cannot start at "
      "login. Move the app to Applications and open it from there.";
  struct Row {
    const char* name;
    int64_t status;
    void (*setUp)(sim::World&);
    bool enabled;
    MethodReply reply;
    int systemCalls;  // register + unregister
    int64_t after;
    int settingsOpened;
  };
  auto none = [](sim::World&) {};
  const Row rows[] = {
      {"registers", 0, none, true, MethodReply::Success(), 1, 1, 0},
      {"unregisters", 1, none, false, MethodReply::Success(), 1, 0, 0},
      {"registers again to be approved", 2, none, true, MethodReply::Success(), 1, 1, 0},
      {"already on: not asked", 1, none, true, MethodReply::Success(), 0, 1, 0},
      {"already off: not asked, as unregistering fails", 0, none, false, MethodReply::Success(), 0,
       0, 0},
      {"not found: nothing to remove", 3, none, false, MethodReply::Success(), 0, 3, 0},
      {"switched off by the user: approval asked for", 1,
       [](sim::World& w) { w.loginItem().switchedOff = true; }, true,
       MethodReply::Error("autostart_failed", std::string(kApproval),
                          refusal("requiresApproval", "requiresApproval")),
       1, 2, 1},
      {"translocated: move it", 0, [](sim::World& w) { w.setTranslocated(true); }, true,
       MethodReply::Error("autostart_failed", std::string(kMove),
                          refusal("translocated", "notFound")),
       1, 3, 0},
      {"signature rejected: the system's words", 0,
       [](sim::World& w) { w.loginItem().signatureRejected = true; }, true,
       MethodReply::Error("autostart_failed", std::string("Operation not permitted"),
                          refusal("refused", "notFound")),
       1, 3, 0},
      {"unregister refused", 1, [](sim::World& w) { w.loginItem().refuseUnregister = true; }, false,
       MethodReply::Error("autostart_failed", std::string("Operation not permitted"),
                          refusal("refused", "enabled")),
       1, 1, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    sim::World world;
    world.loginItem().status = row.status;
    row.setUp(world);
    channel_test::ChannelHarness harness;
    channel::MethodChannel channel(harness.messenger(), "tandrel/autostart");
    channel.setMethodCallHandler(
        [&world](const channel::MethodCall& call, std::unique_ptr<channel::MethodResult> result) {
          TandrelPlugin::handleAutostart(world, call, std::move(result));
        });
    EXPECT_EQ(harness.call("tandrel/autostart", "setEnabled", ValueMap{{"enabled", row.enabled}}),
              row.reply);
    EXPECT_EQ(world.callCounts().loginItemRegister + world.callCounts().loginItemUnregister,
              row.systemCalls);
    EXPECT_EQ(world.loginItemStatus(), row.after);
    EXPECT_EQ(world.loginItem().settingsOpened, row.settingsOpened);
  }
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
  EXPECT_EQ(setEnabled(false),
            MethodReply::Error(
                "autostart_failed", std::string("Der Vorgang ist nicht zulässig."),
                refusal("refused", "requiresApproval", "Der Vorgang ist nicht zulässig.")));

  const std::string fixed = "The login item change was refused by the system.";
  world_.loginItem().refusalDescription = std::nullopt;  // no error object at all
  EXPECT_EQ(setEnabled(false), MethodReply::Error("autostart_failed", fixed,
                                                  refusal("refused", "requiresApproval", {})));
  world_.loginItem().refusalDescription = "";
  EXPECT_EQ(setEnabled(false), MethodReply::Error("autostart_failed", fixed,
                                                  refusal("refused", "requiresApproval", "")));
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
