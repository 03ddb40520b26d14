#include "runner/tandrel_plugin.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "runner/automation/automation_handler.h"
#include "sim/world.h"
#include "testing/channel_harness.h"

namespace tandrel {
namespace {

using channel::Value;
using channel::ValueMap;
using channel_test::MethodReply;

constexpr char kKeyEvents[] = "tandrel/key_events";
constexpr char kPermissions[] = "tandrel/permissions";
constexpr char kAutomation[] = "tandrel/automation";
constexpr char kAutostart[] = "tandrel/autostart";
constexpr char kPermissionEvents[] = "tandrel/permission_events";

void putText(platform::Pasteboard& pasteboard, std::string_view text) {
  (void)pasteboard.clearContents();
  ASSERT_TRUE(pasteboard.setStringForType(text, platform::kPasteboardTypeString));
}

// The five channels served from a world of the test's own.
class HostChannelsTest : public ::testing::Test {
 protected:
  void install(bool sandboxed) {
    TandrelPlugin::installChannels(harness_.messenger(), world_, sandboxed);
  }

  sim::World world_;
  channel_test::ChannelHarness harness_;
};

TEST_F(HostChannelsTest, NamesOutsideEachTableAreNotImplemented) {
  install(false);
  for (const char* channel : {kPermissions, kAutomation, kAutostart}) {
    for (const char* method : {"nope", "", "CHECK", "isEnabled ", "listen"}) {
      EXPECT_EQ(harness_.call(channel, method, ValueMap{{"text", "x"}}),
                MethodReply::NotImplemented())
          << channel << " " << method;
    }
  }
  // Event channels know only listen and cancel; a cancel with nothing to cancel is refused.
  for (const char* channel : {kKeyEvents, kPermissionEvents}) {
    EXPECT_EQ(harness_.call(channel, "check"), MethodReply::NotImplemented()) << channel;
    EXPECT_EQ(harness_.cancel(channel), MethodReply::Error("error", "No active stream to cancel"))
        << channel;
  }
}

TEST_F(HostChannelsTest, UndecodableBytesGetTheZeroByteReplyOnEveryChannel) {
  install(false);
  const std::vector<std::vector<uint8_t>> malformed = {
      {0x07, 0x05, 'c', 'h'},          // truncated method name
      {0x03, 0x01, 0x00, 0x00, 0x00},  // name that is not a string
      {0x07, 0x01, 'x', 0x00, 0x00},   // trailing bytes
  };
  for (std::string_view channel : TandrelPlugin::kChannelNames) {
    for (const auto& bytes : malformed) {
      EXPECT_EQ(harness_.callBytes(std::string(channel), bytes), MethodReply::NotImplemented())
          << channel;
    }
  }
}

TEST_F(HostChannelsTest, AutomationCallsReachOneInstanceSoTheSnapshotSurvives) {
  install(false);
  putText(world_.pasteboard(), "the user's clipboard");

  EXPECT_EQ(harness_.call(kAutomation, "saveClipboard"), MethodReply::Success());
  EXPECT_EQ(harness_.call(kAutomation, "writeClipboardText", ValueMap{{"text", "scratch"}}),
            MethodReply::Success());
  EXPECT_EQ(harness_.call(kAutomation, "readClipboardText"), MethodReply::Success("scratch"));
  EXPECT_EQ(harness_.call(kAutomation, "restoreClipboard"), MethodReply::Success());
  EXPECT_EQ(harness_.call(kAutomation, "readClipboardText"),
            MethodReply::Success("the user's clipboard"));
}

TEST_F(HostChannelsTest, MethodChannelsWorkOnTheGivenPlatformAndSandboxFlag) {
  install(true);
  EXPECT_EQ(harness_.call(kPermissions, "isSandboxed"), MethodReply::Success(true));
  // Inside the sandbox the required permission is listen access, not trust.
  world_.setTrusted(true);
  EXPECT_EQ(harness_.call(kPermissions, "check"), MethodReply::Success(false));
  world_.setListenAccess(true);
  EXPECT_EQ(harness_.call(kPermissions, "check"), MethodReply::Success(true));

  world_.setOperatingSystemVersion({12, 7, 0});
  EXPECT_EQ(harness_.call(kAutostart, "isEnabled").errorCode(), "unsupported");
  world_.setOperatingSystemVersion({13, 0, 0});
  EXPECT_EQ(harness_.call(kAutostart, "setEnabled", ValueMap{{"enabled", true}}),
            MethodReply::Success());
  EXPECT_EQ(harness_.call(kAutostart, "isEnabled"), MethodReply::Success(true));
}

TEST_F(HostChannelsTest, StreamsDeliverEventsFromTheGivenHandlers) {
  install(false);
  world_.setTrusted(true);
  world_.runPending();

  ASSERT_EQ(harness_.listen(kKeyEvents), MethodReply::Success());
  ASSERT_EQ(harness_.listen(kPermissionEvents), MethodReply::Success());
  world_.pressKey(5);
  world_.runPending();
  std::vector<Value> keys = harness_.eventValues(kKeyEvents);
  ASSERT_FALSE(keys.empty());
  const auto* first = keys.front().get_if<ValueMap>();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(*first->find("type"), Value("keyDown"));
  EXPECT_EQ(*first->find("keycode"), Value(5));

  world_.setTrusted(false);
  world_.advance(500'000);
  EXPECT_EQ(harness_.eventValues(kPermissionEvents), std::vector<Value>{Value(false)});

  EXPECT_EQ(harness_.cancel(kKeyEvents), MethodReply::Success());
  EXPECT_EQ(harness_.cancel(kPermissionEvents), MethodReply::Success());
}

// A hung application blocks each accessibility call for the messaging timeout set at start-up;
// the calls answer their failure values, and the key stream keeps flowing meanwhile.
TEST_F(HostChannelsTest, AHungApplicationBlocksEachAccessibilityCallForOneSecondAtMost) {
  constexpr int32_t kHungPid = 9;
  sim::AppState app;
  app.pid = kHungPid;
  app.focused.emplace();
  app.focused->value = u"text";
  app.hung = true;
  world_.addApplication(app);
  world_.setFrontmost(kHungPid);
  world_.setTrusted(true);
  world_.runPending();
  install(false);
  ASSERT_EQ(harness_.listen(kKeyEvents), MethodReply::Success());

  struct Case {
    const char* method;
    Value arguments;
    MethodReply failure;
  };
  for (const Case& c :
       {Case{"axFocusedText", Value(), MethodReply::Success()},
        Case{"axSetFocusedText", ValueMap{{"text", "new"}}, MethodReply::Success(false)}}) {
    SCOPED_TRACE(c.method);
    const int before = world_.application(kHungPid)->timedOutCalls;
    const sim::Micros start = world_.now();
    world_.later(500'000, [&] { world_.pressKey(5); });
    EXPECT_EQ(harness_.call(kAutomation, c.method, c.arguments), c.failure);
    const int calls = world_.application(kHungPid)->timedOutCalls - before;
    EXPECT_GT(calls, 0);
    EXPECT_EQ(world_.now() - start, calls * sim::Micros{1'000'000});
    world_.runPending();
    const std::vector<Value> keys = harness_.eventValues(kKeyEvents);
    harness_.clearEvents();
    ASSERT_EQ(keys.size(), 1u) << "the key press made during the call";
    EXPECT_EQ(*keys[0].get_if<ValueMap>()->find("keycode"), Value(5));
    EXPECT_EQ(world_.activeTapCount(), 1);
  }
  EXPECT_FALSE(world_.application(kHungPid)->focused->value->ends_with(u"new"));
}

// The process's registration serves the process's singletons: a later direct use of
// AutomationHandler::shared() finds the snapshot taken over the channel.
TEST(RegisterWithMessengerTest, ChannelsServeTheProcessSingletons) {
  channel_test::ChannelHarness harness;
  TandrelPlugin::registerWithMessenger(harness.messenger());
  platform::Pasteboard& pasteboard = platform::processPlatform().pasteboard();

  putText(pasteboard, "kept");
  ASSERT_EQ(harness.call(kAutomation, "saveClipboard"), MethodReply::Success());
  putText(pasteboard, "changed");
  AutomationHandler::shared()->restoreClipboard();
  EXPECT_EQ(pasteboard.stringForType(platform::kPasteboardTypeString), "kept");
}

}  // namespace
}  // namespace tandrel
