#include "runner/tandrel_plugin.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "runner/automation/automation_handler.h"
#include "runner/keytap/key_tap_test_fixture.h"
#include "sim/world.h"
#include "testing/channel_harness.h"

namespace tandrel {
namespace {

constexpr char kKeyEvents[] = "tandrel/key_events";
constexpr char kPermissions[] = "tandrel/permissions";
constexpr char kAutomation[] = "tandrel/automation";
constexpr char kAutostart[] = "tandrel/autostart";

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

// Each channel on the given platform and sandbox flag; automation calls all reach one instance,
// so the clipboard snapshot one takes survives to the next.
TEST_F(HostChannelsTest, EveryChannelWorksOnTheGivenPlatformAndSandboxFlag) {
  install(true);
  putText(world_.pasteboard(), "the user's clipboard");
  EXPECT_EQ(harness_.call(kAutomation, "saveClipboard"), MethodReply::Success());
  harness_.call(kAutomation, "writeClipboardText", ValueMap{{"text", "scratch"}});
  EXPECT_EQ(harness_.call(kAutomation, "restoreClipboard"), MethodReply::Success());
  EXPECT_EQ(harness_.call(kAutomation, "readClipboardText"),
            MethodReply::Success("the user's clipboard"));

  EXPECT_EQ(harness_.call(kPermissions, "isSandboxed"), MethodReply::Success(true));
  world_.setTrusted(true);  // inside the sandbox the permission is listen access, not trust
  EXPECT_EQ(harness_.call(kPermissions, "check"), MethodReply::Success(false));
  world_.setListenAccess(true);
  EXPECT_EQ(harness_.call(kPermissions, "check"), MethodReply::Success(true));
  world_.setOperatingSystemVersion({13, 0, 0});
  EXPECT_EQ(harness_.call(kAutostart, "setEnabled", ValueMap{{"enabled", true}}),
            MethodReply::Success());
  EXPECT_EQ(harness_.call(kAutostart, "isEnabled"), MethodReply::Success(true));
}

// After a hot restart the new Dart code listens again without a cancel: each stream goes on
// once, to the new listener, with one tap and one observer behind it.
TEST_F(HostChannelsTest, AListenWithoutACancelTakesOverEachStream) {
  install(false);
  world_.setTrusted(true);
  world_.runPending();
  for (const std::string& stream : {kChannel, kPermissionEvents, kChannel, kPermissionEvents}) {
    ASSERT_EQ(harness_.listen(stream), MethodReply::Success()) << stream;
  }
  EXPECT_EQ(world_.activeTapCount(), 1);
  world_.pressKey(kG);
  world_.runPending();
  world_.setTrusted(false);
  world_.advance(500'000);
  EXPECT_EQ(harness_.eventValues(kKeyEvents), (Events{keyDown(kG, "g"), kPermissionLost}));
  EXPECT_EQ(harness_.eventValues(kPermissionEvents), Events{Value(false)});
  EXPECT_EQ(harness_.cancel(kKeyEvents), MethodReply::Success());
  EXPECT_EQ(harness_.cancel(kPermissionEvents), MethodReply::Success());
}

// One registration per engine on the process's platform. The first engine is served by the
// process's singletons (a later direct use of AutomationHandler::shared() finds the snapshot
// taken over its channel); a second engine gets handlers of its own: its listen makes a tap of
// its own and leaves the first engine's stream alone. The first registration happens once per
// process, so the singletons are checked only when this test ran it (as ctest runs each test).
TEST(RegisterWithRegistrarTest, EachEngineIsServedAndTheFirstKeepsItsTap) {
  sim::World& world = sim::processWorld();
  world.setTrusted(true);
  world.runPending();
  channel_test::ChannelHarness first;
  channel_test::ChannelHarness second;
  channel::PluginRegistrar firstRegistrar(first.messenger());
  channel::PluginRegistrar secondRegistrar(second.messenger());
  if (TandrelPlugin::registerWithRegistrar(firstRegistrar)) {
    putText(world.pasteboard(), "kept");
    ASSERT_EQ(first.call(kAutomation, "saveClipboard"), MethodReply::Success());
    putText(world.pasteboard(), "changed");
    AutomationHandler::shared()->restoreClipboard();
    EXPECT_EQ(world.pasteboard().stringForType(platform::kPasteboardTypeString), "kept");
  }

  ASSERT_EQ(first.listen(kKeyEvents), MethodReply::Success());
  EXPECT_FALSE(TandrelPlugin::registerWithRegistrar(secondRegistrar));
  for (channel_test::ChannelHarness* engine : {&first, &second}) {
    EXPECT_EQ(engine->call("velloc/input_source", "select", ValueMap{{"lang", "xx"}}).errorCode(),
              "bad_lang");
    EXPECT_TRUE(engine->call(kPermissions, "check").isSuccess());
  }
  ASSERT_EQ(second.listen(kKeyEvents), MethodReply::Success());
  EXPECT_EQ(world.activeTapCount(), 2);
  ASSERT_EQ(second.cancel(kKeyEvents), MethodReply::Success());

  world.pressKey(5);
  world.runPending();
  EXPECT_EQ(world.activeTapCount(), 1);
  EXPECT_FALSE(first.eventValues(kKeyEvents).empty()) << "the first engine's stream still flows";
  EXPECT_TRUE(second.eventValues(kKeyEvents).empty());
  EXPECT_EQ(first.cancel(kKeyEvents), MethodReply::Success());
}

}  // namespace
}  // namespace tandrel
