#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/keyboard_layouts.h"
#include "sim/recording_tap.h"
#include "sim/world.h"

namespace sim {
namespace {

constexpr uint64_t kKeysAndClicks = platform::eventMaskBit(platform::kCGEventKeyDown) |
                                    platform::eventMaskBit(platform::kCGEventFlagsChanged) |
                                    platform::eventMaskBit(platform::kCGEventLeftMouseDown);

class SimEventsTest : public ::testing::Test {
 protected:
  SimEventsTest() {
    world.setTrusted(true);
    addFocusedApp(world, 5);
  }

  RecordingTap install(Recorder& r,
                       platform::TapOptions options = platform::kCGEventTapOptionDefault,
                       uint64_t mask = kKeysAndClicks) {
    return installRecordingTap(ev, r, options, mask);
  }
  ElementState& field() { return *world.focusedElement(); }
  void press(char16_t usLabel) { world.pressKey(keys::keyFor("us", usLabel)->first); }

  World world;
  platform::Events& ev = world.events();
};

// ---- Taps ---------------------------------------------------------------------------------

TEST_F(SimEventsTest, ATapDeliversOnlyWhileEnabledOnTheLoopAndPermitted) {
  Recorder r;
  r.events = &ev;
  world.faults().tapCreateFails = true;
  EXPECT_EQ(ev.tapCreate(0, 0, 0, kKeysAndClicks, record, &r), nullptr);
  world.faults().tapCreateFails = false;
  platform::MachPort port =
      ev.tapCreate(platform::kCGSessionEventTap, 0, 0, kKeysAndClicks, record, &r);
  ASSERT_NE(port, nullptr);
  platform::RunLoopSource source = ev.createRunLoopSource(port);
  press('a');
  world.runPending();
  EXPECT_TRUE(r.seen.empty()) << "not on the run loop yet";

  ev.addSource(ev.mainRunLoop(), source);
  ev.addSource(ev.mainRunLoop(), source);  // adding twice changes nothing
  EXPECT_EQ(world.activeTapCount(), 1);
  press('a');
  world.click(platform::kCGEventLeftMouseDown);   // the up is not in the mask
  world.click(platform::kCGEventRightMouseDown);  // neither is this
  world.runPending();
  ASSERT_EQ(r.seen.size(), 2u);
  EXPECT_EQ(r.seen[0].type, platform::kCGEventKeyDown);
  EXPECT_EQ(r.seen[1].type, platform::kCGEventLeftMouseDown);

  ev.tapEnable(port, false);
  press('a');
  world.runPending();
  EXPECT_EQ(r.seen.size(), 2u);
  ev.tapEnable(port, true);
  press('a');
  world.runPending();
  EXPECT_EQ(r.seen.size(), 3u);

  ev.removeSource(ev.mainRunLoop(), source);
  press('a');
  world.runPending();
  EXPECT_EQ(r.seen.size(), 3u);

  // Releasing the port removes the tap; its source, even back on the loop, delivers nothing.
  ev.addSource(ev.mainRunLoop(), source);
  EXPECT_EQ(world.tapCount(), 1);
  port.reset();
  EXPECT_EQ(world.tapCount(), 0);
  EXPECT_EQ(world.activeTapCount(), 0);
  press('a');
  world.runPending();
  EXPECT_EQ(r.seen.size(), 3u);
  EXPECT_EQ(field().value, u"aaaaaa") << "the application got every key regardless";
}

// Secure keyboard entry hides key presses, the user's and synthetic ones, from every tap, active
// or listening; modifier changes and clicks still arrive, and the application still gets the keys.
TEST_F(SimEventsTest, SecureInputHidesKeysFromTapsButNotFromTheField) {
  constexpr uint64_t kMask = kKeysAndClicks | platform::eventMaskBit(platform::kCGEventKeyUp);
  Recorder active, listener;
  const RecordingTap a = install(active, platform::kCGEventTapOptionDefault, kMask);
  const RecordingTap l = install(listener, platform::kCGEventTapOptionListenOnly, kMask);
  EXPECT_FALSE(ev.isSecureEventInputEnabled());
  world.setSecureInput(true);
  EXPECT_TRUE(ev.isSecureEventInputEnabled());
  press('a');
  world.keyDown(keys::kShift);
  world.keyUp(keys::kShift);
  world.click(platform::kCGEventLeftMouseDown);
  const platform::Event posted =
      ev.createKeyboardEvent(nullptr, keys::keyFor("us", 'b')->first, true);
  ev.post(platform::kCGHIDEventTap, posted);
  world.runPending();
  for (const Recorder* r : {&active, &listener}) {
    ASSERT_EQ(r->seen.size(), 3u);
    EXPECT_EQ(r->seen[0].type, platform::kCGEventFlagsChanged);
    EXPECT_EQ(r->seen[1].type, platform::kCGEventFlagsChanged);
    EXPECT_EQ(r->seen[2].type, platform::kCGEventLeftMouseDown);
  }
  EXPECT_EQ(field().value, u"ab");

  world.setSecureInput(false);
  press('c');
  world.runPending();
  EXPECT_EQ(active.seen.size(), 5u);
  EXPECT_EQ(listener.seen.size(), 5u);
  EXPECT_EQ(field().value, u"abc");
}

TEST_F(SimEventsTest, ActiveTapsCanSwallowEventsListenOnlyTapsCannot) {
  Recorder listener, first, second;
  listener.drop = true;  // ignored: a listen-only tap cannot drop
  const auto a = install(listener, platform::kCGEventTapOptionListenOnly);
  const auto b = install(first);
  const auto c = install(second);
  press('x');
  world.runPending();
  EXPECT_EQ(field().value, u"x");
  EXPECT_EQ(second.seen.size(), 1u);

  first.drop = true;
  press('y');
  world.runPending();
  EXPECT_EQ(field().value, u"x") << "a dropped key never reaches the application";
  EXPECT_EQ(listener.seen.size(), 2u);
  EXPECT_EQ(first.seen.size(), 2u);
  EXPECT_EQ(second.seen.size(), 1u) << "nor any later tap";
}

// The system switching taps off (by timeout or by user input) disables the enabled ones and tells
// each of them why, once.
TEST_F(SimEventsTest, ASwitchOffDisablesEnabledTapsAndTellsEachWhyOnce) {
  const std::pair<void (World::*)(), platform::EventType> cases[] = {
      {&World::disableTapsByTimeout, platform::kCGEventTapDisabledByTimeout},
      {&World::disableTapsByUserInput, platform::kCGEventTapDisabledByUserInput},
  };
  for (const auto& [switchOff, notice] : cases) {
    Recorder r, off;
    const auto tap = install(r);
    const auto disabled = install(off);
    ev.tapEnable(disabled.port, false);
    (world.*switchOff)();
    EXPECT_EQ(world.activeTapCount(), 0);
    press('a');
    world.runPending();
    ASSERT_EQ(r.seen.size(), 1u);
    EXPECT_EQ(r.seen[0].type, notice);
    EXPECT_TRUE(off.seen.empty());

    ev.tapEnable(tap.port, true);
    press('b');
    world.runPending();
    ASSERT_EQ(r.seen.size(), 2u);
    EXPECT_EQ(r.seen[1].chars, u"b");
  }
}

// ---- The user's keyboard ------------------------------------------------------------------

TEST_F(SimEventsTest, KeyEventsCarryRepeatAndCharactersModifierEventsTheFlagsAfterTheChange) {
  Recorder r;
  const auto tap = install(r);
  world.keyDown(keys::kRightShift);
  world.keyDown(keys::kCommand);
  world.keyDown(keys::kV, true);
  world.keyUp(keys::kCommand);
  world.keyDown(keys::kShift);
  world.keyUp(keys::kShift);  // right Shift still holds the group's flag
  world.keyUp(keys::kRightShift);
  world.pressKey(keys::kCapsLock);
  world.keyDown(keys::kFunction);
  world.runPending();
  using platform::kCGEventFlagMaskCommand;
  using platform::kCGEventFlagMaskShift;
  ASSERT_EQ(r.seen.size(), 9u);
  EXPECT_EQ(r.seen[1].flags, kCGEventFlagMaskShift | kCGEventFlagMaskCommand);
  EXPECT_EQ(r.seen[2].type, platform::kCGEventKeyDown);
  EXPECT_EQ(r.seen[2].keycode, keys::kV);
  EXPECT_EQ(r.seen[2].repeat, 1);
  EXPECT_EQ(r.seen[2].chars, u"V") << "Command still reports the layout's characters";
  EXPECT_EQ(r.seen[5].keycode, keys::kShift);
  EXPECT_EQ(r.seen[5].flags, kCGEventFlagMaskShift);
  EXPECT_EQ(r.seen[6].flags, 0u);
  EXPECT_EQ(r.seen[7].keycode, keys::kCapsLock);
  EXPECT_EQ(r.seen[7].flags, platform::kCGEventFlagMaskAlphaShift);
  EXPECT_EQ(r.seen[8].flags,
            platform::kCGEventFlagMaskAlphaShift | platform::kCGEventFlagMaskSecondaryFn);
}

// Foreign events: another process's marker and characters of its own choosing.
TEST_F(SimEventsTest, KeyEventsCarryTheUserDataAndCharactersGiven) {
  Recorder r;
  const auto tap = install(r);
  world.keyDown(5, false, {.userData = 77, .chars = {}});
  world.keyDown(5, false, {.userData = {}, .chars = u"ǵ!"});
  world.keyDown(5, false, {.userData = {}, .chars = std::u16string(25, u'x')});  // 20 are kept
  world.flagsChanged(63, platform::kCGEventFlagMaskSecondaryFn);
  world.flagsChanged(120, 0, {.userData = 9, .chars = {}});
  world.runPending();
  ASSERT_EQ(r.seen.size(), 5u);
  EXPECT_EQ(r.seen[0].userData, 77);
  EXPECT_EQ(r.seen[0].chars, u"g") << "the layout's characters when none are given";
  EXPECT_EQ(r.seen[1].chars, u"ǵ!");
  EXPECT_EQ(r.seen[1].userData, 0);
  EXPECT_EQ(r.seen[2].chars, std::u16string(20, u'x'));
  EXPECT_EQ(r.seen[3].type, platform::kCGEventFlagsChanged);
  EXPECT_EQ(r.seen[3].keycode, 63);
  EXPECT_EQ(r.seen[3].flags, platform::kCGEventFlagMaskSecondaryFn);
  EXPECT_EQ(r.seen[4].keycode, 120);
  EXPECT_EQ(r.seen[4].userData, 9);
  EXPECT_EQ(world.heldFlags(), 0u) << "a bare flagsChanged holds no modifier";
  EXPECT_EQ(field().value, u"gǵ!" + std::u16string(20, u'x'));
}

// ---- Synthetic events ---------------------------------------------------------------------

TEST_F(SimEventsTest, PostedChunksKeepTwentyUnitsCarryTheMarkerAndTypeAtTheCaret) {
  Recorder r;
  const auto tap = install(r);
  platform::EventSource source = ev.createSource(platform::kCGEventSourceStateHIDSystemState);
  ev.sourceSetUserData(source, 0x5444524C);
  field().value = u"<>";
  field().selection = platform::AXRange{1, 0};
  const std::u16string text = u"0123456789abcdefghijKLMNO";  // 25 units
  for (size_t start = 0; start < text.size(); start += 20) {
    for (const bool down : {true, false}) {
      platform::Event e = ev.createKeyboardEvent(start ? nullptr : source, keys::kA, down);
      ev.keyboardSetUnicodeString(e, text.size() - start, text.data() + start);
      ev.post(platform::kCGHIDEventTap, e);
      ev.setFlags(e, platform::kCGEventFlagMaskCommand);  // too late: the posted copy is taken
    }
  }
  const auto posted = world.takePosted();
  ASSERT_EQ(posted.size(), 4u);
  EXPECT_EQ(posted[0].unicode, text.substr(0, 20));
  EXPECT_EQ(posted[0].userData, 0x5444524C);
  EXPECT_EQ(posted[1].type, platform::kCGEventKeyUp);
  EXPECT_EQ(posted[2].unicode, u"KLMNO");
  EXPECT_EQ(posted[2].userData, 0);
  EXPECT_FALSE(posted[2].hadSource);
  world.runPending();
  ASSERT_EQ(r.seen.size(), 2u);
  EXPECT_EQ(r.seen[0].userData, 0x5444524C);
  EXPECT_EQ(r.seen[0].flags, 0u);
  EXPECT_EQ(field().value, u"<0123456789abcdefghijKLMNO>");
  EXPECT_EQ(field().selection, (platform::AXRange{26, 0}));

  // Without a string the carrier types its own key, under the current layout.
  world.selectInputSourceById("com.apple.keylayout.Russian");
  ev.post(platform::kCGHIDEventTap, ev.createKeyboardEvent(nullptr, keys::kA, true));
  world.runPending();
  EXPECT_EQ(field().value, u"<0123456789abcdefghijKLMNOф>");
}

TEST_F(SimEventsTest, KeyboardEventFailuresCountEveryCall) {
  world.faults().keyboardEventFailures = {1, 3};
  std::vector<bool> made;
  for (int i = 0; i < 5; ++i) made.push_back(ev.createKeyboardEvent(nullptr, 0, true) != nullptr);
  EXPECT_EQ(made, (std::vector<bool>{true, false, true, false, true}));
}

// ---- What the focused field does with keys ------------------------------------------------

TEST_F(SimEventsTest, BackspaceDeletesTheSelectionOrOneCharacter) {
  field().value = u"a\U0001F600b";  // a, a surrogate pair, b
  field().selection = platform::AXRange{3, 0};
  world.pressKey(keys::kDelete);
  world.runPending();
  EXPECT_EQ(field().value, u"ab") << "the whole pair goes";
  EXPECT_EQ(field().selection, (platform::AXRange{1, 0}));

  field().value = u"hello";
  field().selection = platform::AXRange{1, 3};
  world.pressKey(keys::kDelete);
  world.pressKey(keys::kDelete);
  world.pressKey(keys::kDelete);
  world.runPending();
  EXPECT_EQ(field().value, u"o");
  EXPECT_EQ(field().selection, (platform::AXRange{0, 0}));
}

TEST_F(SimEventsTest, CommandShortcutsUseThePasteboardAndModifiedKeysTypeNothing) {
  field().value = u"hello world";
  field().selection = platform::AXRange{6, 5};
  world.keyDown(keys::kCommand);
  world.pressKey(keys::kC);
  world.pressKey(keys::kA);  // no Select All here: nothing happens
  world.keyUp(keys::kCommand);
  world.runPending();
  EXPECT_EQ(world.pasteboard().stringForType(platform::kPasteboardTypeString), "world");
  const int64_t count = world.pasteboardChangeCount();

  field().selection = platform::AXRange{0, 5};
  world.keyDown(keys::kControl);
  press('x');
  world.keyUp(keys::kControl);
  world.keyDown(keys::kRightCommand);
  world.pressKey(keys::kV);
  world.keyUp(keys::kRightCommand);
  world.pressKey(keys::kReturn);
  world.pressKey(keys::kEscape);
  world.runPending();
  EXPECT_EQ(field().value, u"world\n world");

  // A password field takes typing but gives nothing away.
  field().subrole = u"AXSecureTextField";
  field().selection = platform::AXRange{0, 5};
  world.keyDown(keys::kCommand);
  world.pressKey(keys::kC);
  world.keyUp(keys::kCommand);
  press('p');
  world.runPending();
  EXPECT_EQ(field().value, u"p\n world");
  EXPECT_EQ(world.pasteboardChangeCount(), count);
}

}  // namespace
}  // namespace sim
