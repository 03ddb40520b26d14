#include <limits>

#include "runner/automation/automation_test_fixture.h"
#include "text/text.h"

namespace tandrel {
namespace {

using platform::AXRange;
using sim::WriteBehaviour;
using Field = sim::ElementState;
using Knob = std::function<void(Field&, sim::World&)>;

MethodReply shows(const char* text, int32_t selStart, int32_t selLen) {
  return MethodReply::Success(ValueMap{{"text", text}, {"selStart", selStart}, {"selLen", selLen}});
}

// "axSetFocusedText" arguments; a null `expected` leaves "expectedText" out.
ValueMap set(const char* text, int64_t selStart, int64_t selLen, Value expected = Value()) {
  ValueMap args{{"text", text}, {"selStart", selStart}, {"selLen", selLen}};
  if (!expected.isNull()) args.set("expectedText", std::move(expected));
  return args;
}

Pauses ms(std::initializer_list<sim::Micros> millis = {}) {
  Pauses out;
  for (sim::Micros m : millis) out.push_back(m * 1000);
  return out;
}

// Field and world knobs, and several of them at once.
const Knob none = [](Field&, sim::World&) {};
const Knob secure = [](Field& e, sim::World&) { e.subrole = u"AXSecureTextField"; };
const Knob notSettable = [](Field& e, sim::World&) { e.valueSettable = false; };
const Knob unreadable = [](Field& e, sim::World&) {
  e.copyErrors["AXValue"] = platform::kAXErrorCannotComplete;
};
const Knob refuseValue = [](Field& e, sim::World&) { e.valueWrite = WriteBehaviour::kRefuse; };
const Knob ignoreValue = [](Field& e, sim::World&) { e.valueWrite = WriteBehaviour::kIgnore; };
const Knob noRangeValue = [](Field&, sim::World& w) { w.faults().rangeValueCreateFails = true; };
const Knob fixedRange = [](Field& e, sim::World&) { e.selectionSettable = false; };
const Knob fixedText = [](Field& e, sim::World&) { e.selectedTextSettable = false; };
const Knob refuseRange = [](Field& e, sim::World&) { e.refuseSelectionWrite = true; };
const Knob refuseText = [](Field& e, sim::World&) { e.refuseSelectedTextWrite = true; };
const Knob number = [](Field& e, sim::World&) { e.valueIsNumber = true; };

template <class... K>
Knob with(K... knobs) {
  return [=](Field& e, sim::World& w) { (knobs(e, w), ...); };
}

// What "axFocusedText" answers for a field holding "😀héllo" with units 3 and 4 selected.
TEST_F(AutomationTest, ReadsTheFocusedTextWithItsSelectionInUtf16Units) {
  const std::pair<Knob, MethodReply> rows[] = {
      {none, shows("😀héllo", 3, 2)},
      // No readable range is no selection; an unreadable subrole is an ordinary field.
      {[](Field& e, sim::World&) { e.selectionIsNotRange = true; }, shows("😀héllo", -1, 0)},
      {[](Field& e, sim::World&) { e.selection.reset(); }, shows("😀héllo", -1, 0)},
      {with(secure,
            [](Field& e, sim::World&) {
              e.copyErrors = {{"AXSelectedTextRange", -25200}, {"AXSubrole", -25204}};
            }),
       shows("😀héllo", -1, 0)},
      // No text (a number, none, unreadable), no focus, no trust, a password field.
      {number, MethodReply::Success()},
      {[](Field& e, sim::World&) { e.value.reset(); }, MethodReply::Success()},
      {[](Field& e, sim::World&) { e.copyErrors["AXValue"] = platform::kAXErrorNoValue; },
       MethodReply::Success()},
      {[](Field&, sim::World& w) { w.faults().systemWideFocusFails = true; },
       MethodReply::Success()},
      {[](Field&, sim::World& w) { w.setTrusted(false); }, MethodReply::Success()},
      {secure, MethodReply::Success()},
  };
  for (const auto& [setUp, reply] : rows) {
    AutomationWorld h;
    setUp(h.focus(u"😀héllo", {3, 2}), h.world);
    EXPECT_EQ(h.call("axFocusedText"), reply);
    // The manual switch is set once for the process (with trust), not on every lookup.
    EXPECT_EQ(h.call("axFocusedText"), reply);
    EXPECT_EQ(h.world.application(kEditorPid)->manualAccessibilityWrites, h.world.trusted());
  }
  // Nothing in front: the system-wide focus is still asked, and no application is touched.
  focus(u"x");
  world.setFrontmost(std::nullopt);
  EXPECT_EQ(call("axFocusedText"), MethodReply::Success());
  EXPECT_EQ(world.application(kEditorPid)->manualAccessibilityWrites, 0);
}

// One "axSetFocusedText": the answer, the field and its selection afterwards, the read-back pauses.
TEST_F(AutomationTest, TheFocusedTextIsWrittenVerifiedOrRefusedWhole) {
  constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
  const Knob reformat = [](Field& e, sim::World&) {
    e.valueWrite = WriteBehaviour::kReformat;
    e.reformatTo = u"Привет!";
  };
  // A field that applies the edit `by` microseconds after the write.
  const auto late = [](sim::Micros by) -> Knob {
    return [by](Field& e, sim::World& w) {
      e.ignoreSelectedTextWrite = true;
      w.at(by, [&e] { e.value = u"привет"; });
    };
  };
  const Knob rich = [](Field& e, sim::World&) {
    e.kind = sim::ElementKind::kRich;
    sim::setStyleRuns(e, {{0, 10, "bold"}});
  };
  const Knob userTyped = [](Field&, sim::World& w) {
    w.typeOnKeys(u"x");
    w.runPending();
  };
  // The selection replacement: the whole value can be neither read nor set.
  const Knob blind = with(notSettable, unreadable);
  // Rows that give no text afterwards leave the field as it was, its selection too.
  struct Row {
    std::u16string value;  // the field before, and its selection
    int64_t start, length;
    Knob setUp;
    ValueMap args;
    bool answer;
    Pauses pauses = {};
    std::optional<std::u16string> after = {};  // the field afterwards, and its selection
    int64_t afterStart = 0, afterLength = 0;
  };
  const Row rows[] = {
      {u"secret", 1, 2, secure, set("new", 0, 3), false},
      {u"secret", 1, 2, with(secure, notSettable), set("secreT", -1, 0), false},
      // Read back as soon as it shows the edit; the requested selection is set.
      {u"ghbdtn", 6, 0, none, set("привет", 2, 3), true, ms({5}), u"привет", 2, 3},
      // Reformatted by the application: written; no range value only skips the selection.
      {u"ghbdtn", 6, 0, with(reformat, noRangeValue), set("привет", 0, 1), true, ms({5}),
       u"Привет!", 7, 0},
      // An ignored write of a text that differs only in normalisation is no failure.
      {u"e\u0301", 2, 0, with(ignoreValue, fixedRange), set("\u00e9", -1, 0), true,
       ms({5, 5, 10, 30})},
      // A field that applies the edit late is read until it shows it, up to 50 ms.
      {u"ghbdtn", 6, 0, late(9000), set("привет", -1, 0), true, ms({5, 5}), u"привет", 0, 6},
      {u"ghbdtn", 6, 0, late(49000), set("привет", -1, 0), true, ms({5, 5, 10, 30}), u"привет", 0,
       6},
      // Unreadable: the whole value is written, failing that the selection replaced.
      {u"abcdefg", 0, 0, with(unreadable, refuseValue), set("abXYZfg", 2, 3), true, ms({5}),
       u"abXYZfg", 2, 3},
      {u"hello", 0, 0, with(unreadable, refuseValue), set("HELLO", 3, 0), true, ms({5}), u"HELLO",
       3, 0},
      {u"hello", 0, 0, blind, set("HELLO", 3, 0), true, ms({5}), u"HELLO", 3, 0},
      // Ranges beyond the new text, even hostile ones, and every refusal before the text write.
      {u"abcdef", 1, 0, blind, set("abcxyz", 4, 3), false},
      {u"abcdef", 1, 0, blind, set("abcxyz", kMax, kMax), false},
      {u"abcdef", 1, 0, blind, set("abcxyz", 1, kMax), false},
      {u"abcdef", 1, 0, with(blind, fixedText), set("abcxyz", -1, 0), false},
      {u"abcdef", 1, 0, with(blind, fixedRange), set("abcxyz", -1, 0), false},
      {u"abcdef", 1, 0, with(blind, noRangeValue), set("abcxyz", -1, 0), false},
      {u"abcdef", 1, 0, with(blind, refuseRange), set("abcxyz", -1, 0), false},
      // The text write refused after the range was selected: the user's selection is put back.
      {u"abcdef", 1, 0, with(blind, refuseText), set("abcxyz", 3, 3), false},
      {u"abcdef", 1, 2, with(blind, refuseText), set("abXYef", -1, 0), false},
      {u"abcdef", 1, 2, with(notSettable, refuseText), set("abXYef", -1, 0), false},
      // A readable field: a range beyond the text is refused, unless the whole value is settable.
      {u"abcdef", 1, 0, notSettable, set("abcxyz", 4, 3), false},
      {u"abcdef", 1, 0, notSettable, set("abcxyz", kMax, kMax), false},
      {u"abcdef", 1, 0, none, set("abcxyz", 4, 3), true, ms({5}), u"abcxyz", 4, 2},
      // The range edit unavailable or refused: the whole value is written, the formatting lost.
      {u"ghbdtn vbh", 3, 0, with(rich, fixedText), set("привет мир", 7, 3), true, ms({5}),
       u"привет мир", 7, 3},
      {u"ghbdtn vbh", 3, 0, with(rich, fixedRange), set("привет мир", 7, 3), true, ms({5}),
       u"привет мир", 10, 0},
      {u"ghbdtn vbh", 3, 0, with(rich, refuseText), set("привет мир", 7, 3), true, ms({5}),
       u"привет мир", 7, 3},
      {u"ghbdtn vbh", 3, 0, with(rich, refuseRange), set("привет мир", 7, 3), true, ms({5}),
       u"привет мир", 10, 0},
      // The field is not the text the edit was based on (typed since, unreadable): no write.
      {u"ghbdtn", 6, 0, userTyped, set("привет", 6, 0, "ghbdtn"), false, ms(), u"ghbdtnx", 7, 0},
      {u"ghbdtn", 6, 0, number, set("привет", 6, 0, "ghbdtn"), false},
      // Text that differs only in case is other text; an empty expectation is the empty field.
      {u"Ghbdtn", 6, 0, none, set("привет", 6, 0, "ghbdtn"), false},
      {u"Ghbdtn", 6, 0, none, set("привет", 6, 0, ""), false},
      // Another normalisation form is the same text; a non-string is no expectation.
      {u"cafe\u0301", 5, 0, none, set("привет", 6, 0, "caf\u00e9"), true, ms({5}), u"привет", 6, 0},
      {u"x", 1, 0, none, set("ok", 2, 0, 5), true, ms({5}), u"ok", 2, 0},
  };
  for (size_t i = 0; i < std::size(rows); ++i) {
    const Row& row = rows[i];
    SCOPED_TRACE(i);
    AutomationWorld h;
    Field& field = h.focus(row.value, {row.start, row.length});
    row.setUp(field, h.world);
    EXPECT_EQ(h.call("axSetFocusedText", row.args), MethodReply::Success(row.answer));
    EXPECT_EQ(field.value, row.after.value_or(row.value));
    const AXRange after{row.after ? row.afterStart : row.start,
                        row.after ? row.afterLength : row.length};
    EXPECT_EQ(field.selection, after);
    EXPECT_EQ(h.world.takePauses(), row.pauses);
    EXPECT_TRUE(h.world.takePosted().empty());
    EXPECT_EQ(h.world.application(kEditorPid)->manualAccessibilityWrites, 1);
    // Every rich field here is written whole: its formatting is gone.
    EXPECT_TRUE(field.kind != sim::ElementKind::kRich || sim::styleRuns(field).empty());
  }
}

TEST_F(AutomationTest, OneCorrectedWordKeepsTheRestOfARichOrWebField) {
  // Chromium ignores the selected-text write: the span is selected again, typed and read back.
  const std::pair<sim::ElementKind, Pauses> kinds[] = {
      {sim::ElementKind::kRich, {5000}},
      {sim::ElementKind::kWebEditable, {5000}},
      {sim::ElementKind::kChromium, {5000, 5000, 10000, 30000, 5000, 25000}}};
  for (const auto& [kind, pauses] : kinds) {
    SCOPED_TRACE(static_cast<int>(kind));
    AutomationWorld h;
    Field& element = h.focus(u"Hello ghbdtn 😀 world", {12, 0});
    element.kind = kind;
    element.model = *element.value;
    const std::vector<sim::StyleRun> runs{
        {0, 5, "bold"}, {6, 6, "italic"}, {13, 2, "attachment"}, {16, 5, "link"}};
    sim::setStyleRuns(element, runs);
    EXPECT_EQ(h.call("axSetFocusedText", set("Hello привет 😀 world", 12, 0)),
              MethodReply::Success(true));
    EXPECT_EQ(element.value, u"Hello привет 😀 world");
    EXPECT_EQ(element.selection, (AXRange{12, 0}));
    EXPECT_EQ(h.world.takePauses(), pauses);
    // A rich view keeps its formatting; a page's model holds the corrected text.
    EXPECT_EQ(kind == sim::ElementKind::kRich ? sim::styleRuns(element) == runs
                                              : element.model == *element.value,
              true);
  }
}

// What lands in a Chromium field ("ab", the caret at its end) while the user and the other
// applications go on, and what the call answers. Nothing typed ever reaches another application,
// and the whole value (which the page would never hear of) is never written.
TEST_F(AutomationTest, ACorrectionTypedIntoChromiumLandsOnItsSpanInItsFieldOrAnswersFalse) {
  constexpr int32_t kOtherPid = 200;
  const std::u16string kLong = u"0123456789012345678901234";  // two chunks
  struct Row {
    const char* name;
    std::u16string text;
    // Done to the world `at` microseconds after the call began.
    sim::Micros at;
    Knob meanwhile;
    bool answer;
    std::u16string value;  // the field's text, and its page's model, afterwards, and its caret
    int64_t caret;
  };
  const auto activateOther = [](Field&, sim::World& w) { w.activate(kOtherPid); };
  const Knob moveCaret = [](Field&, sim::World& w) { w.selectRange({0, 0}); };
  const Row rows[] = {
      {"typed, shown a frame later", u"aZb", 0, nullptr, true, u"aZb", 2},
      {"a span deleted: one Backspace", u"a", 0, nullptr, true, u"a", 1},
      {"shown 150 ms later, after a page load", u"aZb", 0,
       [](Field& e, sim::World&) { e.axLag = sim::kPageLoadLag; }, true, u"aZb", 2},
      // The user moves the caret during the read-back: the span is selected again first.
      {"caret moved", u"aZb", 20000, moveCaret, true, u"aZb", 2},
      // The user types after the correction: not written over; the caret stays theirs.
      {"user typed", u"aZb", 52000, [](Field&, sim::World& w) { w.typeOnKeys(u"x"); }, false,
       u"aZxb", 3},
      // Another application comes to the front before the typing, or between two chunks.
      {"switched before", u"aZb", 10000, activateOther, false, u"ab", 2},
      {"switched between chunks", u"a" + kLong + u"b", 52000, activateOther, false,
       u"a" + kLong.substr(0, 20) + u"b", 21},
      // A page that cancels its input events: nothing typed lands, and false says so.
      {"typing cancelled", u"aZb", 0, [](Field& e, sim::World&) { e.ignoreTyping = true; }, false,
       u"ab", 2},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    AutomationWorld h;
    sim::AppState other;
    other.pid = kOtherPid;
    other.focused.emplace();
    h.world.addApplication(std::move(other));
    Field& element = h.focus(u"ab", {2, 0});
    element.model = u"ab";
    element.kind = sim::ElementKind::kChromium;
    if (row.meanwhile && row.at == 0) row.meanwhile(element, h.world);
    if (row.meanwhile && row.at > 0) h.world.at(row.at, [&] { row.meanwhile(element, h.world); });
    EXPECT_EQ(h.call("axSetFocusedText",
                     ValueMap{{"text", text::utf16ToUtf8(row.text)}, {"expectedText", "ab"}}),
              MethodReply::Success(row.answer));
    h.world.runPending();
    EXPECT_EQ(element.value, row.value);
    EXPECT_EQ(element.model, row.value);
    EXPECT_EQ(element.selection, (AXRange{row.caret, 0}));
    EXPECT_EQ(h.world.application(kOtherPid)->focused->value, u"");
  }
}

// Looked for every 100 ms from the first lookup on, for 6 s: when each kind of application first
// shows its field, and how often the host set either switch on it to get there. A native
// application with nothing focused gets the enhanced interface too, and back off 5 s later.
TEST_F(AutomationTest, EachChromiumApplicationShowsItsFieldAfterTheFirstLookupAndIsSwitchedOnce) {
  using sim::Chromium;
  struct Row {
    Chromium kind;
    bool enhancedAlreadyOn;                // a screen reader's, with the tree built
    std::optional<sim::Micros> foundFrom;  // nullopt: nothing focused
    int manualWrites, enhancedWrites;
    bool enhancedOn;  // at the end
  };
  const Row rows[] = {
      {Chromium::kNone, false, 0, 1, 0, false},
      {Chromium::kNone, false, std::nullopt, 1, 2, false},
      {Chromium::kElectronOld, false, 300000, 1, 0, false},
      {Chromium::kElectronReadable, false, 300000, 1, 0, false},
      {Chromium::kElectronDebounced, false, 2300000, 1, 0, false},
      {Chromium::kChrome, false, 2300000, 1, 1, true},
      {Chromium::kChromeBefore14, false, 300000, 1, 1, true},
      {Chromium::kChrome, true, 0, 1, 0, true},
  };
  int index = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(index++);
    AutomationWorld h;
    h.focus(u"");
    sim::AppState& app = *h.world.application(kEditorPid);
    app.chromium = row.kind;
    if (!row.foundFrom) app.focused.reset();
    if (row.enhancedAlreadyOn) {
      app.enhancedUserInterface = true;
      app.accessibility = sim::AccessibilityMode::kComplete;
    }
    std::optional<sim::Micros> found;
    for (sim::Micros t = 0; t <= 6000000; t += 100000) {
      h.world.advance(t - h.world.now());
      if (h.handler.axFocusedText() && !found) found = t;
    }
    EXPECT_EQ(found, row.foundFrom);
    EXPECT_EQ(app.manualAccessibilityWrites, row.manualWrites);
    EXPECT_EQ(app.enhancedUserInterfaceWrites, row.enhancedWrites);
    EXPECT_EQ(app.enhancedUserInterface, row.enhancedOn);
  }
}

TEST_F(AutomationTest, TheHostsOwnWindowInFrontIsNeverAskedThroughAccessibility) {
  sim::ElementState& element = focus(u"ghbdtn", {6, 0});
  world.setHostPid(kEditorPid);
  EXPECT_EQ(call("axFocusedText"), MethodReply::Success());
  EXPECT_EQ(call("axSetFocusedText", set("привет", 6, 0)), MethodReply::Success(false));
  EXPECT_EQ(element.value, u"ghbdtn");
  // At once: each request would have waited for the host's own busy main thread.
  EXPECT_EQ(world.now(), 0);
  EXPECT_EQ(world.application(kEditorPid)->timedOutCalls, 0);
  EXPECT_EQ(world.application(kEditorPid)->manualAccessibilityWrites, 0);
}

}  // namespace
}  // namespace tandrel
