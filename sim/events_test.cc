// The event system: what taps hear, what keys do to the focused field, the key tables, and the
// window server's timing against a busy main thread.

#include "sim/events.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "sim/keyboard_layouts.h"
#include "sim/sim_test.h"
#include "sim/world.h"
#include "testing/channel_harness.h"

namespace sim {
namespace {

using platform::EventObject;
using platform::EventType;

constexpr Micros kMs = 1000;
constexpr uint64_t kKeysAndClicks = platform::eventMaskBit(platform::kCGEventKeyDown) |
                                    platform::eventMaskBit(platform::kCGEventFlagsChanged) |
                                    platform::eventMaskBit(platform::kCGEventLeftMouseDown);

// A trusted world whose front application's empty field has focus; Dvorak is installed too.
struct KeyWorld {
  KeyWorld() {
    world.setTrusted(true);
    addFocusedApp(world, 5);
    InputSourceState dvorak;
    dvorak.id = "com.apple.keylayout.Dvorak";
    dvorak.layout = "dvorak";
    world.inputSourceList().push_back(dvorak);
  }
  ElementState& field() { return *world.focusedElement(); }
  void press(char16_t usLabel) { world.pressKey(keys::keyFor("us", usLabel)->first); }
  // Posts a key-down carrying `text` (at most 20 units are kept).
  void post(std::u16string_view text, const platform::EventSource& source = nullptr) {
    platform::Event e = ev.createKeyboardEvent(source, keys::kA, true);
    ev.keyboardSetUnicodeString(e, text.size(), text.data());
    ev.post(platform::kCGHIDEventTap, e);
    ev.setFlags(e, platform::kCGEventFlagMaskCommand);  // too late: the posted copy is taken
  }

  World world;
  platform::Events& ev = world.events();
};

class SimEventsTest : public ::testing::Test, protected KeyWorld {};

// An active tap and then a listen-only one on the main run loop, both for key-downs, modifier
// changes and left clicks: what each heard since the last look, and what reached the field.
TEST_F(SimEventsTest, TapsHearWhatReachesThemWhileEnabledOnTheLoop) {
  Recorder active, listener;
  RecordingTap a =
      installRecordingTap(ev, active, platform::kCGEventTapOptionDefault, kKeysAndClicks);
  const RecordingTap l =
      installRecordingTap(ev, listener, platform::kCGEventTapOptionListenOnly, kKeysAndClicks);
  const auto since = [&](bool listenerToo = true) {
    world.runPending();
    const std::string out = heard(active) + (listenerToo ? " | " + heard(listener) : "");
    active.seen.clear();
    listener.seen.clear();
    return out;
  };
  const platform::RunLoop main = ev.mainRunLoop();
  press('a');
  world.click(platform::kCGEventLeftMouseDown);  // the up is not in the mask
  world.click(platform::kCGEventRightMouseDown);
  EXPECT_EQ(since(), "down a, click | down a, click");
  listener.drop = true;  // a listen-only tap cannot swallow
  press('b');
  EXPECT_EQ(since(), "down b | down b");
  active.drop = true;
  press('c');
  EXPECT_EQ(since(), "down c | ");
  active.drop = false;
  ev.tapEnable(a.port, false);
  EXPECT_EQ(world.activeTapCount(), 1);
  press('d');
  EXPECT_EQ(since(), " | down d");
  ev.tapEnable(a.port, true);
  ev.addSource(main, a.source);  // twice changes nothing
  ev.removeSource(main, a.source);
  press('e');
  EXPECT_EQ(since(), " | down e");
  ev.addSource(main, a.source);

  // Secure keyboard entry hides key presses and releases, the user's and synthetic ones, from
  // every tap: a tap for releases hears only its switching off below.
  Recorder releases;
  const RecordingTap r = installRecordingTap(ev, releases, platform::kCGEventTapOptionListenOnly,
                                             platform::eventMaskBit(platform::kCGEventKeyUp));
  world.setSecureInput(true);
  press('f');
  world.keyDown(keys::kShift);
  world.keyUp(keys::kShift);
  world.click(platform::kCGEventLeftMouseDown);
  post(u"g");
  EXPECT_EQ(since(), "flags 56 shift, flags 56, click | flags 56 shift, flags 56, click");
  world.setSecureInput(false);

  // Group flags stay while either key of the group is held; Caps Lock's release says nothing.
  world.keyDown(keys::kRightShift);
  world.keyDown(keys::kCommand);
  world.keyDown(keys::kV, true);
  world.keyUp(keys::kCommand);
  world.keyDown(keys::kShift);
  world.keyUp(keys::kShift);
  world.keyUp(keys::kRightShift);
  world.pressKey(keys::kCapsLock);
  world.keyDown(keys::kFunction);
  world.keyUp(keys::kFunction);
  world.pressKey(keys::kCapsLock);
  EXPECT_EQ(
      since(false),
      "flags 60 shift, flags 55 shift cmd, down V shift cmd repeat, flags 55 shift, flags 56 "
      "shift, flags 56 shift, flags 60, flags 57 caps, flags 63 caps fn, flags 63 caps, flags 57");

  // Another program's events: its marker and characters (20 units kept); a bare flagsChanged
  // holds no modifier. A posted event carries its source's marker, and its flags when posted.
  world.keyDown(5, false, {.userData = 77, .chars = {}});
  world.keyDown(5, false, {.userData = {}, .chars = std::u16string(25, u'x')});
  world.flagsChanged(56, platform::kCGEventFlagMaskSecondaryFn, {.userData = 9, .chars = {}});
  const platform::EventSource source = ev.createSource(platform::kCGEventSourceStateHIDSystemState);
  ev.sourceSetUserData(source, 0x5444524C);
  post(u"p", source);
  post(u"ǵ");
  EXPECT_EQ(
      since(false),
      "down g data 77, down xxxxxxxxxxxxxxxxxxxx, flags 56 fn data 9, down p data 1413763660, "
      "down ǵ");
  EXPECT_EQ(field().value, u"abdefggxxxxxxxxxxxxxxxxxxxxpǵ");

  // Each enabled tap hears why the system switched it off, once.
  ev.tapEnable(a.port, false);
  world.disableTapsByTimeout();
  press('h');
  EXPECT_EQ(since(), " | off by timeout");
  EXPECT_EQ(heard(releases), "off by timeout");
  ev.tapEnable(a.port, true);
  ev.tapEnable(l.port, true);
  world.disableTapsByUserInput();
  EXPECT_EQ(since(), "off by user input | off by user input");
  ev.tapEnable(l.port, true);
  a.port.reset();  // released
  press('i');
  EXPECT_EQ(since(), " | down i");
}

// What the focused field "before" becomes under the keys, in the layout selected, and what the
// pasteboard holds afterwards (it starts with "world").
TEST_F(SimEventsTest, KeysEditTheFocusedFieldAsItsApplicationDoes) {
  struct Row {
    const char* what;
    const char* layout;
    std::u16string before;
    std::function<void(KeyWorld&)> act;
    std::u16string after;
    std::optional<std::string> pasteboard = "world";
  };
  const auto command = [](KeyWorld& t, uint16_t key, uint16_t modifier = keys::kCommand) {
    t.world.keyDown(modifier);
    t.world.pressKey(key);
    t.world.keyUp(modifier);
  };
  const auto type = [](const char* layout, std::u16string_view text) {
    return [=](KeyWorld& t) {
      for (const char16_t ch : text) t.world.pressKey(keys::keyFor(layout, ch)->first);
    };
  };
  const Row rows[] = {
      {"a whole pair", "US", u"a\U0001F600|b", type("us", u"\x7f"), u"a|b"},
      {"the selection, then a character", "US", u"h[ell]o", type("us", u"\x7f\x7f"), u"|o"},
      {"copy", "US", u"hello [big]",
       [&](KeyWorld& t) {
         command(t, keys::kC);
         command(t, keys::kA);  // no Select All here: nothing happens
       },
       u"hello [big]", "big"},
      {"nothing to copy", "US", u"hello|", [&](KeyWorld& t) { command(t, keys::kC); }, u"hello|"},
      {"paste, Return; Control and Escape type nothing", "US", u"[hello] world",
       [&](KeyWorld& t) {
         command(t, keys::keyFor("us", u'x')->first, keys::kControl);
         command(t, keys::kV, keys::kRightCommand);
         t.world.pressKey(keys::kReturn);
         t.world.pressKey(keys::kEscape);
       },
       u"world\n| world"},
      // A password field takes typing but gives nothing away.
      {"password", "US", u"[secret]",
       [&](KeyWorld& t) {
         t.field().subrole = u"AXSecureTextField";
         command(t, keys::kC);
         t.press('p');
       },
       u"p|"},
      // Posted chunks type at the caret; without a string a key types its own character.
      {"posted", "Russian", u"<|>",
       [](KeyWorld& t) {
         t.post(u"0123456789abcdefghijKLMNO");
         t.post(u"KLMNO");
         t.ev.post(platform::kCGHIDEventTap, t.ev.createKeyboardEvent(nullptr, keys::kA, true));
       },
       u"<0123456789abcdefghijKLMNOф|>"},
      {"the same keys", "Russian", u"", type("us", u"ghbdtn"), u"привет"},
      {"Russian", "US", u"", type("ru", u"руддщ"), u"hello"},
      {"Shift and punctuation", "Russian", u"",
       [](KeyWorld& t) { t.world.typeOnKeys(u"Ёж, №1!\"?"); }, u"Ёж, №1!\"?"},
      // Caps Lock capitalises letters only (ж is one), and Shift does not undo it.
      {"Caps Lock", "Russian", u"",
       [&](KeyWorld& t) {
         t.world.pressKey(keys::kCapsLock);
         type("us", u"g1;")(t);
         t.world.keyDown(keys::kShift);
         type("us", u"g")(t);
         t.world.keyUp(keys::kShift);
         t.world.pressKey(keys::kCapsLock);
         type("us", u"g")(t);
       },
       u"П1ЖПп"},
      // Shortcuts go by the character the key types: the key labelled C types "j" on Dvorak.
      {"Dvorak", "Dvorak", u"[text]", [&](KeyWorld& t) { command(t, keys::kC); }, u"[text]"},
      {"Dvorak's C", "Dvorak", u"[text]",
       [&](KeyWorld& t) { command(t, keys::keyFor("dvorak", u'c')->first); }, u"[text]", "text"},
      // A non-Latin layout's shortcuts fall back to the US characters.
      {"Russian's C", "Russian", u"[text]", [&](KeyWorld& t) { command(t, keys::kC); }, u"[text]",
       "text"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    KeyWorld t;
    t.world.selectInputSourceById(std::string("com.apple.keylayout.") + row.layout);
    setMarked(t.field(), row.before);
    (void)t.world.pasteboard().setStringForType("world", platform::kPasteboardTypeString);
    row.act(t);
    t.world.runPending();
    EXPECT_EQ(marked(t.field()), row.after);
    EXPECT_EQ(t.world.pasteboard().stringForType(platform::kPasteboardTypeString), row.pasteboard);
  }
}

// Without the grant nobody services an active tap: it holds each event until the tap timeout
// switches it off, or until it is switched off.
TEST_F(SimEventsTest, WithoutTheGrantAnActiveTapHoldsEachEventUntilSwitchedOff) {
  Recorder active;
  const RecordingTap tap =
      installRecordingTap(ev, active, platform::kCGEventTapOptionDefault, kKeysAndClicks);
  world.setTrusted(false);
  press('a');
  world.advance(999'999);
  EXPECT_EQ(field().value, u"");
  world.advance(1);
  EXPECT_EQ(field().value, u"a");
  ev.tapEnable(tap.port, true);
  press('b');
  world.advance(500'000);
  ev.tapEnable(tap.port, false);
  world.runPending();
  EXPECT_EQ(field().value, u"ab") << "let go at once when switched off";
  EXPECT_EQ(heard(active), "off by timeout");
}

// Each character is typed by one key; each layout has its alphabet's letters, each with its
// capital.
TEST(SimKeyTables, EveryCharacterIsTypedByExactlyOneKeyAndTranslatesAsTyped) {
  for (const auto& [layout, letters, a] :
       {std::tuple{"us", 26, u'a'}, {"ru", 33, u'а'}, {"dvorak", 26, u'a'}}) {
    std::set<char16_t> seen;
    int capitals = 0;
    for (const keys::KeyCharacters& key : keys::layoutTable(layout)) {
      ASSERT_EQ(key.plain.size(), 1u);
      ASSERT_EQ(key.shifted.size(), 1u);
      EXPECT_TRUE(seen.insert(key.plain[0]).second) << layout << " key " << key.keycode;
      EXPECT_EQ(keys::keyFor(layout, key.plain[0]), (std::pair{key.keycode, false}));
      capitals += key.letter && key.plain != key.shifted;
      EXPECT_TRUE(!key.letter || key.plain[0] >= a) << layout << " key " << key.keycode;
      // Keys such as Space type the same with Shift.
      if (key.shifted == key.plain) continue;
      EXPECT_TRUE(seen.insert(key.shifted[0]).second) << layout << " key " << key.keycode;
      EXPECT_EQ(keys::keyFor(layout, key.shifted[0]), (std::pair{key.keycode, true}));
    }
    EXPECT_EQ(capitals, letters) << layout;
  }

  // The layout's key table as UCKeyTranslate reads it: on Dvorak the key labelled C types "j".
  KeyWorld t;
  platform::InputSources& sources = t.world.inputSources();
  t.world.selectInputSourceById("com.apple.keylayout.Dvorak");
  const platform::KeyLayoutData data =
      sources.unicodeKeyLayoutData(sources.copyCurrentKeyboardLayoutInputSource());
  const auto translate = [&](const platform::KeyLayoutData& layout, uint16_t key, uint32_t mods) {
    return sources.keyTranslate(layout, key, platform::kUCKeyActionDown, mods,
                                sources.keyboardType(), platform::kUCKeyTranslateNoDeadKeysMask);
  };
  EXPECT_EQ(translate(data, keys::kC, platform::kUCKeyModifierCommand).characters, u"j");
  EXPECT_EQ(translate(data, 34, platform::kUCKeyModifierShift).characters, u"C");
  EXPECT_EQ(translate(nullptr, 34, 0).status, -50);
}

TEST_F(SimEventsTest, KeyboardEventFailuresCountEveryCall) {
  world.faults().keyboardEventFailures = {1, 3};
  std::vector<bool> made;
  for (int i = 0; i < 5; ++i) made.push_back(ev.createKeyboardEvent(nullptr, 0, true) != nullptr);
  EXPECT_EQ(made, (std::vector<bool>{true, false, true, false, true}));
}

// ---- Timing: the window server against a busy main thread, threads, sleep and wake ----------

// When a tap heard each event; its callback releases `releaseInside` when set.
struct Heard {
  World* world = nullptr;
  platform::MachPort* releaseInside = nullptr;
  std::vector<Micros> at;
};

EventObject* hear(EventType, EventObject* event, void* userInfo) {
  auto* h = static_cast<Heard*>(userInfo);
  h->at.push_back(h->world->now());
  if (h->releaseInside) h->releaseInside->reset();
  return event;
}

class SimTiming : public SimEventsTest {
 protected:
  SimTiming() { heard.world = &world; }
  platform::MachPort makeTap(platform::TapOptions options = platform::kCGEventTapOptionDefault) {
    platform::MachPort port =
        ev.tapCreate(platform::kCGSessionEventTap, 0, options,
                     platform::eventMaskBit(platform::kCGEventKeyDown), hear, &heard);
    source = ev.createRunLoopSource(port);
    return port;
  }
  // A thread whose run loop serves `source`, as the key stream sets it up.
  platform::Thread serveOnThread() {
    return ev.startThread([this] {
      threadLoop = ev.currentRunLoop();
      ev.addSource(threadLoop, source);
      ev.runCurrentRunLoop();
    });
  }
  void stopThread(const platform::Thread& thread) {
    ev.performBlock(threadLoop, [this] { ev.stopRunLoop(ev.currentRunLoop()); });
    ev.joinThread(thread);
  }
  std::u16string text() { return *field().value; }

  Heard heard;
  platform::RunLoopSource source;
  platform::RunLoop threadLoop;
};

TEST_F(SimTiming, AnActiveTapOnTheMainRunLoopHoldsTheSessionUntilTheMainThreadAnswers) {
  platform::MachPort port = makeTap();
  ev.addSource(ev.mainRunLoop(), source);
  press('a');
  world.later(2 * kMs, [&] { press('b'); });
  world.mainLoop().sleepMicroseconds(10 * kMs);
  EXPECT_EQ(text(), u"") << "held while the main thread sleeps";
  world.runPending();
  EXPECT_EQ(text(), u"ab");
  EXPECT_EQ(heard.at, (std::vector<Micros>{10 * kMs, 10 * kMs}));

  // A listen-only tap holds nothing: its copies wait, the events do not.
  platform::MachPort listener = makeTap(platform::kCGEventTapOptionListenOnly);
  ev.tapEnable(port, false);
  ev.addSource(ev.mainRunLoop(), source);
  press('c');
  world.mainLoop().sleepMicroseconds(10 * kMs);
  EXPECT_EQ(text(), u"abc");
  EXPECT_EQ(heard.at.size(), 2u);
  world.runPending();
  EXPECT_EQ(heard.at.back(), 20 * kMs);
}

// Joining a running thread or twice, and releasing a tap inside its own callback, are programming
// errors; so is a main-thread service called from the tap's thread, as the macOS adapters assert
// (only the tap's and the run loops' own calls, and the permission checks, may come from there).
TEST_F(SimTiming, MisusesOfThreadsAndTapsAreProgrammingErrors) {
  channel_test::ProgrammingErrorCapture errors;
  platform::MachPort port = makeTap();
  const platform::Thread thread = serveOnThread();
  ev.joinThread(thread);
  ev.performBlock(threadLoop, [&] {
    ev.tapEnable(port, true);
    (void)ev.tapIsEnabled(port);
    (void)world.accessibility().isProcessTrusted();
    (void)ev.preflightListenEventAccess();
    (void)ev.tapCreate(platform::kCGSessionEventTap, 0, 0, 0, hear, &heard);
    EventObject key;
    size_t length = 0;
    ev.keyboardGetUnicodeString(key, 0, length, nullptr);  // as the first translation: refused
    (void)world.pasteboard().changeCount();
  });
  world.runPending();
  stopThread(thread);
  ev.joinThread(thread);
  ev.addSource(ev.mainRunLoop(), source);
  heard.releaseInside = &port;
  press('a');
  world.runPending();
  EXPECT_EQ(errors.reports(),
            (std::vector<std::string>{
                "a thread was joined while its run loop still runs",
                "keyboardGetUnicodeString made the process's first key translation off the main "
                "thread",
                "changeCount was called off the main thread", "a thread was joined twice",
                "a tap's port was released inside its own callback"}));
}

// Waking tells the wake observers only; the record of posted events keeps the most recent.
TEST_F(SimTiming, WakeTellsItsObserversAndPostedEventsKeepTheMostRecentRecords) {
  int woke = 0, returned = 0;
  using Notification = platform::Workspace::Notification;
  (void)world.workspace().addObserver(Notification::kDidWake, [&] { ++woke; });
  (void)world.workspace().addObserver(Notification::kSessionDidBecomeActive, [&] { ++returned; });
  world.sleepMachine(World::SleepEffect::kDisableTaps);
  world.wake();
  world.runPending();
  EXPECT_EQ(woke - returned, 1);

  const size_t many = World::kPostedWindow + 10;
  for (size_t i = 0; i < many; ++i) post(u"z");
  world.runPending();
  EXPECT_EQ(world.takePosted().size(), World::kPostedWindow);
  EXPECT_EQ(world.postedTotal(), static_cast<int64_t>(many));
}

TEST_F(SimTiming, AHungApplicationBlocksEachCallForTheMessagingTimeoutInForce) {
  world.application(5)->hung = true;
  platform::Accessibility& ax = world.accessibility();
  const platform::AXElement systemWide = ax.createSystemWide();
  platform::AXAttributeValue value;
  world.later(1 * kMs, [&] { press('a'); });
  EXPECT_EQ(ax.copyAttributeValue(systemWide, "AXFocusedUIElement", value),
            platform::kAXErrorCannotComplete);
  EXPECT_EQ(world.now(), 6000 * kMs) << "the system's default";
  EXPECT_EQ(text(), u"a") << "the rest of the system went on";

  ASSERT_EQ(ax.setMessagingTimeout(systemWide, 1.0F), platform::kAXErrorSuccess);
  const platform::AXElement app = ax.createApplication(5);
  bool settable = true;
  EXPECT_EQ(ax.isAttributeSettable(app, "AXManualAccessibility", settable),
            platform::kAXErrorCannotComplete);
  ASSERT_EQ(ax.setMessagingTimeout(app, 0.25F), platform::kAXErrorSuccess);
  EXPECT_EQ(ax.setAttributeValue(app, "AXManualAccessibility", true),
            platform::kAXErrorCannotComplete);
  EXPECT_EQ(world.now(), 7250 * kMs) << "1 s process-wide, then 0.25 s for that element";
  EXPECT_TRUE(world.takePauses().empty()) << "a blocked call is no pause";
}

}  // namespace
}  // namespace sim
