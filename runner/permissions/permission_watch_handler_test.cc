#include "runner/permissions/permission_watch_handler.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runner/permissions/permission_gate.h"
#include "runner/permissions/recording_sink.h"
#include "sim/world.h"
#include "testing/channel_harness.h"

namespace tandrel {
namespace {

using channel::Value;
using channel_test::MethodReply;

constexpr sim::Micros kMs = 1000;
const std::string kChannel(kPermissionEventsChannel);
const std::string kNotification(kAccessibilityChanged);

class PermissionWatchTest : public ::testing::Test {
 protected:
  void install(bool sandboxed) {
    handler = PermissionWatchHandler::create(world, sandboxed);
    channel::EventChannel(h.messenger(), kChannel).setStreamHandler(handler);
  }
  std::vector<Value> events() const { return h.eventValues(kChannel); }

  sim::World world;
  channel_test::ChannelHarness h;
  std::shared_ptr<PermissionWatchHandler> handler;
};

using Bools = std::vector<Value>;

TEST_F(PermissionWatchTest, ObservingReportsEachFlipAfterTheRecheckDelay) {
  install(false);
  EXPECT_EQ(h.listen(kChannel), MethodReply::Success());
  world.runPending();
  EXPECT_TRUE(events().empty()) << "nothing is sent at listen time";

  world.setTrusted(true);
  world.advance(299 * kMs);
  EXPECT_TRUE(events().empty());
  world.advance(1 * kMs);
  EXPECT_EQ(events(), (Bools{true}));

  world.setTrusted(false);
  world.advance(300 * kMs);
  EXPECT_EQ(events(), (Bools{true, false}));

  // A notification about somebody else's trust changes nothing here.
  world.postDistributedNotification(kNotification);
  world.advance(1000 * kMs);
  EXPECT_EQ(events(), (Bools{true, false}));
}

TEST_F(PermissionWatchTest, SeveralNotificationsInsideTheDelayReportOnce) {
  install(false);
  h.listen(kChannel);
  world.setTrusted(true);
  world.advance(100 * kMs);
  world.postDistributedNotification(kNotification);
  world.advance(100 * kMs);
  world.postDistributedNotification(kNotification);
  world.advance(1000 * kMs);
  EXPECT_EQ(events(), (Bools{true}));
}

TEST_F(PermissionWatchTest, PollingReportsOnlyWhatTheNextPollSees) {
  install(true);
  world.setTrusted(true);  // not what the sandbox needs
  h.listen(kChannel);
  world.advance(2000 * kMs);
  EXPECT_TRUE(events().empty());

  world.advance(500 * kMs);
  world.setListenAccess(true);
  world.advance(1499 * kMs);
  EXPECT_TRUE(events().empty()) << "the poll has not run yet";
  world.advance(1 * kMs);
  EXPECT_EQ(events(), (Bools{true}));

  // Withdrawn and granted again between two polls: no change seen.
  world.advance(500 * kMs);
  world.setListenAccess(false);
  world.advance(500 * kMs);
  world.setListenAccess(true);
  world.advance(10000 * kMs);
  EXPECT_EQ(events(), (Bools{true}));

  world.setListenAccess(false);
  world.advance(2000 * kMs);
  EXPECT_EQ(events(), (Bools{true, false}));
  EXPECT_EQ(world.observerCount(), 0) << "the sandbox observes no notification";
}

TEST_F(PermissionWatchTest, NothingIsReportedAcrossACancel) {
  install(false);
  h.listen(kChannel);
  EXPECT_EQ(world.observerCount(), 1);

  // A re-check already scheduled when the cancel comes still runs, silently.
  world.setTrusted(true);
  world.runPending();
  EXPECT_EQ(h.cancel(kChannel), MethodReply::Success());
  EXPECT_EQ(world.observerCount(), 0);
  world.advance(1000 * kMs);

  // A change while nobody listens is never reported; the next listen starts from it.
  world.setTrusted(false);
  world.advance(1000 * kMs);
  world.setTrusted(true);
  world.advance(1000 * kMs);
  h.listen(kChannel);
  world.postDistributedNotification(kNotification);
  world.advance(1000 * kMs);
  EXPECT_TRUE(events().empty());

  world.setTrusted(false);
  world.advance(300 * kMs);
  EXPECT_EQ(events(), (Bools{false}));
}

TEST_F(PermissionWatchTest, PollingStopsOnCancel) {
  install(true);
  h.listen(kChannel);
  EXPECT_EQ(h.cancel(kChannel), MethodReply::Success());
  world.setListenAccess(true);
  world.advance(10000 * kMs);
  EXPECT_TRUE(events().empty());

  // Listening again takes the current state as its baseline.
  h.listen(kChannel);
  world.advance(4000 * kMs);
  EXPECT_TRUE(events().empty());
}

TEST(PermissionWatchDirect, RepeatedListenKeepsOneWatchAndCancelAlwaysSucceeds) {
  sim::World world;
  auto handler = PermissionWatchHandler::create(world, false);
  EXPECT_EQ(handler->onCancel(Value()), std::nullopt) << "cancel before any listen";

  std::vector<Value> first, second;
  EXPECT_EQ(handler->onListen(Value(), tandrel_test::recordInto(first)), std::nullopt);
  EXPECT_EQ(handler->onListen(Value(), tandrel_test::recordInto(second)), std::nullopt);
  EXPECT_EQ(world.observerCount(), 1) << "the earlier observer must be gone";

  world.setTrusted(true);
  world.advance(1000 * kMs);
  EXPECT_TRUE(first.empty());
  EXPECT_EQ(second, (Bools{true}));

  EXPECT_EQ(handler->onCancel(Value()), std::nullopt);
  EXPECT_EQ(handler->onCancel(Value()), std::nullopt);
  EXPECT_EQ(world.observerCount(), 0);
}

TEST(PermissionWatchDirect, CallbacksOutlivingTheHandlerDoNothing) {
  for (const bool sandboxed : {false, true}) {
    sim::World world;
    std::vector<Value> seen;
    auto handler = PermissionWatchHandler::create(world, sandboxed);
    handler->onListen(Value(), tandrel_test::recordInto(seen));
    world.setTrusted(true);
    world.setListenAccess(true);
    world.runPending();  // the delayed re-check is now scheduled
    handler.reset();
    EXPECT_EQ(world.observerCount(), 0);
    world.setTrusted(false);
    world.advance(10000 * kMs);
    EXPECT_TRUE(seen.empty()) << "sandboxed " << sandboxed;
  }
}

}  // namespace
}  // namespace tandrel
