#include <gtest/gtest.h>

#include <string>

#include "sim/recording_tap.h"
#include "sim/world.h"

namespace sim {
namespace {

using platform::AXAttributeValue;
using platform::AXElement;
using platform::AXError;
using platform::AXRange;
using platform::AXValueBox;

class SimAccessibilityTest : public ::testing::Test {
 protected:
  static constexpr int32_t kPid = 31;

  SimAccessibilityTest() {
    world.setTrusted(true);
    ElementState& field = addFocusedApp(world, kPid);
    field.value = u"hello";
    field.selection = AXRange{1, 2};
  }

  // Copies an attribute; the error, and the value in `value`.
  AXError copy(const AXElement& element, const char* attribute, AXAttributeValue* value = nullptr) {
    AXAttributeValue v;
    const AXError e = ax.copyAttributeValue(element, attribute, v);
    if (value) *value = v;
    return e;
  }
  AXElement focused() {
    AXAttributeValue v;
    copy(ax.createSystemWide(), "AXFocusedUIElement", &v);
    const AXElement* element = std::get_if<AXElement>(&v);
    return element ? *element : nullptr;
  }
  AXError write(const char* attribute, const AXAttributeValue& value) {
    return ax.setAttributeValue(focused(), attribute, value);
  }
  AXError select(int64_t location, int64_t length) {
    return write("AXSelectedTextRange", *ax.createRangeValue({location, length}));
  }
  ElementState& state() { return *world.focusedElement(); }

  World world;
  platform::Accessibility& ax = world.accessibility();
};

TEST_F(SimAccessibilityTest, TheFocusedElementAnswersAsItsKnobsSay) {
  const AXElement el = focused();
  ASSERT_NE(el, nullptr);
  AXAttributeValue v;
  EXPECT_EQ(copy(el, "AXSelectedTextRange", &v), platform::kAXErrorSuccess);
  EXPECT_EQ(v, AXAttributeValue(AXValueBox{4, {1, 2}}));
  EXPECT_EQ(copy(el, "AXSubrole"), platform::kAXErrorNoValue);
  EXPECT_EQ(copy(el, "AXRoleDescription"), platform::kAXErrorAttributeUnsupported);

  state().valueIsNumber = true;
  state().numberValue = 3.5;
  state().selectionIsNotRange = true;
  copy(el, "AXValue", &v);
  EXPECT_EQ(v, AXAttributeValue(3.5));
  copy(el, "AXSelectedTextRange", &v);
  EXPECT_EQ(std::get<AXValueBox>(v).type, 1) << "a CGPoint";

  state().valueIsNumber = false;
  state().value = std::nullopt;
  EXPECT_EQ(copy(el, "AXValue"), platform::kAXErrorNoValue);
  state().value = u"x";
  state().copyErrors["AXValue"] = platform::kAXErrorCannotComplete;
  EXPECT_EQ(copy(el, "AXValue"), platform::kAXErrorCannotComplete) << "injected errors win";
}

TEST_F(SimAccessibilityTest, NothingAnswersWithoutTrustAFrontAppOrAFocusedElement) {
  const AXElement el = focused();
  world.setTrusted(false);
  EXPECT_EQ(copy(ax.createSystemWide(), "AXFocusedUIElement"), platform::kAXErrorAPIDisabled);
  EXPECT_EQ(ax.setAttributeValue(el, "AXValue", std::u16string(u"x")),
            platform::kAXErrorAPIDisabled);
  EXPECT_EQ(state().value, u"hello");
  world.setTrusted(true);

  world.faults().systemWideFocusFails = true;
  EXPECT_EQ(copy(ax.createSystemWide(), "AXFocusedUIElement"), platform::kAXErrorCannotComplete);
  world.faults().systemWideFocusFails = false;
  world.application(kPid)->focused.reset();
  EXPECT_EQ(copy(ax.createSystemWide(), "AXFocusedUIElement"), platform::kAXErrorNoValue);
  EXPECT_EQ(copy(el, "AXValue"), platform::kAXErrorInvalidUIElement) << "its element is gone";
  world.setFrontmost(std::nullopt);
  EXPECT_EQ(copy(ax.createSystemWide(), "AXFocusedUIElement"), platform::kAXErrorNoValue);
  world.removeApplication(kPid);
  EXPECT_EQ(copy(ax.createApplication(kPid), "AXFocusedUIElement"),
            platform::kAXErrorInvalidUIElement);
  EXPECT_EQ(copy(nullptr, "AXValue"), platform::kAXErrorIllegalArgument);
}

TEST_F(SimAccessibilityTest, ValueWritesFollowTheApplicationsBehaviour) {
  EXPECT_EQ(write("AXValue", 42.0), platform::kAXErrorIllegalArgument);
  EXPECT_EQ(write("AXValue", std::u16string(u"new text")), platform::kAXErrorSuccess);
  EXPECT_EQ(state().value, u"new text");
  EXPECT_EQ(state().selection, (AXRange{8, 0})) << "caret after the new text";

  state().valueWrite = WriteBehaviour::kRefuse;
  EXPECT_EQ(write("AXValue", std::u16string(u"a")), platform::kAXErrorCannotComplete);
  state().valueWrite = WriteBehaviour::kIgnore;
  EXPECT_EQ(write("AXValue", std::u16string(u"b")), platform::kAXErrorSuccess);
  EXPECT_EQ(state().value, u"new text");
  state().valueWrite = WriteBehaviour::kReformat;
  EXPECT_EQ(write("AXValue", std::u16string(u"straße ok")), platform::kAXErrorSuccess);
  EXPECT_EQ(state().value, u"STRASSE OK");

  state().valueSettable = false;
  bool settable = true;
  EXPECT_EQ(ax.isAttributeSettable(focused(), "AXValue", settable), platform::kAXErrorSuccess);
  EXPECT_FALSE(settable);
  EXPECT_NE(write("AXValue", std::u16string(u"d")), platform::kAXErrorSuccess);
  EXPECT_EQ(state().value, u"STRASSE OK");
}

TEST_F(SimAccessibilityTest, SelectionWritesAreClampedAndSelectedTextReplacesTheSelection) {
  EXPECT_EQ(select(4, 10), platform::kAXErrorSuccess);
  EXPECT_EQ(state().selection, (AXRange{4, 1}));
  EXPECT_EQ(select(-3, 2), platform::kAXErrorSuccess);
  EXPECT_EQ(state().selection, (AXRange{0, 2}));
  EXPECT_EQ(write("AXSelectedTextRange", AXValueBox{1, {0, 0}}), platform::kAXErrorIllegalArgument);

  EXPECT_EQ(write("AXSelectedText", std::u16string(u"J")), platform::kAXErrorSuccess);
  EXPECT_EQ(state().value, u"Jllo");
  EXPECT_EQ(state().selection, (AXRange{1, 0}));

  state().refuseSelectionWrite = true;
  EXPECT_NE(select(0, 1), platform::kAXErrorSuccess);
  EXPECT_EQ(state().selection, (AXRange{1, 0}));
  state().refuseSelectedTextWrite = true;
  EXPECT_NE(write("AXSelectedText", std::u16string(u"Z")), platform::kAXErrorSuccess);
  EXPECT_EQ(state().value, u"Jllo");
  world.faults().rangeValueCreateFails = true;
  EXPECT_EQ(ax.createRangeValue({0, 0}), std::nullopt);
}

TEST_F(SimAccessibilityTest, RichAndWebElementsKeepOnlyWhatTheirEditingPathKeeps) {
  // Rich: an edit keeps the styles outside its range and styles new text like what it replaced
  // (or what precedes it); typing does the same; a value write drops every style.
  state().kind = ElementKind::kRich;
  state().value = u"bold ital";
  setStyleRuns(state(), {{0, 4, "bold"}, {5, 4, "italic"}, {40, 2, "beyond"}});
  EXPECT_EQ(styleRuns(state()), (std::vector<StyleRun>{{0, 4, "bold"}, {5, 4, "italic"}}));
  select(5, 4);
  write("AXSelectedText", std::u16string(u"italics"));
  select(4, 0);
  write("AXSelectedText", std::u16string(u"er"));
  EXPECT_EQ(state().value, u"bolder italics");
  EXPECT_EQ(styleRuns(state()), (std::vector<StyleRun>{{0, 6, "bold"}, {7, 7, "italic"}}));
  select(14, 0);
  world.typeOnKeys(u"!");
  world.runPending();
  EXPECT_EQ(styleRuns(state()), (std::vector<StyleRun>{{0, 6, "bold"}, {7, 8, "italic"}}));
  for (int i = 0; i < 9; ++i) world.pressKey(51);
  world.runPending();
  EXPECT_EQ(state().value, u"bolder");
  EXPECT_EQ(styleRuns(state()), (std::vector<StyleRun>{{0, 6, "bold"}}));
  write("AXValue", std::u16string(u"bolder!"));
  EXPECT_EQ(styleRuns(state()), std::vector<StyleRun>{});

  // Web: a value write shows new text that the page's model never hears of; the editing path
  // (selected text, typing) brings the model along.
  state() = ElementState{};
  state().kind = ElementKind::kWebEditable;
  state().value = state().model = u"old";
  write("AXValue", std::u16string(u"new"));
  EXPECT_EQ(state().value, u"new");
  EXPECT_EQ(state().model, u"old");
  select(0, 1);
  write("AXSelectedText", std::u16string(u"N"));
  EXPECT_EQ(state().model, u"New");
  world.typeOnKeys(u"s");
  world.runPending();
  EXPECT_EQ(state().model, u"Nsew");

  // An application may answer success for a selected-text write and do nothing.
  state().ignoreSelectedTextWrite = true;
  EXPECT_EQ(write("AXSelectedText", std::u16string(u"x")), platform::kAXErrorSuccess);
  EXPECT_EQ(state().value, u"Nsew");

  // Chromium does so always; the selection and typing still work, and typing reaches the model.
  // A page that cancels its input events takes no typing at all.
  state() = ElementState{};
  state().kind = ElementKind::kChromium;
  state().value = state().model = u"old";
  select(0, 1);
  EXPECT_EQ(write("AXSelectedText", std::u16string(u"N")), platform::kAXErrorSuccess);
  EXPECT_EQ(state().value, u"old");
  world.typeOnKeys(u"b");
  world.runPending();
  EXPECT_EQ(state().model, u"bld");
  write("AXValue", std::u16string(u"new"));
  EXPECT_EQ(state().model, u"bld");
  state().ignoreTyping = true;
  world.typeOnKeys(u"s");
  world.pressKey(51);
  world.runPending();
  EXPECT_EQ(state().value, u"new");
}

TEST_F(SimAccessibilityTest, ASlowApplicationAnswersAfterItsDelayAndTimesOutBeyondTheTimeout) {
  world.application(kPid)->callDelay = 200000;
  ASSERT_EQ(ax.setMessagingTimeout(ax.createSystemWide(), 1.0f), platform::kAXErrorSuccess);
  const AXElement el = focused();
  EXPECT_EQ(world.now(), 200000);
  AXAttributeValue v;
  EXPECT_EQ(copy(el, "AXValue", &v), platform::kAXErrorSuccess);
  EXPECT_EQ(v, AXAttributeValue(std::u16string(u"hello")));
  EXPECT_EQ(write("AXSelectedText", std::u16string(u"EL")), platform::kAXErrorSuccess);
  EXPECT_EQ(state().value, u"hELlo");
  EXPECT_EQ(world.now(), 800000) << "four calls, the write's lookup included";
  EXPECT_EQ(world.application(kPid)->timedOutCalls, 0);
  // The host's own main thread cannot answer while it asks, whatever the delay.
  world.application(kPid)->callDelay = 1000000;
  EXPECT_EQ(copy(el, "AXValue"), platform::kAXErrorCannotComplete);
  world.application(kPid)->callDelay = 0;
  world.setHostPid(kPid);
  EXPECT_EQ(copy(el, "AXValue"), platform::kAXErrorCannotComplete);
  EXPECT_EQ(world.now(), 2800000);
  EXPECT_EQ(world.application(kPid)->timedOutCalls, 2);
}

// Each Chromium-based application as its sources behave: which switch builds its pages' tree, what
// a set answers, and when the tree (and with it the focused element) is there.
TEST_F(SimAccessibilityTest, EachChromiumApplicationTakesItsSwitchesAsItsSourcesDo) {
  constexpr Micros kS = 1000000;
  constexpr AXError kOk = platform::kAXErrorSuccess;
  constexpr AXError kUnsupported = platform::kAXErrorAttributeUnsupported;
  struct Step {
    Micros at;
    const char* attribute;  // set to `on`; "AXRole" is read
    bool on;
    AXError answer;
  };
  // Whether the focused element is found just before and at 0.3 s, 2.3 s, 3 s and 3.3 s.
  const Micros kLooks[] = {299999, 300000, 2299999, 2300000, 2999999, 3000000, 3299999, 3300000};
  struct Row {
    Chromium kind;
    std::vector<Step> steps;
    const char* shown;                // one digit per look
    std::optional<bool> manualReads;  // at the end; nullopt: the read is unsupported
  };
  const char* const kManual = "AXManualAccessibility";
  const char* const kEnhanced = "AXEnhancedUserInterface";
  const Row rows[] = {
      {Chromium::kNone, {{0, kManual, true, kUnsupported}}, "11111111", std::nullopt},
      {Chromium::kChrome, {{0, kManual, true, kUnsupported}}, "00000000", std::nullopt},
      {Chromium::kChrome, {{0, kEnhanced, true, kOk}}, "00011111", std::nullopt},
      // On and off inside 2 s: nothing at all; off after it took effect: off at once.
      {Chromium::kChrome,
       {{0, kEnhanced, true, kOk}, {kS, kEnhanced, false, kOk}},
       "00000000",
       std::nullopt},
      {Chromium::kChrome,
       {{0, kEnhanced, true, kOk}, {3 * kS, kEnhanced, false, kOk}},
       "00011000",
       std::nullopt},
      {Chromium::kChromeBefore14,
       {{0, kEnhanced, true, kOk}, {kS, kEnhanced, false, kOk}},
       "01111000",
       std::nullopt},
      // Reading the application's role turns the basic mode on only without the refinements.
      {Chromium::kChromeBefore14, {{0, "AXRole", false, kOk}}, "01111111", std::nullopt},
      {Chromium::kChrome, {{0, "AXRole", false, kOk}}, "00000000", std::nullopt},
      {Chromium::kElectronOld, {{0, kManual, true, kUnsupported}}, "01111111", std::nullopt},
      {Chromium::kElectronOld,
       {{0, kManual, true, kUnsupported}, {kS, kEnhanced, false, kOk}},
       "01000000",
       std::nullopt},
      {Chromium::kElectronReadable, {{0, kManual, true, kOk}}, "01111111", true},
      // Each set restarts the debounce.
      {Chromium::kElectronDebounced,
       {{0, kManual, true, kOk}, {kS, kManual, true, kOk}},
       "00000001",
       true},
  };
  int index = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(index++);
    World w;
    w.setTrusted(true);
    addFocusedApp(w, kPid);
    w.application(kPid)->chromium = row.kind;
    platform::Accessibility& a = w.accessibility();
    const AXElement app = a.createApplication(kPid);
    AXAttributeValue v;
    std::string shown;
    size_t step = 0;
    for (const Micros look : kLooks) {
      for (; step < row.steps.size() && row.steps[step].at <= look; ++step) {
        const Step& s = row.steps[step];
        w.advance(s.at - w.now());
        EXPECT_EQ(std::string_view(s.attribute) == "AXRole"
                      ? a.copyAttributeValue(app, s.attribute, v)
                      : a.setAttributeValue(app, s.attribute, s.on),
                  s.answer);
      }
      w.advance(look - w.now());
      shown +=
          a.copyAttributeValue(a.createSystemWide(), "AXFocusedUIElement", v) == kOk ? '1' : '0';
    }
    EXPECT_EQ(shown, row.shown);
    const AXError read = a.copyAttributeValue(app, kManual, v);
    EXPECT_EQ(read == kOk ? std::optional(v == AXAttributeValue(true)) : std::nullopt,
              row.manualReads);
    // Electron tells its windows of every set; the others say nothing.
    size_t notes = 0;
    for (const TraceEntry& entry : w.takeTrace()) notes += entry.kind == "accessibilitySwitch";
    const bool electron = row.kind == Chromium::kElectronOld ||
                          row.kind == Chromium::kElectronReadable ||
                          row.kind == Chromium::kElectronDebounced;
    EXPECT_EQ(notes, electron ? row.steps.size() : 0);
  }
}

// A change in a Chromium page reaches accessibility a frame later (after a page load, 150 ms
// later); changes within that time arrive together; the page itself has them at once.
TEST_F(SimAccessibilityTest, AChromiumPageShowsItsChangesToAccessibilityLate) {
  state().kind = ElementKind::kChromium;
  state().model = u"hello";
  const AXElement el = focused();
  const auto reads = [&] {
    AXAttributeValue value, selection;
    copy(el, "AXValue", &value);
    copy(el, "AXSelectedTextRange", &selection);
    return std::pair{std::get<std::u16string>(value), std::get<AXValueBox>(selection).range};
  };
  world.selectRange({5, 0});
  world.advance(1000);
  world.typeOnKeys(u"!");
  world.runPending();
  EXPECT_EQ(state().model, u"hello!");
  EXPECT_EQ(reads(), std::pair(std::u16string(u"hello"), AXRange{1, 2})) << "neither change yet";
  world.advance(kFrameLag - 1);
  EXPECT_EQ(reads(), std::pair(std::u16string(u"hello!"), AXRange{6, 0}));

  state().axLag = kPageLoadLag;
  world.pressKey(51);
  world.runPending();
  world.advance(kPageLoadLag - 1);
  EXPECT_EQ(reads().first, u"hello!");
  world.advance(1);
  EXPECT_EQ(reads().first, u"hello");
  // A value write reads back at once, though the page never hears of it.
  world.pressKey(51);
  world.runPending();
  EXPECT_EQ(write("AXValue", std::u16string(u"new")), platform::kAXErrorSuccess);
  EXPECT_EQ(reads().first, u"new");
  EXPECT_EQ(state().model, u"hell");
}

}  // namespace
}  // namespace sim
