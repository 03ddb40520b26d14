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
struct KeyStreamTiming : KeyTap {
  void SetUp() override {
    KeyTap::SetUp();
    world.focusedElement()->value = std::u16string(600, u'x');
    world.focusedElement()->selection = platform::AXRange{600, 0};
    channel::MethodChannel(h.messenger(), kAutomation)
        .setMethodCallHandler(
            [this](const auto& call, auto result) { automation.handle(call, std::move(result)); });
    listen();
  }
  MethodReply call(const std::string& method, const Value& args) {
    return h.call(kAutomation, method, args);
  }
  std::u16string field() { return *world.focusedElement()->value; }

  AutomationHandler automation{world};
};

TEST_F(KeyStreamTiming, TypedTextReachesTheApplicationChunkByChunkAtItsPace) {
  const sim::Micros start = world.now();
  world.takePosted();
  const std::string text(45, 'a');
  ASSERT_EQ(call("typeText", ValueMap{{"text", text}}), MethodReply::Success());
  world.runPending();

  std::vector<sim::Micros> arrivals;
  for (const sim::PostedEvent& e : world.takePosted()) {
    ASSERT_TRUE(e.deliveredAt.has_value());
    if (e.type == platform::kCGEventKeyDown) arrivals.push_back(*e.deliveredAt - start);
  }
  EXPECT_EQ(arrivals, (std::vector<sim::Micros>{0, 5 * kMs, 10 * kMs}))
      << "three chunks, 5 ms apart, each as it is posted";
  EXPECT_EQ(take(), Events{}) << "the host's own keystrokes are not reported";
}

// Where event sources hold the local keyboard and mouse back after each synthetic event, the
// user's keys and clicks during a call would be lost to the application and the stream alike.
TEST_F(KeyStreamTiming, UserInputDuringALongCallReachesItsApplicationAtOnceUnheldBack) {
  world.setLocalEventsSuppression(true);
  // 400 Backspaces take 1.2 s, longer than the system waits for a tap's answer.
  std::u16string seenAt11ms, seenAt21ms;
  world.later(10 * kMs, [&] { world.pressKey(kG); });
  world.later(11 * kMs, [&] { seenAt11ms = field(); });
  world.later(12 * kMs, [&] { world.click(platform::kCGEventLeftMouseDown); });
  world.later(20 * kMs, [&] { world.pressKey(kA); });
  world.later(21 * kMs, [&] { seenAt21ms = field(); });
  ASSERT_EQ(call("backspace", ValueMap{{"count", int32_t{400}}}), MethodReply::Success());

  // Backspaces at 0, 3, 6 and 9 ms went before the "g"; three more, the "g" among them, before
  // the "a".
  EXPECT_EQ(seenAt11ms, std::u16string(596, u'x') + u"g");
  EXPECT_EQ(seenAt21ms, std::u16string(594, u'x') + u"a");
  EXPECT_EQ(h.eventValues(kChannel), Events{}) << "the main thread was busy until now";
  EXPECT_EQ(take(), (Events{keyDown(kG, "g"), kClick, keyDown(kA, "a")}))
      << "after the call, in order";
  EXPECT_EQ(world.activeTapCount(), 1) << "never switched off by timeout";
}

TEST_F(KeyStreamTiming, ARevokeDuringALongCallGivesOnePermissionLostAfterTheKeysBeforeIt) {
  // Another process's trust changed: the re-check is due at 300 ms, while a call blocks the main
  // thread. The user types at 350 ms; this host's trust goes at 400 ms.
  world.postDistributedNotification(kNotification);
  world.runPending();
  world.later(350 * kMs, [&] { world.pressKey(kG); });
  world.later(400 * kMs, [&] { world.setTrusted(false); });
  ASSERT_EQ(call("backspace", ValueMap{{"count", int32_t{400}}}), MethodReply::Success());
  world.advance(2000 * kMs);
  EXPECT_EQ(take(), (Events{keyDown(kG, "g"), kPermissionLost})) << "the key still queued first";
  EXPECT_EQ(world.tapCount(), 0);
  EXPECT_EQ(world.tapThreadCount(), 0);
}

// 1 s into a 30 s call the system switches the tap off, or the grant changes; the user types at
// 5 s. The tap's thread switches the tap back on at once when the permission the process needs
// still holds; without it (AXIsProcessTrusted keeps answering yes when the user deletes the row)
// the tap stays off, so no key is held longer than the system's tap timeout, and the tap is
// released after the call, outside its callback, with one "permissionLost" on each stream.
TEST_F(KeyStreamTiming, ATapSwitchedOffDuringALongCallComesBackAtOnceWithItsPermission) {
  channel_test::ProgrammingErrorCapture errors;
  world.setRecordWindow(100000);
  struct Case {
    const char* name;
    bool sandboxed, trusted, listen;
    void (*change)(sim::World&);
    Events expected;
  };
  const auto timeout = [](sim::World& w) { w.disableTapsByTimeout(); };
  const auto userInput = [](sim::World& w) { w.disableTapsByUserInput(); };
  const Events typed{keyDown(kG, "g")}, lost{kPermissionLost};
  const Case cases[] = {
      {"timeout", false, true, true, timeout, typed},
      {"user input", false, true, true, userInput, typed},
      {"sandboxed, listen access without trust", true, false, true, timeout, typed},
      {"sandboxed, trust without listen access", true, true, false, userInput, lost},
      {"trust gone", false, false, true, timeout, lost},
      {"its row deleted", false, true, true, [](sim::World& w) { w.deleteAccessibilityRow(); },
       lost},
      {"switched off and on again", false, true, true,
       [](sim::World& w) {
         w.setTrusted(false);
         w.later(2000 * kMs, [&w] { w.setTrusted(true); });
       },
       Events{}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    world.setTrusted(true);
    world.setListenAccess(true);
    install(c.sandboxed);
    ASSERT_EQ(h.listen(kChannel), MethodReply::Success());
    ASSERT_EQ(h.listen(kPermissionEvents), MethodReply::Success());
    world.setTrusted(c.trusted);
    world.setListenAccess(c.listen);
    take();
    world.takePosted();
    world.takeTrace();
    const sim::Micros start = world.now();
    world.later(1000 * kMs, [&] { c.change(world); });
    world.later(5000 * kMs, [&] { world.pressKey(kG); });
    ASSERT_EQ(call("backspace", ValueMap{{"count", int32_t{10000}}}), MethodReply::Success());
    EXPECT_EQ(h.eventValues(kChannel), Events{}) << "the main thread was busy until now";
    world.advance(2000 * kMs);  // the permission stream's own re-checks
    EXPECT_EQ(h.eventValues(kPermissionEvents), c.expected == lost ? Events{false} : Events{});
    EXPECT_EQ(take(), c.expected) << "after the call";
    EXPECT_EQ(world.tapCount(), c.expected == lost ? 0 : 1);
    std::vector<sim::Micros> arrivals;
    for (const sim::TraceEntry& e : world.takeTrace()) {
      if (e.kind == "key") arrivals.push_back(e.time - start);
    }
    EXPECT_EQ(arrivals, std::vector<sim::Micros>{5000 * kMs}) << "as the user typed it";
    sim::Micros longestHeld = 0;
    for (const sim::PostedEvent& e : world.takePosted()) {
      longestHeld = std::max(longestHeld, e.deliveredAt.value_or(INT64_MAX) - e.postedAt);
    }
    EXPECT_LE(longestHeld, world.tapTimeout()) << "no key waits longer than the system lets a tap";
    if (c.expected != lost) {
      world.pressKey(kA);
      EXPECT_EQ(take(), Events{keyDown(kA, "a")}) << "the tap is back on";
    }
    h.cancel(kChannel);
    h.cancel(kPermissionEvents);
  }
  EXPECT_EQ(errors.reports(), std::vector<std::string>{});
}

// The hand-off holds 4096 records: one per key press, none for releases.
TEST_F(KeyStreamTiming, EveryKeyTypedDuringTheLongestCallReachesTheStream) {
  for (int i = 0; i < 4096; ++i) world.later(7 * kMs * i, [&] { world.pressKey(kA); });
  ASSERT_EQ(call("backspace", ValueMap{{"count", int32_t{10000}}}), MethodReply::Success());
  EXPECT_EQ(take(), Events(4096, keyDown(kA, "a")));
}

// Hidden and inactive, the host would be napped: its timers held to the nap's period.
TEST_F(KeyStreamTiming, WhileEitherStreamIsListenedTheHiddenHostIsNotNapped) {
  constexpr sim::Micros kNap = 10000 * kMs;
  world.window().visible = false;
  world.setAppNap(kNap);
  // One activity, and only out of the nap: the machine may still sleep when idle, and a logout or
  // restart need not ask the host to quit.
  const auto heldOne = [&] {
    constexpr uint64_t kUnwanted = platform::kNSActivityIdleSystemSleepDisabled |
                                   platform::kNSActivitySuddenTerminationDisabled |
                                   platform::kNSActivityAutomaticTerminationDisabled;
    const std::vector<sim::ActivityInfo> held = world.activities();
    return held.size() == 1 && (held[0].options & kUnwanted) == 0;
  };
  const auto onTime = [&] {
    sim::Micros firedAt = -1;
    world.mainLoop().dispatchAfter(0.3, [&] { firedAt = world.now(); });
    const sim::Micros due = world.now() + 300 * kMs;
    world.advance(300 * kMs);
    return firedAt == due;
  };

  // Both streams: whichever is cancelled first, the other keeps the host awake.
  for (const std::string* first : {&kChannel, &kPermissionEvents}) {
    ASSERT_EQ(h.listen(kChannel), MethodReply::Success());
    ASSERT_EQ(h.listen(kPermissionEvents), MethodReply::Success());
    h.cancel(*first);
    EXPECT_TRUE(heldOne()) << *first;
    EXPECT_TRUE(onTime()) << *first;
    h.cancel(first == &kChannel ? kPermissionEvents : kChannel);
    EXPECT_EQ(world.activities().size(), 0u);
  }

  // The key stream alone: the trust re-check 0.3 s after the notification, heard though the host
  // is not the active application.
  ASSERT_EQ(h.listen(kChannel), MethodReply::Success());
  ASSERT_FALSE(world.hostActive());
  EXPECT_TRUE(heldOne());
  world.setTrusted(false);
  world.advance(299 * kMs);
  EXPECT_EQ(take(), Events{});
  world.advance(1 * kMs);
  EXPECT_EQ(take(), Events{kPermissionLost});
  h.cancel(kChannel);
  EXPECT_EQ(world.activities().size(), 0u);

  // The permission stream alone: the sandbox's 2 s poll, then the re-check.
  auto polling = PermissionWatchHandler::create(world, true);
  channel::EventChannel(h.messenger(), kPermissionEvents).setStreamHandler(polling);
  ASSERT_EQ(h.listen(kPermissionEvents), MethodReply::Success());
  EXPECT_TRUE(heldOne());
  world.setListenAccess(false);
  world.advance(2000 * kMs);
  EXPECT_EQ(h.eventValues(kPermissionEvents), Events{Value(false)});
  h.cancel(kPermissionEvents);
  h.clearEvents();

  auto observing = PermissionWatchHandler::create(world, false);
  channel::EventChannel(h.messenger(), kPermissionEvents).setStreamHandler(observing);
  ASSERT_EQ(h.listen(kPermissionEvents), MethodReply::Success());
  world.setTrusted(true);
  world.advance(300 * kMs);
  EXPECT_EQ(h.eventValues(kPermissionEvents), Events{Value(true)});
  h.cancel(kPermissionEvents);
  EXPECT_EQ(world.activities().size(), 0u);

  // Nothing listened: the same delay comes at the nap's next boundary.
  EXPECT_FALSE(onTime());
}

// How the user comes back: from sleep, from another user's session, or from a screen lock without
// sleep (while the host is not the active application, as almost always).
enum class Back { kWake, kSession, kUnlock };

TEST_F(KeyStreamTiming, TheStreamSurvivesSleepLockAndUserSwitching) {
  using Effect = sim::World::SleepEffect;
  for (const auto& [effect, back] : {std::pair{Effect::kDisableTaps, Back::kWake},
                                     {Effect::kInvalidatePorts, Back::kWake},
                                     {Effect::kDisableTaps, Back::kSession},
                                     {Effect::kInvalidatePorts, Back::kSession},
                                     {Effect::kDisableTaps, Back::kUnlock},
                                     {Effect::kInvalidatePorts, Back::kUnlock}}) {
    SCOPED_TRACE(static_cast<int>(back) * 10 + static_cast<int>(effect));
    if (back == Back::kUnlock) {
      world.lockScreen(effect);
    } else {
      world.sleepMachine(effect);
    }
    world.pressKey(kG);
    EXPECT_EQ(take(), Events{}) << "nothing while the tap is dead";
    switch (back) {
      case Back::kWake:
        world.wake();
        break;
      case Back::kSession:
        world.sessionBecameActive();
        break;
      case Back::kUnlock:
        world.unlockScreen();
        break;
    }
    world.runPending();
    world.pressKey(kA);
    EXPECT_EQ(take(), Events{keyDown(kA, "a")});
    EXPECT_EQ(world.tapCount(), 1);
    EXPECT_EQ(world.activeTapCount(), 1);
  }
  // The permission went while the machine slept: reported once, and the tap is gone.
  world.sleepMachine(sim::World::SleepEffect::kInvalidatePorts);
  world.setTrusted(false);
  world.wake();
  world.sessionBecameActive();
  world.unlockScreen();
  world.advance(1000 * kMs);
  EXPECT_EQ(take(), Events{kPermissionLost});
  EXPECT_EQ(world.tapCount(), 0);
  h.cancel(kChannel);
  EXPECT_EQ(world.observerCount(), 0) << "no wake observers left behind";
}

}  // namespace
}  // namespace tandrel
