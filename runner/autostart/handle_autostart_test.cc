#include "runner/autostart/handle_autostart.h"

#include <gtest/gtest.h>

#include <optional>
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

const MethodReply kUnsupported =
    MethodReply::Error("unsupported", std::string("SMAppService requires macOS 13+"));

// "tandrel/autostart" served on a world of its own.
struct Autostart {
  Autostart() {
    channel::MethodChannel(h.messenger(), "tandrel/autostart")
        .setMethodCallHandler([this](const channel::MethodCall& call, auto result) {
          TandrelPlugin::handleAutostart(world, call, std::move(result));
        });
  }
  MethodReply call(const std::string& method, const Value& args = Value()) {
    return h.call("tandrel/autostart", method, args);
  }
  int64_t& status() { return world.loginItem().status; }

  sim::World world;
  channel_test::ChannelHarness h;
};
struct AutostartTest : ::testing::Test, Autostart {};

constexpr const char* kGerman = "Der Vorgang ist nicht zulässig.";

// An "autostart_failed" error as the Flutter side gets it: the details name the reason, the status
// read after the refusal and the system's error (all null when it gave no error object).
MethodReply refused(std::string message, const char* reason, const char* status,
                    std::optional<std::string> description = "Operation not permitted") {
  const bool given = description.has_value();
  return MethodReply::Error("autostart_failed", std::move(message),
                            ValueMap{{"reason", reason},
                                     {"status", status},
                                     {"domain", given ? Value("SMAppServiceErrorDomain") : Value()},
                                     {"code", given ? Value(int32_t{1}) : Value()},
                                     {"description", given ? Value(*description) : Value()}});
}

// Every change refused, with that description (none: no error object at all).
void refuse(sim::World& w, std::optional<std::string> description) {
  w.loginItem().refuse = true;
  w.loginItem().refusalDescription = std::move(description);
}

TEST(OperatingSystemVersionTest, ComparesMajorThenMinorThenPatch) {
  const OperatingSystemVersion required{13, 1, 1};
  for (OperatingSystemVersion v :
       {OperatingSystemVersion{13, 1, 1}, {13, 1, 2}, {13, 2, 0}, {14, 0, 0}})
    EXPECT_TRUE(isOperatingSystemAtLeast(v, required)) << v.majorVersion << "." << v.minorVersion;
  for (OperatingSystemVersion v : {OperatingSystemVersion{13, 1, 0}, {13, 0, 9}, {12, 99, 99}})
    EXPECT_FALSE(isOperatingSystemAtLeast(v, required)) << v.majorVersion << "." << v.minorVersion;
}

TEST(AutostartSetEnabled, AsksOnlyForAChangeAndSaysWhyItWasRefused) {
  constexpr const char* kApproval =
      "Start at login is switched off for this app in System Settings > General > Login Items & "
      "Extensions (Login Items before macOS 15). Switch it on there.";
  constexpr const char* kMove =
      "The app runs from a temporary location (App Translocation), where it cannot start at "
      "login. Move the app to Applications and open it from there.";
  constexpr const char* kDenied = "Operation not permitted";
  constexpr const char* kFixed = "The login item change was refused by the system.";
  struct Row {
    const char* name;
    int64_t status;
    void (*setUp)(sim::World&);
    bool enabled;
    MethodReply reply;
    int systemCalls;  // register + unregister
    int64_t after;
    int settingsOpened = 0;
  };
  auto none = [](sim::World&) {};
  const Row rows[] = {
      {"registers", 0, none, true, MethodReply::Success(), 1, 1},
      {"unregisters", 1, none, false, MethodReply::Success(), 1, 0},
      {"registers again to be approved", 2, none, true, MethodReply::Success(), 1, 1},
      {"registered, yet to be approved", 0,
       [](sim::World& w) { w.loginItem().requiresApproval = true; }, true, MethodReply::Success(),
       1, 2},
      {"already on: not asked", 1, none, true, MethodReply::Success(), 0, 1},
      {"already off: not asked, as unregistering fails", 0, none, false, MethodReply::Success(), 0,
       0},
      {"not found: nothing to remove", 3, none, false, MethodReply::Success(), 0, 3},
      {"not below macOS 13", 1,
       [](sim::World& w) {
         w.setOperatingSystemVersion({12, 99, 99});
       },
       false, kUnsupported, 0, 1},
      {"switched off by the user: approval asked for", 1,
       [](sim::World& w) { w.loginItem().switchedOff = true; }, true,
       refused(kApproval, "requiresApproval", "requiresApproval"), 1, 2, 1},
      {"translocated: move it", 0, [](sim::World& w) { w.setTranslocated(true); }, true,
       refused(kMove, "translocated", "notFound"), 1, 3},
      {"signature rejected: the system's words", 0,
       [](sim::World& w) { w.loginItem().signatureRejected = true; }, true,
       refused(kDenied, "refused", "notFound"), 1, 3},
      {"unregister refused", 1, [](sim::World& w) { w.loginItem().refuseUnregister = true; }, false,
       refused(kDenied, "refused", "enabled"), 1, 1},
      {"refused in the system's language", 2, [](sim::World& w) { refuse(w, kGerman); }, false,
       refused(kGerman, "refused", "requiresApproval", kGerman), 1, 2},
      {"refused without an error", 2, [](sim::World& w) { refuse(w, std::nullopt); }, false,
       refused(kFixed, "refused", "requiresApproval", std::nullopt), 1, 2},
      {"refused with an empty description", 2, [](sim::World& w) { refuse(w, ""); }, false,
       refused(kFixed, "refused", "requiresApproval", ""), 1, 2},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Autostart a;
    a.status() = row.status;
    row.setUp(a.world);
    EXPECT_EQ(a.call("setEnabled", ValueMap{{"enabled", row.enabled}}), row.reply);
    EXPECT_EQ(a.world.callCounts().loginItemRegister + a.world.callCounts().loginItemUnregister,
              row.systemCalls);
    EXPECT_EQ(a.world.loginItemStatus(), row.after);
    EXPECT_EQ(a.world.loginItem().settingsOpened, row.settingsOpened);
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

// From macOS 13 on, "status" names the state and "isEnabled" is true only when enabled; below it
// every call, whatever the method, is unsupported and touches nothing.
TEST_F(AutostartTest, StatusNamesTheStateFromMacOS13On) {
  const std::pair<int64_t, const char*> names[] = {
      {platform::kSMAppServiceStatusNotRegistered, "notRegistered"},
      {platform::kSMAppServiceStatusEnabled, "enabled"},
      {platform::kSMAppServiceStatusRequiresApproval, "requiresApproval"},
      {platform::kSMAppServiceStatusNotFound, "notFound"},
      {4, "notFound"},  // a state this build does not know is not claimed to be one it does
      {-1, "notFound"},
  };
  world.setOperatingSystemVersion({13, 0, 0});
  for (const auto& [s, name] : names) {
    status() = s;
    EXPECT_EQ(call("status", ValueList{1}), MethodReply::Success(name)) << "status " << s;
    EXPECT_EQ(call("isEnabled"), MethodReply::Success(s == 1)) << "status " << s;
  }
  EXPECT_EQ(call("IsEnabled", ValueList{1}), MethodReply::NotImplemented());
  EXPECT_EQ(call("openLoginItemsSettings", ValueMap{{"x", 1}}), MethodReply::Success());
  EXPECT_EQ(world.loginItem().settingsOpened, 1);

  world.setOperatingSystemVersion({12, 99, 99});
  for (const char* method : {"isEnabled", "IsEnabled", "status", "openLoginItemsSettings"}) {
    EXPECT_EQ(call(method), kUnsupported) << method;
  }
  EXPECT_EQ(world.loginItem().settingsOpened, 1);
}

}  // namespace
}  // namespace tandrel
