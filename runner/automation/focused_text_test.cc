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
  // Nothing in front: the system-wide focus is still asked, and no application is touched.
  const int writes = world.application(kEditorPid)->manualAccessibilityWrites;
  EXPECT_GE(writes, 5);
  world.setFrontmost(std::nullopt);
  EXPECT_EQ(call("axFocusedText"), MethodReply::Success());
  EXPECT_EQ(world.application(kEditorPid)->manualAccessibilityWrites, writes);
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
  EXPECT_EQ(world.application(kEditorPid)->manualAccessibilityWrites, 3);
}

TEST_F(AutomationTest, AWholeValueWriteIsVerifiedAndPutsTheSelectionBack) {
  sim::ElementState& element = focus(u"ghbdtn", {6, 0});
  EXPECT_EQ(call("axSetFocusedText", setArgs("привет", 2, 3)), MethodReply::Success(true));
  EXPECT_EQ(element.value, u"привет");
  EXPECT_EQ(element.selection, (AXRange{2, 3}));
  EXPECT_EQ(world.takePauses(), Pauses{50000});

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

TEST_F(AutomationTest, AnUnreadableValueFallsBackToReplacingTheRequestedSelection) {
  // Without the current text no changed range can be found: the whole value is written, and
  // failing that the requested selection is replaced.
  sim::ElementState& element = focus(u"abcdefg");
  element.copyErrors["AXValue"] = platform::kAXErrorCannotComplete;
  element.valueWrite = WriteBehaviour::kRefuse;
  EXPECT_EQ(call("axSetFocusedText", setArgs("abXYZfg", 2, 3)), MethodReply::Success(true));
  EXPECT_EQ(element.value, u"abXYZfg");
  EXPECT_EQ(element.selection, (AXRange{2, 3}));
  EXPECT_EQ(world.takePauses(), Pauses{50000});

  // Not settable, or refused: no usable selection replaces the whole length of the new text.
  for (bool refuse : {false, true}) {
    element.value = u"hello";
    element.valueSettable = refuse;
    EXPECT_EQ(call("axSetFocusedText", setArgs("HELLO", 3, 0)), MethodReply::Success(true));
    EXPECT_EQ(element.value, u"HELLO");
    EXPECT_EQ(element.selection, (AXRange{3, 0}));
    EXPECT_EQ(world.takePauses(), Pauses{50000});
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
      {sim::ElementKind::kRich, {50000}},
      {sim::ElementKind::kWebEditable, {50000}},
      {sim::ElementKind::kChromium, {50000, 5000, 50000}}};
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

TEST_F(AutomationTest, AChromiumFieldIsTypedIntoAsTypeTextTypes) {
  constexpr int32_t kOtherPid = 200;
  sim::AppState other;
  other.pid = kOtherPid;
  other.focused.emplace();
  world.addApplication(std::move(other));
  sim::ElementState& element = focus(u"ab", {2, 0});
  element.kind = sim::ElementKind::kChromium;
  // A replacement longer than one chunk, with a surrogate pair across the 20-unit boundary.
  const std::u16string typed = u"0123456789012345678😀xyz";
  const std::u16string wanted = u"a" + typed + u"b";
  EXPECT_EQ(call("axSetFocusedText", ValueMap{{"text", text::utf16ToUtf8(wanted)}}),
            MethodReply::Success(true));
  EXPECT_EQ(element.model, wanted);
  std::vector<std::u16string> chunks;
  for (const sim::PostedEvent& event : world.takePosted()) {
    if (event.type == platform::kCGEventKeyDown) chunks.push_back(event.unicode);
  }
  EXPECT_EQ(chunks, (std::vector<std::u16string>{typed.substr(0, 19), typed.substr(19)}));
  EXPECT_EQ(world.takePauses(), (Pauses{50000, 5000, 5000, 50000}));

  // Deleting a span is one Backspace; the requested selection is set afterwards.
  EXPECT_EQ(call("axSetFocusedText", setArgs("ab", 1, 0)), MethodReply::Success(true));
  EXPECT_EQ(element.model, u"ab");
  EXPECT_EQ(element.selection, (AXRange{1, 0}));
  EXPECT_EQ(world.takePauses(), (Pauses{50000, 3000, 50000}));

  // The user types during the pauses: the read-back differs from both texts, so the whole value
  // is not written over the user's key, and the answer is false.
  world.at(world.now() + 52000, [&] { world.typeOnKeys(u"x"); });
  EXPECT_EQ(call("axSetFocusedText", setArgs("aZb", -1, 0)), MethodReply::Success(false));
  EXPECT_EQ(element.model, u"aZxb");
  EXPECT_EQ(element.value, u"aZxb");

  // Another application comes to the front during the first pause: nothing is typed into it, and
  // the whole value is written as before the typing path.
  world.at(world.now() + 10000, [&] { world.activate(kOtherPid); });
  EXPECT_EQ(call("axSetFocusedText", setArgs("abc", -1, 0)), MethodReply::Success(true));
  EXPECT_EQ(world.application(kOtherPid)->focused->value, u"");
  EXPECT_EQ(element.value, u"abc");
}

TEST_F(AutomationTest, TheWholeValueIsWrittenOnlyWhenTheRangeEditIsUnavailableOrRefused) {
  sim::ElementState& element = focus(u"ghbdtn vbh", {3, 0});
  // Each way the range edit is unavailable or refused, and whether the selection can be set.
  const std::pair<std::function<void(bool)>, bool> noRangeEdit[] = {
      {[&](bool on) { element.selectedTextSettable = !on; }, true},
      {[&](bool on) { element.selectionSettable = !on; }, false},
      {[&](bool on) { element.refuseSelectedTextWrite = on; }, true},
      {[&](bool on) { element.refuseSelectionWrite = on; }, false},
      // Success, yet no change, and typing the span changes nothing either.
      {[&](bool on) { element.ignoreSelectedTextWrite = element.ignoreTyping = on; }, true},
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
  EXPECT_EQ(world.takePauses(), (Pauses{50000, 50000, 50000, 50000, 50000, 5000, 50000, 50000}));
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

  // Text that differs only in case is other text.
  element.value = u"Ghbdtn";
  args.set("expectedText", "ghbdtn");
  EXPECT_EQ(call("axSetFocusedText", args), MethodReply::Success(false));
  EXPECT_EQ(element.value, u"Ghbdtn");

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
      // Electron-style: every write and every typed key answers or passes, and nothing changes.
      [&](bool on) {
        element.kind = on ? sim::ElementKind::kChromium : sim::ElementKind::kPlain;
        element.valueSettable = element.ignoreTyping = on;
        element.valueWrite = on ? WriteBehaviour::kIgnore : WriteBehaviour::kAccept;
      },
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

TEST_F(AutomationTest, AChromePageIsReadWithTheEnhancedInterfaceOnForOneCallOnly) {
  sim::ElementState& element = focus(u"ghbdtn", {6, 0});
  element.kind = sim::ElementKind::kChromium;
  sim::AppState& app = *world.application(kEditorPid);
  app.refuseManualAccessibility = true;
  app.hidesTreeUntilEnhancedUserInterface = true;
  EXPECT_EQ(call("axFocusedText"), shows("ghbdtn", 6, 0));
  ValueMap args = setArgs("привет", 6, 0);
  args.set("expectedText", "ghbdtn");
  EXPECT_EQ(call("axSetFocusedText", args), MethodReply::Success(true));
  EXPECT_EQ(element.model, u"привет");
  EXPECT_FALSE(app.enhancedUserInterface);
  EXPECT_EQ(app.enhancedUserInterfaceWrites, 4) << "on, then off, in each call";

  // Never for an application that shows its field anyway, takes the manual switch, or fails the
  // write otherwise; one that someone else switched on stays on.
  const sim::ElementState field = element;
  const std::function<void(bool)> others[] = {
      [&](bool on) { app.hidesTreeUntilEnhancedUserInterface = !on; },
      [&](bool on) {
        app.refuseManualAccessibility = !on;
        app.hidesTreeUntilManualAccessibility = on;
      },
      [&](bool on) { app.failsWrites = on; },
      [&](bool on) {
        app.enhancedUserInterface = on;
        if (on) app.focused.reset();
      },
  };
  for (const auto& set : others) {
    app.enhancedUserInterfaceWrites = 0;
    set(true);
    const bool wasOn = app.enhancedUserInterface;
    EXPECT_TRUE(call("axFocusedText").isSuccess());
    EXPECT_EQ(app.enhancedUserInterfaceWrites, 0);
    EXPECT_EQ(app.enhancedUserInterface, wasOn);
    set(false);
    app.focused = field;
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
