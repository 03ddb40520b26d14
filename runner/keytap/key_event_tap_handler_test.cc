#include "runner/keytap/key_event_tap_handler.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runner/keytap/key_tap_test_fixture.h"
#include "runner/permissions/recording_sink.h"

namespace tandrel {
namespace {

// What a listen answers in each mode and state of the permission, what it sets up, and that a
// refused one leaves nothing behind: no tap, no observer, no application switched, no event.
TEST(KeyTapListen, AnswersAndSetsUpAsThePermissionAllows) {
  struct Row {
    const char* name;
    bool sandboxed;
    void (*change)(sim::World&);
    MethodReply reply;
    int observers = 0;  // activation, wake, session, unlock, and trust outside the sandbox
    int postRequests = 0;
  };
  const Row rows[] = {
      {"trusted", false, [](sim::World&) {}, MethodReply::Success(), 5},
      {"sandboxed: listen access without trust, and posting asked for", true,
       [](sim::World& w) {
         w.setTrusted(false);
         w.setPostAccess(false);
       },
       MethodReply::Success(), 4, 1},
      {"listen access alone is not enough outside the sandbox", false,
       [](sim::World& w) { w.setTrusted(false); }, kNotGranted},
      {"trust alone is not enough inside it", true, [](sim::World& w) { w.setListenAccess(false); },
       kNotGranted},
      {"reported trusted, yet no tap can be made", false, [](sim::World& w) { w.resignApp(); },
       kStaleGrant},
      {"no stale grant inside the sandbox", true,
       [](sim::World& w) { w.faults().tapCreateFails = true; }, kTapFailed},
      {"the tap made before the source failed is released", false,
       [](sim::World& w) { w.faults().runLoopSourceFails = true; }, kTapFailed},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    KeyTapWorld t;
    row.change(t.world);
    t.install(row.sandboxed);
    EXPECT_EQ(t.h.listen(kChannel), row.reply);
    const bool on = row.reply.isSuccess();
    EXPECT_EQ(t.world.tapCount(), on ? 1 : 0);
    EXPECT_EQ(t.world.observerCount(), row.observers);
    EXPECT_EQ(t.world.postRequests(), row.postRequests);
    const int writes = on && !row.sandboxed;  // accessibility needs trust
    EXPECT_EQ(t.world.application(7)->manualAccessibilityWrites, writes) << "the front one";
    t.world.activate(8);
    t.world.keyDown(kG);
    EXPECT_EQ(t.take(), (on ? Events{kAppChanged, keyDown(kG, "g")} : Events{}));
    EXPECT_EQ(t.world.focusedElement()->value, u"g") << "input passes unchanged";
    EXPECT_EQ(t.world.application(8)->manualAccessibilityWrites, writes);
    if (!on) continue;
    EXPECT_EQ(t.world.taps().at(0).threadQos, platform::kQosClassUserInteractive)
        << "the tap's thread answers ahead of ordinary work";
    t.h.cancel(kChannel);
    EXPECT_EQ(t.world.observerCount(), 0);
    t.h.listen(kChannel);
    EXPECT_EQ(t.world.postRequests(), 2 * row.postRequests) << "asked for at each listen";
  }
}

TEST_F(KeyTap, EverySwitchIsReportedAndTheHostsOwnWindowIsNeverAsked) {
  listen();
  world.activate(8);
  world.faults().activationWithoutApplication = true;
  world.activate(7);
  EXPECT_EQ(take(), (Events{kAppChanged, kAppChanged}));
  EXPECT_EQ(world.application(7)->manualAccessibilityWrites, 1);

  // The host's own window comes to the front: it is never asked, as that would wait for the
  // host's own main thread.
  world.faults().activationWithoutApplication = false;
  world.setHostPid(8);
  const sim::Micros now = world.now();
  world.activate(8);
  EXPECT_EQ(take(), (Events{kAppChanged}));
  EXPECT_EQ(world.application(8)->manualAccessibilityWrites, 1);
  EXPECT_EQ(world.now(), now);
}

TEST_F(KeyTap, DirectListenCancelAndOutlivedCallbacks) {
  auto direct = KeyEventTapHandler::create(world, false);
  EXPECT_EQ(direct->onCancel(Value()), std::nullopt) << "cancel before any listen";
  Events first, second;
  ASSERT_EQ(direct->onListen(Value(), tandrel_test::recordInto(first)), std::nullopt);
  ASSERT_EQ(direct->onListen(Value(), tandrel_test::recordInto(second)), std::nullopt);
  EXPECT_EQ(world.tapCount(), 1) << "the earlier tap must be gone";
  EXPECT_EQ(world.tapThreadCount(), 1);
  EXPECT_EQ(world.observerCount(), 5);
  world.pressKey(kG);
  world.runPending();
  EXPECT_EQ(first, Events{});
  EXPECT_EQ(second, Events{keyDown(kG, "g")});

  // Destroyed while trust re-checks, an activation and a key press are still on their way.
  world.setTrusted(false);
  world.runPending();
  world.activate(8);
  world.keyDown(kG);
  direct.reset();
  EXPECT_EQ(world.tapCount(), 0);
  EXPECT_EQ(world.observerCount(), 0);
  world.advance(1000 * kMs);
  EXPECT_EQ(second, Events{keyDown(kG, "g")});
}

// Each key press, modifier change and click becomes its event: the characters as typed, at most
// eight UTF-16 units and never half a character, and the four flags as held.
TEST_F(KeyTap, EachInputBecomesItsEvent) {
  listen();
  for (const auto units :
       {u"", u"12345678", u"123456789abc", u"\u00e9\u4e2d\U0001F602", u"1234567\U0001F602"}) {
    post(event(kG, units));
  }
  world.keyDown(kG);
  world.keyDown(kG, true);
  world.keyUp(kG);
  world.keyDown(kLeftShift);
  world.pressKey(kA);
  world.keyDown(kRightShift);
  world.keyUp(kLeftShift);  // the Shift group is still held
  world.keyUp(kRightShift);
  world.keyDown(59);  // Control, Option, Command
  world.keyDown(58);
  world.keyDown(55);
  world.pressKey(57);  // Caps Lock shows in none of the four flags
  for (const auto type : {platform::kCGEventLeftMouseDown, platform::kCGEventRightMouseDown,
                          platform::kCGEventOtherMouseDown}) {
    world.click(type);
  }
  const Mods shift{.shift = true}, held{.control = true, .alt = true, .meta = true};
  EXPECT_EQ(take(),
            (Events{keyDown(kG, ""), keyDown(kG, "12345678"), keyDown(kG, "12345678"),
                    keyDown(kG, "\u00e9\u4e2d\U0001F602"), keyDown(kG, "1234567\uFFFD"),
                    keyDown(kG, "g"), keyDown(kG, "g", true), modifier(kLeftShift, true, shift),
                    keyDown(kA, "A", false, shift), modifier(kRightShift, true, shift),
                    modifier(kLeftShift, true, shift), modifier(kRightShift, false),
                    modifier(59, true, {.control = true}),
                    modifier(58, true, {.control = true, .alt = true}), modifier(55, true, held),
                    modifier(57, true, held), kClick, kClick, kClick}));
}

// "down" is the flag of the key's group, which Caps Lock and fn have of their own.
TEST(KeyTapModifiers, DownIsTheFlagOfTheKeysGroup) {
  const platform::EventFlags masks[] = {0x100000, 0x100000, 0x20000, 0x10000, 0x80000,
                                        0x40000,  0x20000,  0x80000, 0x40000, 0x800000};
  for (int64_t code = 54; code <= 63; ++code) {
    EXPECT_TRUE(KeyEventTapHandler::isModifierDown(code, masks[code - 54])) << code;
    EXPECT_FALSE(KeyEventTapHandler::isModifierDown(code, ~masks[code - 54])) << code;
  }
  for (const int64_t code : {int64_t{53}, int64_t{64}, int64_t{70}, (int64_t{1} << 32) + 55}) {
    EXPECT_FALSE(KeyEventTapHandler::isModifierDown(code, ~0ull)) << code;
  }
}

// The host's own source, or any other with the same user data: dropped from the stream only,
// whatever the kind.
TEST_F(KeyTap, TheHostsOwnEventsAreNotReported) {
  listen();
  auto own = world.events().createSource(platform::kCGEventSourceStateHIDSystemState);
  world.events().sourceSetUserData(own, 0x5444524C);
  post(event(kG, u"x", own));
  auto marked = event(kG, u"x", own);
  for (const auto type : {platform::kCGEventLeftMouseDown, platform::kCGEventFlagsChanged}) {
    EXPECT_EQ(KeyEventTapHandler::tapCallback(type, marked.get(), handler->tapUserInfo()),
              marked.get());
  }
  EXPECT_EQ(take(), Events{});
  EXPECT_TRUE(world.focusedElement()->value->ends_with(u"x")) << "dropped from the stream only";
  world.events().sourceSetUserData(own, 0x5444524D);
  post(event(kG, u"w", own));
  EXPECT_EQ(take(), Events{keyDown(kG, "w")});
}

}  // namespace
}  // namespace tandrel
