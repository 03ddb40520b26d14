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
using Bools = std::vector<Value>;

constexpr sim::Micros kMs = 1000;
const std::string kChannel(kPermissionEventsChannel);
const std::string kNotification(kAccessibilityChanged);

struct Host {
  explicit Host(bool sandboxed) {
    channel::EventChannel(h.messenger(), kChannel)
        .setStreamHandler(PermissionWatchHandler::create(w, sandboxed));
    EXPECT_TRUE(h.listen(kChannel).isSuccess());
  }
  Bools events() const { return h.eventValues(kChannel); }
  sim::World w;
  channel_test::ChannelHarness h;
};

TEST(PermissionWatch, ObservingReportsEachFlipOnceAndNothingAcrossACancel) {
  Host host(false);
  sim::World& w = host.w;
  // Three notifications inside the delay: the first re-check reports, the others see no change.
  w.setTrusted(true);
  w.advance(100 * kMs);
  w.postDistributedNotification(kNotification);
  w.advance(100 * kMs);
  w.postDistributedNotification(kNotification);
  w.advance(99 * kMs);
  EXPECT_TRUE(host.events().empty()) << "nothing at listen time nor before the delay";
  w.advance(1000 * kMs);
  w.postDistributedNotification(kNotification);  // nothing changed for this process
  w.advance(1000 * kMs);
  EXPECT_EQ(host.events(), (Bools{true}));

  // A re-check scheduled before the cancel still runs, silently; changes while nobody listens
  // are never reported, and the next listen starts from the state it finds.
  w.setTrusted(false);
  w.runPending();
  EXPECT_TRUE(host.h.cancel(kChannel).isSuccess());
  EXPECT_EQ(w.observerCount(), 0);
  w.advance(1000 * kMs);
  w.setTrusted(true);
  w.advance(1000 * kMs);
  host.h.listen(kChannel);
  w.postDistributedNotification(kNotification);
  w.advance(1000 * kMs);
  w.setTrusted(false);
  w.advance(300 * kMs);
  EXPECT_EQ(host.events(), (Bools{true, false}));
}

TEST(PermissionWatch, PollingSeesOnlyWhatEachPollFinds) {
  Host host(true);
  sim::World& w = host.w;
  w.setTrusted(true);  // not the sandbox's permission
  w.advance(2500 * kMs);
  w.setListenAccess(true);
  w.advance(1499 * kMs);
  EXPECT_TRUE(host.events().empty());
  w.advance(1 * kMs);
  EXPECT_EQ(host.events(), (Bools{true}));
  // Withdrawn and granted again between two polls.
  w.advance(500 * kMs);
  w.setListenAccess(false);
  w.advance(500 * kMs);
  w.setListenAccess(true);
  w.advance(10000 * kMs);
  EXPECT_EQ(w.observerCount(), 0);
  // After a cancel nothing polls; the next listen takes the current state as its baseline.
  host.h.cancel(kChannel);
  w.setListenAccess(false);
  w.advance(10000 * kMs);
  host.h.listen(kChannel);
  w.advance(10000 * kMs);
  EXPECT_EQ(host.events(), (Bools{true}));
}

TEST(PermissionWatchDirect, RepeatedListenCancelAndOutlivedCallbacks) {
  for (const bool sandboxed : {false, true}) {
    sim::World w;
    auto handler = PermissionWatchHandler::create(w, sandboxed);
    EXPECT_EQ(handler->onCancel(Value()), std::nullopt) << "cancel before any listen";
    Bools first, second;
    handler->onListen(Value(), tandrel_test::recordInto(first));
    handler->onListen(Value(), tandrel_test::recordInto(second));
    EXPECT_EQ(w.observerCount(), sandboxed ? 0 : 1) << "the earlier observer must be gone";
    w.setTrusted(true);
    w.setListenAccess(true);
    w.advance(2000 * kMs);
    EXPECT_EQ(first, Bools{});
    EXPECT_EQ(second, (Bools{true}));

    // Destroyed with a re-check pending: the callbacks find it gone.
    w.setTrusted(false);
    w.runPending();
    handler.reset();
    EXPECT_EQ(w.observerCount(), 0);
    w.advance(10000 * kMs);
  }
}

}  // namespace
}  // namespace tandrel
