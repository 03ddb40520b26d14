#include "runner/keytap/key_event_tap_handler.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runner/keytap/key_tap_test_fixture.h"
#include "runner/permissions/recording_sink.h"
#include "text/text.h"

namespace tandrel {
namespace {

TEST_F(KeyTap, FailedListenLeavesNothingBehind) {
  install(false);
  world.setTrusted(false);  // listen access alone is not enough outside the sandbox
  EXPECT_EQ(h.listen(kChannel), kNotGranted);
  h.cancel(kChannel);
  world.resignApp();  // reported trusted, yet no tap can be made
  EXPECT_EQ(h.listen(kChannel), kStaleGrant);
  h.cancel(kChannel);
  world.setTrusted(true);
  world.faults().runLoopSourceFails = true;
  EXPECT_EQ(h.listen(kChannel), kTapFailed);
  EXPECT_EQ(world.tapCount(), 0) << "the tap made before the source failed is released";
  EXPECT_EQ(world.observerCount(), 0);
  world.activate(8);
  world.keyDown(kG);
  EXPECT_EQ(take(), Events{}) << "not even appChanged";
  EXPECT_EQ(world.application(8)->manualAccessibilityWrites, 0);

  install(true);  // trust alone is not enough inside the sandbox
  world.setListenAccess(false);
  EXPECT_EQ(h.listen(kChannel), kNotGranted);
  EXPECT_EQ(world.postRequests(), 0);
  world.setListenAccess(true);
  world.faults().runLoopSourceFails = false;
  world.faults().tapCreateFails = true;
  EXPECT_EQ(h.listen(kChannel), kTapFailed) << "no stale grant inside the sandbox";
}

TEST_F(KeyTap, ListeningReportsInputAndApplicationSwitches) {
  listen();
  EXPECT_EQ(world.activeTapCount(), 1);
  EXPECT_EQ(world.observerCount(), 5) << "activation, wake, session, unlock, trust";
  EXPECT_EQ(world.taps().at(0).threadQos, platform::kQosClassUserInteractive)
      << "the tap's thread answers ahead of ordinary work";
  EXPECT_EQ(world.postRequests(), 0) << "asked for only in the sandbox";
  EXPECT_EQ(world.application(7)->manualAccessibilityWrites, 1) << "the front one, silently";

  ASSERT_TRUE(world.typeOnKeys(u"hi"));
  EXPECT_EQ(take(), (Events{keyDown(4, "h"), keyDown(34, "i")}));
  EXPECT_EQ(world.focusedElement()->value, u"hi") << "input passes unchanged";

  world.activate(8);
  world.faults().activationWithoutApplication = true;
  world.activate(7);
  EXPECT_EQ(take(), (Events{kAppChanged, kAppChanged}));
  EXPECT_EQ(world.application(8)->manualAccessibilityWrites, 1);
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

TEST_F(KeyTap, SandboxedListenAsksForPostingEachTimeAndIgnoresTrust) {
  world.setPostAccess(false);
  listen(true);
  EXPECT_EQ(world.observerCount(), 4) << "no trust observer";
  h.cancel(kChannel);
  h.listen(kChannel);
  EXPECT_EQ(world.postRequests(), 2);
  world.setTrusted(false);
  world.advance(1000 * kMs);
  world.pressKey(kG);
  EXPECT_EQ(take(), (Events{keyDown(kG, "g")}));
}

TEST_F(KeyTap, TrustRevokedLosesTheTapOnce) {
  listen();
  world.postDistributedNotification(kNotification);  // still trusted: nothing
  world.advance(1000 * kMs);
  world.setTrusted(false);
  world.advance(100 * kMs);
  world.postDistributedNotification(kNotification);
  world.advance(199 * kMs);
  EXPECT_EQ(take(), Events{});
  world.advance(1000 * kMs);
  EXPECT_EQ(take(), Events{kPermissionLost});
  EXPECT_EQ(world.tapCount(), 0);

  // Only application switches are reported until a new listen.
  world.setTrusted(true);
  world.advance(1000 * kMs);
  world.activate(8);
  world.pressKey(kG);
  EXPECT_EQ(take(), Events{kAppChanged});
  h.cancel(kChannel);
  EXPECT_EQ(world.observerCount(), 0);
  h.listen(kChannel);
  world.pressKey(kG);
  EXPECT_EQ(take(), Events{keyDown(kG, "g")});

  // A re-check scheduled before a cancel finds nothing to do after it.
  world.setTrusted(false);
  world.runPending();
  h.cancel(kChannel);
  world.advance(1000 * kMs);
  EXPECT_EQ(take(), Events{});
}

// Switched off, the tap is switched back on by its own thread (key_stream_timing) only while a
// fresh tap can be made, and no more than kMaxRearms times in a row with no event served between.
// Otherwise the main thread releases it and reports the loss once.
TEST_F(KeyTap, ATapSwitchedOffComesBackOnlyWhileATapCanBeMadeAndIsServed) {
  struct Case {
    const char* name;
    void (*change)(sim::World&);
    int notices;
    bool keyBeforeLast;
    Events expected;
  };
  const auto granted = [](sim::World&) {};
  const int kRearms = KeyEventTapHandler::kMaxRearms;
  const Case cases[] = {
      {"trust gone", [](sim::World& w) { w.setTrusted(false); }, 2, false, Events{kPermissionLost}},
      {"its row deleted", [](sim::World& w) { w.deleteAccessibilityRow(); }, 1, false,
       Events{kPermissionLost}},
      {"switched off once too often", granted, kRearms + 1, false, Events{kPermissionLost}},
      {"served between", granted, kRearms + 1, true, Events{keyDown(kG, "g")}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    world.setTrusted(true);
    listen();
    c.change(world);
    take();
    const auto notice = [&](int i) {
      const auto type =
          i % 2 ? platform::kCGEventTapDisabledByUserInput : platform::kCGEventTapDisabledByTimeout;
      EXPECT_EQ(KeyEventTapHandler::tapCallback(type, nullptr, handler->tapUserInfo()), nullptr);
    };
    for (int i = 0; i + 1 < c.notices; ++i) notice(i);
    if (c.keyBeforeLast) {
      post(event(kG, u"g"));
      world.runPending();
    }
    notice(c.notices - 1);
    EXPECT_EQ(world.tapCount(), 1) << "the main thread decides, once it runs";
    world.advance(1000 * kMs);
    const bool lost = c.expected == Events{kPermissionLost};
    EXPECT_EQ(world.tapCount(), lost ? 0 : 1);
    EXPECT_EQ(world.tapThreadCount(), lost ? 0 : 1);
    EXPECT_EQ(take(), c.expected) << "once";
    h.cancel(kChannel);
  }
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

TEST_F(KeyTap, KeyPressesAndModifierChanges) {
  listen();
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
  const Mods shift{.shift = true}, held{.control = true, .alt = true, .meta = true};
  EXPECT_EQ(take(), (Events{keyDown(kG, "g"), keyDown(kG, "g", true),
                            modifier(kLeftShift, true, shift), keyDown(kA, "A", false, shift),
                            modifier(kRightShift, true, shift), modifier(kLeftShift, true, shift),
                            modifier(kRightShift, false), modifier(59, true, {.control = true}),
                            modifier(58, true, {.control = true, .alt = true}),
                            modifier(55, true, held), modifier(57, true, held)}));
}

// "down" is the key's group flag, which Caps Lock and fn have of their own.
TEST_F(KeyTap, ModifierTableThroughEventMaps) {
  listen();
  const platform::EventFlags masks[] = {0x100000, 0x100000, 0x20000, 0x10000, 0x80000,
                                        0x40000,  0x20000,  0x80000, 0x40000, 0x800000};
  const auto downFor = [&](uint16_t code, platform::EventFlags flags) {
    auto e = event(code, u"");
    world.events().setFlags(e, flags);
    KeyEventTapHandler::tapCallback(platform::kCGEventFlagsChanged, e.get(),
                                    handler->tapUserInfo());
    const Events got = take();
    return got.size() == 1 ? *got[0].get_if<ValueMap>()->find("down") : Value("none");
  };
  for (uint16_t code = 54; code <= 63; ++code) {
    EXPECT_EQ(downFor(code, masks[code - 54]), Value(true)) << code;
    EXPECT_EQ(downFor(code, ~masks[code - 54]), Value(false)) << code;
  }
  for (const int code : {53, 64, 70})
    EXPECT_EQ(downFor(static_cast<uint16_t>(code), ~0ull), Value(false)) << code;
  EXPECT_FALSE(KeyEventTapHandler::isModifierDown((int64_t{1} << 32) + 55, ~0ull));
}

TEST_F(KeyTap, CharactersClicksAndOwnEvents) {
  listen();
  for (const auto units :
       {u"", u"12345678", u"123456789abc", u"\u00e9\u4e2d\U0001F602", u"1234567\U0001F602"}) {
    post(event(kG, units));
  }
  const Events got = take();
  ASSERT_EQ(got.size(), 5u);
  const auto chars = [&](size_t i) {
    return *got[i].get_if<ValueMap>()->find("chars")->get_if<std::string>();
  };
  EXPECT_EQ(got[0], keyDown(kG, "")) << "reported even without characters";
  EXPECT_EQ(chars(1), "12345678");
  EXPECT_EQ(chars(2), "12345678") << "at most eight units";
  EXPECT_EQ(chars(3), "\u00e9\u4e2d\U0001F602");
  EXPECT_TRUE(chars(4).starts_with("1234567") && text::isValidUtf8(chars(4))) << chars(4);

  world.click(platform::kCGEventLeftMouseDown);
  world.click(platform::kCGEventRightMouseDown);
  world.keyDown(kLeftShift);
  world.click(platform::kCGEventOtherMouseDown);
  EXPECT_EQ(take(), (Events{kClick, kClick, modifier(kLeftShift, true, {.shift = true}), kClick}));

  // The host's own source, or any other with the same user data: dropped, whatever the kind.
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
