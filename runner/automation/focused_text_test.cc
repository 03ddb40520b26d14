#include <limits>

#include "runner/automation/automation_test_fixture.h"
#include "text/text.h"

namespace tandrel {
namespace {

using platform::AXRange;
using sim::WriteBehaviour;

MethodReply shows(const char* text, int32_t selStart, int32_t selLen) {
  return MethodReply::Success(ValueMap{{"text", text}, {"selStart", selStart}, {"selLen", selLen}});
}

ValueMap setArgs(const char* text, int64_t selStart, int64_t selLen) {
  return ValueMap{{"text", text}, {"selStart", selStart}, {"selLen", selLen}};
}

TEST_F(AutomationTest, ReadsTheFocusedTextWithItsSelectionInUtf16Units) {
  sim::ElementState& element = focus(u"😀héllo", {3, 2});
  EXPECT_EQ(call("axFocusedText"), shows("😀héllo", 3, 2));
  // A selection that cannot be read, or is not a range, reads as none; an unreadable subrole
  // is an ordinary field.
  element.selectionIsNotRange = true;
  EXPECT_EQ(call("axFocusedText"), shows("😀héllo", -1, 0));
  element.subrole = u"AXSecureTextField";
  element.copyErrors = {{"AXSelectedTextRange", -25200}, {"AXSubrole", -25204}};
  EXPECT_EQ(call("axFocusedText"), shows("😀héllo", -1, 0));
  element = sim::ElementState();
  element.value = u"x";
  element.selection.reset();
  EXPECT_EQ(call("axFocusedText"), shows("x", -1, 0));

  // No text: a number, no value, an unreadable value; no field: focus cannot be read, no trust.
  const std::function<void(bool)> noText[] = {
      [&](bool on) { element.valueIsNumber = on; },
      [&](bool on) { element.value = on ? std::nullopt : std::optional(std::u16string(u"x")); },
      [&](bool on) {
        if (on) element.copyErrors["AXValue"] = platform::kAXErrorNoValue;
        if (!on) element.copyErrors.clear();
      },
      [&](bool on) { world.faults().systemWideFocusFails = on; },
      [&](bool on) { world.setTrusted(!on); }};
  for (const auto& set : noText) {
    set(true);
    EXPECT_EQ(call("axFocusedText"), MethodReply::Success());
    set(false);
  }
  EXPECT_EQ(call("axFocusedText"), shows("x", -1, 0));
  // The manual switch was set once for the process, not on every lookup. Nothing in front: the
  // system-wide focus is still asked, and no application is touched.
  EXPECT_EQ(world.application(kEditorPid)->manualAccessibilityWrites, 1);
  world.setFrontmost(std::nullopt);
  EXPECT_EQ(call("axFocusedText"), MethodReply::Success());
  EXPECT_EQ(world.application(kEditorPid)->manualAccessibilityWrites, 1);
}

TEST_F(AutomationTest, APasswordFieldIsNeverReadOrWritten) {
  sim::ElementState& element = focus(u"secret", {1, 2});
  element.subrole = u"AXSecureTextField";
  EXPECT_EQ(call("axFocusedText"), MethodReply::Success());
  EXPECT_EQ(call("axSetFocusedText", setArgs("new", 0, 3)), MethodReply::Success(false));
  element.valueSettable = false;  // the selection path is not taken either
  EXPECT_EQ(call("axSetFocusedText", setArgs("secreT", -1, 0)), MethodReply::Success(false));
  EXPECT_EQ(element.value, u"secret");
  EXPECT_EQ(element.selection, (AXRange{1, 2}));
  EXPECT_TRUE(world.takePauses().empty());
  EXPECT_EQ(world.application(kEditorPid)->manualAccessibilityWrites, 1);
}

TEST_F(AutomationTest, AWholeValueWriteIsVerifiedAndPutsTheSelectionBack) {
  sim::ElementState& element = focus(u"ghbdtn", {6, 0});
  EXPECT_EQ(call("axSetFocusedText", setArgs("привет", 2, 3)), MethodReply::Success(true));
  EXPECT_EQ(element.value, u"привет");
  EXPECT_EQ(element.selection, (AXRange{2, 3}));
  EXPECT_EQ(world.takePauses(), Pauses{5000}) << "read back as soon as it shows the edit";

  // Reformatted by the application: still written. A range value that cannot be made only
  // skips putting the selection back.
  element.valueWrite = WriteBehaviour::kReformat;
  element.reformatTo = u"Привет!";
  world.faults().rangeValueCreateFails = true;
  EXPECT_EQ(call("axSetFocusedText", setArgs("привет", 0, 1)), MethodReply::Success(true));
  EXPECT_EQ(element.value, u"Привет!");
  EXPECT_NE(element.selection, (AXRange{0, 1}));

  // An ignored write of a text that differs only in normalisation is no failure.
  element.value = u"e\u0301";
  element.valueWrite = WriteBehaviour::kIgnore;
  element.selectionSettable = false;
  EXPECT_EQ(call("axSetFocusedText", setArgs("\u00e9", -1, 0)), MethodReply::Success(true));
}

// A field that applies the edit late (9 or 49 ms after the write) is read until it shows it, up to
// 50 ms, and is not typed into.
TEST_F(AutomationTest, AReadBackWaitsUpTo50MsForAFieldThatAppliesTheEditLate) {
  for (const auto& [late, pauses] :
       {std::pair<sim::Micros, Pauses>{9000, {5000, 5000}}, {49000, {5000, 5000, 10000, 30000}}}) {
    sim::ElementState& element = focus(u"ghbdtn", {6, 0});
    element.ignoreSelectedTextWrite = true;
    world.at(world.now() + late, [&] { element.value = u"привет"; });
    EXPECT_EQ(call("axSetFocusedText", setArgs("привет", -1, 0)), MethodReply::Success(true));
    EXPECT_EQ(world.takePauses(), pauses);
    EXPECT_TRUE(world.takePosted().empty());
    world.removeApplication(kEditorPid);
  }
}

TEST_F(AutomationTest, AnUnreadableValueFallsBackToReplacingTheRequestedSelection) {
  // Without the current text no changed range can be found: the whole value is written, and
  // failing that the requested selection is replaced.
  sim::ElementState& element = focus(u"abcdefg");
  element.copyErrors["AXValue"] = platform::kAXErrorCannotComplete;
  element.valueWrite = WriteBehaviour::kRefuse;
  EXPECT_EQ(call("axSetFocusedText", setArgs("abXYZfg", 2, 3)), MethodReply::Success(true));
  EXPECT_EQ(element.value, u"abXYZfg");
  EXPECT_EQ(element.selection, (AXRange{2, 3}));
  EXPECT_EQ(world.takePauses(), Pauses{5000});

  // Not settable, or refused: no usable selection replaces the whole length of the new text.
  for (bool refuse : {false, true}) {
    element.value = u"hello";
    element.valueSettable = refuse;
    EXPECT_EQ(call("axSetFocusedText", setArgs("HELLO", 3, 0)), MethodReply::Success(true));
    EXPECT_EQ(element.value, u"HELLO");
    EXPECT_EQ(element.selection, (AXRange{3, 0}));
    EXPECT_EQ(world.takePauses(), Pauses{5000});
  }
}

TEST_F(AutomationTest, TheSelectionReplacementAnswersFalseForEveryRefusal) {
  sim::ElementState& element = focus(u"abcdef", {1, 0});
  element.valueSettable = false;
  element.copyErrors["AXValue"] = platform::kAXErrorCannotComplete;
  const int64_t kMax = std::numeric_limits<int64_t>::max();
  const auto refused = [&](const ValueMap& args, const std::function<void(bool)>& set) {
    set(true);
    EXPECT_EQ(call("axSetFocusedText", args), MethodReply::Success(false));
    set(false);
  };
  const auto none = [](bool) {};
  // Ranges beyond the new text, even hostile ones, and every refusal before the text write.
  refused(setArgs("abcxyz", 4, 3), none);
  refused(setArgs("abcxyz", kMax, kMax), none);
  refused(setArgs("abcxyz", 1, kMax), none);
  refused(setArgs("abcxyz", -1, 0), [&](bool on) { element.selectedTextSettable = !on; });
  refused(setArgs("abcxyz", -1, 0), [&](bool on) { element.selectionSettable = !on; });
  refused(setArgs("abcxyz", -1, 0), [&](bool on) { world.faults().rangeValueCreateFails = on; });
  refused(setArgs("abcxyz", -1, 0), [&](bool on) { element.refuseSelectionWrite = on; });
  // The text write refused after the range was selected: the user's selection is put back.
  refused(setArgs("abcxyz", 3, 3), [&](bool on) { element.refuseSelectedTextWrite = on; });
  EXPECT_EQ(element.value, u"abcdef");
  EXPECT_EQ(element.selection, (AXRange{1, 0}));
  EXPECT_TRUE(world.takePauses().empty());

  // A readable field edits only the changed span, but a requested range beyond the text is still
  // refused with nothing written; with the whole value settable that value is written instead.
  element.copyErrors.clear();
  refused(setArgs("abcxyz", 4, 3), none);
  refused(setArgs("abcxyz", kMax, kMax), none);
  EXPECT_EQ(element.value, u"abcdef");
  EXPECT_TRUE(world.takePauses().empty());
  element.valueSettable = true;
  EXPECT_EQ(call("axSetFocusedText", setArgs("abcxyz", 4, 3)), MethodReply::Success(true));
  EXPECT_EQ(element.value, u"abcxyz");
}

TEST_F(AutomationTest, OneCorrectedWordKeepsTheRestOfARichOrWebField) {
  // Chromium web content ignores the selected-text write: the span is selected again and typed
  // (one chunk and its pause), then read back.
  const std::pair<sim::ElementKind, Pauses> kinds[] = {
      {sim::ElementKind::kRich, {5000}},
      {sim::ElementKind::kWebEditable, {5000}},
      {sim::ElementKind::kChromium, {5000, 5000, 10000, 30000, 5000, 25000}}};
  for (const auto& [kind, pauses] : kinds) {
    SCOPED_TRACE(static_cast<int>(kind));
    sim::ElementState& element = focus(u"Hello ghbdtn 😀 world", {12, 0});
    element.kind = kind;
    element.model = *element.value;
    const std::vector<sim::StyleRun> runs{
        {0, 5, "bold"}, {6, 6, "italic"}, {13, 2, "attachment"}, {16, 5, "link"}};
    sim::setStyleRuns(element, runs);

    EXPECT_EQ(call("axSetFocusedText", setArgs("Hello привет 😀 world", 12, 0)),
              MethodReply::Success(true));
    EXPECT_EQ(element.value, u"Hello привет 😀 world");
    EXPECT_EQ(element.selection, (AXRange{12, 0}));
    EXPECT_EQ(world.takePauses(), pauses);
    if (kind == sim::ElementKind::kRich) {
      EXPECT_EQ(sim::styleRuns(element), runs);
    } else {
      // What the page will send is the corrected text, not only what it shows.
      EXPECT_EQ(element.model, *element.value);
    }
    world.removeApplication(kEditorPid);
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
    std::function<void(sim::World&, sim::ElementState&)> meanwhile;
    bool answer;
    std::u16string value;  // the field's text, and its page's model, afterwards
    AXRange selection;
  };
  const auto activateOther = [](sim::World& w, sim::ElementState&) { w.activate(kOtherPid); };
  const Row rows[] = {
      {"typed, shown a frame later", u"aZb", 0, nullptr, true, u"aZb", {2, 0}},
      {"a span deleted: one Backspace", u"a", 0, nullptr, true, u"a", {1, 0}},
      {"shown 150 ms later, after a page load",
       u"aZb",
       0,
       [](sim::World&, sim::ElementState& e) { e.axLag = sim::kPageLoadLag; },
       true,
       u"aZb",
       {2, 0}},
      // The user moves the caret during the read-back: the span is selected again first.
      {"caret moved",
       u"aZb",
       20000,
       [](sim::World& w, sim::ElementState&) {
         w.selectRange({0, 0});
       },
       true,
       u"aZb",
       {2, 0}},
      // The user types after the correction: not written over; the caret stays theirs.
      {"user typed",
       u"aZb",
       52000,
       [](sim::World& w, sim::ElementState&) { w.typeOnKeys(u"x"); },
       false,
       u"aZxb",
       {3, 0}},
      // Another application comes to the front before the typing, or between two chunks.
      {"switched before", u"aZb", 10000, activateOther, false, u"ab", {2, 0}},
      {"switched between chunks",
       u"a" + kLong + u"b",
       52000,
       activateOther,
       false,
       u"a" + kLong.substr(0, 20) + u"b",
       {21, 0}},
      // A page that cancels its input events: nothing typed lands, and false says so.
      {"typing cancelled",
       u"aZb",
       0,
       [](sim::World&, sim::ElementState& e) { e.ignoreTyping = true; },
       false,
       u"ab",
       {2, 0}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    sim::World w;
    w.setTrusted(true);
    sim::AppState other;
    other.pid = kOtherPid;
    other.focused.emplace();
    w.addApplication(std::move(other));
    sim::AppState app;
    app.pid = kEditorPid;
    app.focused.emplace();
    app.focused->value = app.focused->model = u"ab";
    app.focused->selection = AXRange{2, 0};
    app.focused->kind = sim::ElementKind::kChromium;
    w.addApplication(std::move(app));
    w.setFrontmost(kEditorPid);
    sim::ElementState& element = *w.application(kEditorPid)->focused;
    if (row.meanwhile && row.at == 0) row.meanwhile(w, element);
    if (row.meanwhile && row.at > 0) w.at(row.at, [&] { row.meanwhile(w, element); });
    channel_test::ChannelHarness h;
    AutomationHandler host(w);
    channel::MethodChannel(h.messenger(), "tandrel/automation")
        .setMethodCallHandler([&](const auto& c, auto r) { host.handle(c, std::move(r)); });
    EXPECT_EQ(h.call("tandrel/automation", "axSetFocusedText",
                     ValueMap{{"text", text::utf16ToUtf8(row.text)}, {"expectedText", "ab"}}),
              MethodReply::Success(row.answer));
    w.runPending();
    EXPECT_EQ(element.value, row.value);
    EXPECT_EQ(element.model, row.value);
    EXPECT_EQ(element.selection, row.selection);
    EXPECT_EQ(w.application(kOtherPid)->focused->value, u"");
  }
}

TEST_F(AutomationTest, TheWholeValueIsWrittenOnlyWhenTheRangeEditIsUnavailableOrRefused) {
  sim::ElementState& element = focus(u"ghbdtn vbh", {3, 0});
  // Each way the range edit is unavailable or refused, and whether the selection can be set.
  const std::pair<std::function<void(bool)>, bool> noRangeEdit[] = {
      {[&](bool on) { element.selectedTextSettable = !on; }, true},
      {[&](bool on) { element.selectionSettable = !on; }, false},
      {[&](bool on) { element.refuseSelectedTextWrite = on; }, true},
      {[&](bool on) { element.refuseSelectionWrite = on; }, false},
  };
  int index = 0;
  for (const auto& [set, selectable] : noRangeEdit) {
    SCOPED_TRACE(index++);
    element.value = u"ghbdtn vbh";
    element.kind = sim::ElementKind::kRich;
    sim::setStyleRuns(element, {{0, 10, "bold"}});
    set(true);
    EXPECT_EQ(call("axSetFocusedText", setArgs("привет мир", 7, 3)), MethodReply::Success(true));
    EXPECT_EQ(element.value, u"привет мир");
    EXPECT_EQ(element.selection, (selectable ? AXRange{7, 3} : AXRange{10, 0}));
    // Written whole: the formatting is gone, but the answer is still the truth about the text.
    EXPECT_EQ(sim::styleRuns(element), std::vector<sim::StyleRun>{});
    set(false);
  }
  EXPECT_EQ(world.takePauses(), (Pauses{5000, 5000, 5000, 5000}));
}

TEST_F(AutomationTest, AWriteBasedOnAnOutdatedReadChangesNothing) {
  sim::ElementState& element = focus(u"ghbdtn", {6, 0});
  const MethodReply read = call("axFocusedText");
  EXPECT_EQ(read, shows("ghbdtn", 6, 0));
  world.typeOnKeys(u"x");  // the user goes on typing after the Flutter side read the field
  world.runPending();
  ValueMap args = setArgs("привет", 6, 0);
  args.set("expectedText", "ghbdtn");
  EXPECT_EQ(call("axSetFocusedText", args), MethodReply::Success(false));
  EXPECT_EQ(element.value, u"ghbdtnx");
  EXPECT_EQ(element.selection, (AXRange{7, 0}));
  EXPECT_TRUE(world.takePauses().empty());
  // A field that cannot be read is not the text the edit was based on either.
  element.valueIsNumber = true;
  args.set("expectedText", "ghbdtnx");
  EXPECT_EQ(call("axSetFocusedText", args), MethodReply::Success(false));
  element.valueIsNumber = false;

  // Text that differs only in case is other text; an empty expectation is the empty field.
  element.value = u"Ghbdtn";
  for (const char* expected : {"ghbdtn", ""}) {
    args.set("expectedText", expected);
    EXPECT_EQ(call("axSetFocusedText", args), MethodReply::Success(false));
    EXPECT_EQ(element.value, u"Ghbdtn");
  }

  // The same text in another normalisation form is the same text; a value that is not a string
  // is no expectation at all.
  element.value = u"cafe\u0301";
  args.set("expectedText", "caf\u00e9");
  EXPECT_EQ(call("axSetFocusedText", args), MethodReply::Success(true));
  EXPECT_EQ(element.value, u"привет");
  args.set("expectedText", 5);
  args.set("text", "ok");
  EXPECT_EQ(call("axSetFocusedText", args), MethodReply::Success(true));
  EXPECT_EQ(element.value, u"ok");
}

TEST_F(AutomationTest, AFailedReplacementLeavesTheUsersSelectionAsItWas) {
  sim::ElementState& element = focus(u"abcdef", {1, 2});
  element.valueSettable = false;
  const std::function<void(bool)> failures[] = {
      [&](bool on) { element.refuseSelectedTextWrite = on; },
      // The value cannot be read, so the requested selection is replaced (by default all of it).
      [&](bool on) {
        element.refuseSelectedTextWrite = on;
        if (on) element.copyErrors["AXValue"] = platform::kAXErrorCannotComplete;
        if (!on) element.copyErrors.clear();
      },
  };
  for (const auto& set : failures) {
    set(true);
    EXPECT_EQ(call("axSetFocusedText", setArgs("abXYef", -1, 0)), MethodReply::Success(false));
    EXPECT_EQ(element.value, u"abcdef");
    // The next Backspace deletes what the user had selected, not the whole text.
    EXPECT_EQ(element.selection, (AXRange{1, 2}));
    set(false);
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
    sim::World w;
    w.setTrusted(true);
    sim::AppState app;
    app.pid = kEditorPid;
    app.chromium = row.kind;
    if (row.foundFrom) app.focused.emplace();
    if (row.enhancedAlreadyOn) {
      app.enhancedUserInterface = true;
      app.accessibility = sim::AccessibilityMode::kComplete;
    }
    w.addApplication(std::move(app));
    w.setFrontmost(kEditorPid);
    AutomationHandler host(w);
    std::optional<sim::Micros> found;
    for (sim::Micros t = 0; t <= 6000000; t += 100000) {
      w.advance(t - w.now());
      if (host.axFocusedText() && !found) found = t;
    }
    EXPECT_EQ(found, row.foundFrom);
    const sim::AppState& state = *w.application(kEditorPid);
    EXPECT_EQ(state.manualAccessibilityWrites, row.manualWrites);
    EXPECT_EQ(state.enhancedUserInterfaceWrites, row.enhancedWrites);
    EXPECT_EQ(state.enhancedUserInterface, row.enhancedOn);
  }
}

TEST_F(AutomationTest, TheHostsOwnWindowInFrontIsNeverAskedThroughAccessibility) {
  sim::ElementState& element = focus(u"ghbdtn", {6, 0});
  world.setHostPid(kEditorPid);
  EXPECT_EQ(call("axFocusedText"), MethodReply::Success());
  EXPECT_EQ(call("axSetFocusedText", setArgs("привет", 6, 0)), MethodReply::Success(false));
  EXPECT_EQ(element.value, u"ghbdtn");
  // At once: each request would have waited for the host's own busy main thread.
  EXPECT_EQ(world.now(), 0);
  EXPECT_EQ(world.application(kEditorPid)->timedOutCalls, 0);
  EXPECT_EQ(world.application(kEditorPid)->manualAccessibilityWrites, 0);
}

}  // namespace
}  // namespace tandrel
