// The key stream against the system's timing: the tap never holds the session's input while a
// channel call blocks the main thread, permission changes are heard while the host is in the
// background, and a tap the system silently switched off comes back.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "channel/method_channel.h"
#include "runner/automation/automation_handler.h"
#include "runner/keytap/key_tap_test_fixture.h"
#include "runner/permissions/permission_watch_handler.h"
#include "testing/channel_harness.h"

namespace tandrel {
namespace {

const std::string kAutomation = "tandrel/automation";

// The key stream and "tandrel/automation" on one messenger, as the host serves them.
struct LongCalls : KeyTapWorld {
  LongCalls() {
    world.focusedElement()->value = std::u16string(600, u'x');
    world.focusedElement()->selection = platform::AXRange{600, 0};
    channel::MethodChannel(h.messenger(), kAutomation)
        .setMethodCallHandler(
            [this](const auto& call, auto result) { automation.handle(call, std::move(result)); });
  }
  // Blocks the main thread for 3 ms a key.
  MethodReply backspaces(int32_t count) {
    return h.call(kAutomation, "backspace", ValueMap{{"count", count}});
  }

  AutomationHandler automation{world};
};
struct KeyStreamTiming : ::testing::Test, LongCalls {
  void SetUp() override { listen(); }
};

using Effect = sim::World::SleepEffect;

// The tap switched off once more than it may be switched back on, a key served before the last
// time or not.
void switchOff(sim::World& w, bool served) {
  constexpr int kLast = KeyEventTapHandler::kMaxRearms;
  for (int i = 0; i <= kLast; ++i) w.later(i * 100, [&w] { w.disableTapsByTimeout(); });
  if (served) w.later(kLast * 100 - 50, [&w] { w.pressKey(kG); });
}

// The machine asleep, or the screen locked, with that effect on the tap; the user back 2 s later.
void away(sim::World& w, Effect effect, void (sim::World::*back)()) {
  back == &sim::World::unlockScreen ? w.lockScreen(effect) : w.sleepMachine(effect);
  w.later(2000 * kMs, [&w, back] { (w.*back)(); });
}

// 1 s into a 30 s call the system switches the tap off, or the grant changes, or the machine
// sleeps or locks and the user comes back at 3 s; the user types at 5 s. The tap's thread switches
// the tap back on at once while the permission the process needs holds (AXIsProcessTrusted keeps
// answering yes when the user deletes the row), no more than kMaxRearms times in a row with no
// event served between; otherwise the tap stays off, so no key is held longer than the system's
// tap timeout, and it is released after the call, outside its callback, with one "permissionLost"
// after the keys before it, and the permission stream told. A tap that sleep, a lock or another
// user's session switched off or invalidated silently comes back when the user does.
TEST(KeyStreamAcrossALongCall, TheTapComesBackAtOnceWithItsPermissionOrIsLostOnce) {
  channel_test::ProgrammingErrorCapture errors;
  struct Case {
    const char* name;
    void (*change)(sim::World&);  // at 1 s
    Events expected;              // on the key stream, after the call
    Events permission = {};       // on the permission stream
    bool sandboxed = false, trusted = true, listen = true;
    bool recheckDue = false;  // for another process's change, announced before the call
  };
  const auto timeout = [](sim::World& w) { w.disableTapsByTimeout(); };
  const auto userInput = [](sim::World& w) { w.disableTapsByUserInput(); };
  const Events g{keyDown(kG, "g")}, lost{kPermissionLost}, no{Value(false)};
  const Case cases[] = {
      {"timeout", timeout, g},
      {"user input", userInput, g},
      {"sandboxed, listen access without trust", timeout, g, {}, true, false},
      {"sandboxed, trust without listen access", userInput, lost, no, true, true, false},
      {"trust gone", timeout, lost, no, false, false},
      {"its row deleted", [](sim::World& w) { w.deleteAccessibilityRow(); }, lost, no},
      {"switched off and on again",
       [](sim::World& w) {
         w.setTrusted(false);
         w.later(2000 * kMs, [&w] { w.setTrusted(true); });
       },
       {}},
      {"a key, then trust gone, the re-check of another change overdue",
       [](sim::World& w) {
         w.pressKey(kG);
         w.later(50 * kMs, [&w] { w.setTrusted(false); });
       },
       {keyDown(kG, "g"), kPermissionLost},
       no,
       false,
       true,
       true,
       true},
      {"switched off once too often", [](sim::World& w) { switchOff(w, false); }, lost},
      {"served between", [](sim::World& w) { switchOff(w, true); }, {g[0], g[0]}},
      {"asleep", [](sim::World& w) { away(w, Effect::kDisableTaps, &sim::World::wake); }, {}},
      {"asleep, its port gone, until this user's session is back",
       [](sim::World& w) { away(w, Effect::kInvalidatePorts, &sim::World::sessionBecameActive); },
       {}},
      {"locked",
       [](sim::World& w) { away(w, Effect::kDisableTaps, &sim::World::unlockScreen); },
       {}},
      {"locked, its port gone",
       [](sim::World& w) { away(w, Effect::kInvalidatePorts, &sim::World::unlockScreen); },
       {}},
      {"trust gone while asleep",
       [](sim::World& w) {
         away(w, Effect::kInvalidatePorts, &sim::World::wake);
         w.setTrusted(false);
       },
       lost, no},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LongCalls t;
    sim::World& world = t.world;
    world.setRecordWindow(100000);
    // Where event sources hold the local keyboard and mouse back after each synthetic event, the
    // user's keys during a call would be lost to the application and the stream alike.
    world.setLocalEventsSuppression(true);
    t.install(c.sandboxed);
    ASSERT_EQ(t.h.listen(kChannel), MethodReply::Success());
    ASSERT_EQ(t.h.listen(kPermissionEvents), MethodReply::Success());
    world.setTrusted(c.trusted);
    world.setListenAccess(c.listen);
    t.take();
    world.takePosted();
    world.takeTrace();
    if (c.recheckDue) {
      world.postDistributedNotification(kNotification);
      world.runPending();
    }
    const sim::Micros start = world.now();
    world.later(1000 * kMs, [&] { c.change(world); });
    world.later(5000 * kMs, [&] { world.pressKey(kG); });
    ASSERT_EQ(t.backspaces(10000), MethodReply::Success());
    EXPECT_EQ(t.h.eventValues(kChannel), Events{}) << "the main thread was busy until now";
    world.advance(2000 * kMs);  // the permission stream's own re-checks
    EXPECT_EQ(t.h.eventValues(kPermissionEvents), c.permission);
    EXPECT_EQ(t.take(), c.expected) << "after the call";
    const bool isLost = c.expected.size() > 0 && c.expected.back() == kPermissionLost;
    EXPECT_EQ(world.tapCount(), isLost ? 0 : 1);
    sim::Micros lastKey = -1;
    for (const sim::TraceEntry& e : world.takeTrace()) {
      if (e.kind == "key") lastKey = e.time - start;
    }
    EXPECT_EQ(lastKey, 5000 * kMs) << "reaches its application as the user types it";
    sim::Micros longestHeld = 0;
    for (const sim::PostedEvent& e : world.takePosted()) {
      longestHeld = std::max(longestHeld, e.deliveredAt.value_or(INT64_MAX) - e.postedAt);
    }
    EXPECT_LE(longestHeld, world.tapTimeout()) << "no key waits longer than the system lets a tap";
    world.activate(8);
    world.pressKey(kA);
    EXPECT_EQ(t.take(), (isLost ? Events{kAppChanged} : Events{kAppChanged, keyDown(kA, "a")}))
        << "a lost tap leaves only the application switches";
    t.h.cancel(kChannel);
    t.h.cancel(kPermissionEvents);
    EXPECT_EQ(world.observerCount(), 0) << "nothing left behind";
  }
  EXPECT_EQ(errors.reports(), std::vector<std::string>{});
}

// The hand-off holds 4096 records: one per key press, none for releases.
TEST_F(KeyStreamTiming, EveryKeyTypedDuringTheLongestCallReachesTheStream) {
  for (int i = 0; i < 4096; ++i) world.later(7 * kMs * i, [&] { world.pressKey(kA); });
  ASSERT_EQ(backspaces(10000), MethodReply::Success());
  EXPECT_EQ(take(), Events(4096, keyDown(kA, "a")));
}

// Hidden and inactive, the host would be napped: its timers held to the nap's period. While either
// stream is listened its activity keeps it out, and only out of the nap: the machine may still
// sleep when idle, and a logout or restart need not ask the host to quit.
TEST_F(KeyStreamTiming, WhileEitherStreamIsListenedTheHiddenHostIsNotNapped) {
  world.window().visible = false;
  world.setAppNap(10000 * kMs);
  const auto held = [&] {
    constexpr uint64_t kUnwanted = platform::kNSActivityIdleSystemSleepDisabled |
                                   platform::kNSActivitySuddenTerminationDisabled |
                                   platform::kNSActivityAutomaticTerminationDisabled;
    const std::vector<sim::ActivityInfo> all = world.activities();
    return !all.empty() && std::all_of(all.begin(), all.end(), [](const sim::ActivityInfo& a) {
      return (a.options & kUnwanted) == 0;
    });
  };
  const auto onTime = [&] {
    sim::Micros firedAt = -1;
    world.mainLoop().dispatchAfter(0.3, [&] { firedAt = world.now(); });
    const sim::Micros due = world.now() + 300 * kMs;
    world.advance(300 * kMs);
    return firedAt == due;
  };
  // The key stream alone: the trust re-check 0.3 s after the notification, heard though the host
  // is not the active application.
  ASSERT_FALSE(world.hostActive());
  EXPECT_TRUE(held());
  world.setTrusted(false);
  world.advance(299 * kMs);
  EXPECT_EQ(take(), Events{});
  world.advance(1 * kMs);
  EXPECT_EQ(take(), Events{kPermissionLost});
  h.cancel(kChannel);
  EXPECT_EQ(world.activities().size(), 0u);

  // Each stream alone, in either mode, and both, whichever is cancelled first.
  world.setTrusted(true);
  const std::vector<std::string> orders[] = {
      {kPermissionEvents}, {kChannel, kPermissionEvents}, {kPermissionEvents, kChannel}};
  for (const bool sandboxed : {false, true}) {
    install(sandboxed);
    for (const std::vector<std::string>& order : orders) {
      for (const std::string& stream : order) ASSERT_EQ(h.listen(stream), MethodReply::Success());
      for (const std::string& stream : order) {
        EXPECT_TRUE(held()) << stream;
        EXPECT_TRUE(onTime()) << stream;
        h.cancel(stream);
      }
      EXPECT_EQ(world.activities().size(), 0u);
    }
  }
  EXPECT_FALSE(onTime()) << "nothing listened: the delay comes at the nap's next boundary";
}

}  // namespace
}  // namespace tandrel
