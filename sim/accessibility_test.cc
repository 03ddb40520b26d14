#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <tuple>

#include "sim/sim_test.h"
#include "sim/world.h"

namespace sim {
namespace {

using platform::AXAttributeValue;
using platform::AXElement;
using platform::AXError;
using platform::AXRange;
using platform::AXValueBox;

constexpr int32_t kPid = 31;

// A trusted world whose front application's field holds "hello", "el" selected.
struct FocusedField {
  FocusedField() {
    world.setTrusted(true);
    ElementState& field = addFocusedApp(world, kPid);
    field.value = u"hello";
    field.selection = AXRange{1, 2};
  }

  AXElement focused() {
    AXAttributeValue v;
    (void)ax.copyAttributeValue(ax.createSystemWide(), "AXFocusedUIElement", v);
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

class SimAccessibilityTest : public ::testing::Test, protected FocusedField {};

// One call on the focused field "h[el]lo", or on its application, after a knob is set: the answer,
// what a read or a settable check gave, and the field afterwards.
TEST_F(SimAccessibilityTest, EachCallAnswersAsTheKnobsSay) {
  enum Call { kRead, kWrite, kSettable, kAppRead, kSystemRead };
  struct Row {
    const char* what;
    std::function<void(World&, ElementState&)> knob;
    Call call;
    const char* attribute;
    AXAttributeValue given;  // written; or what a read or a settable check gives
    AXError answer;
    std::u16string field = u"h[el]lo";
  };
  const auto none = [](auto&, auto&) {};
  const AXAttributeValue kNothing;
  const std::u16string b = u"b";
  constexpr AXError kOk = platform::kAXErrorSuccess, kNoValue = platform::kAXErrorNoValue,
                    kInvalid = platform::kAXErrorInvalidUIElement,
                    kIllegal = platform::kAXErrorIllegalArgument,
                    kUnsupported = platform::kAXErrorAttributeUnsupported;
  const Row rows[] = {
      {"no subrole", none, kRead, "AXSubrole", kNothing, kNoValue},
      {"unknown", none, kRead, "AXRoleDescription", kNothing, kUnsupported},
      {"untrusted", [](World& w, auto&) { w.setTrusted(false); }, kWrite, "AXValue", b,
       platform::kAXErrorAPIDisabled},
      {"focus gone", [](World& w, auto&) { w.application(kPid)->focused.reset(); }, kRead,
       "AXValue", kNothing, kInvalid},
      {"no focus", [](World& w, auto&) { w.application(kPid)->focused.reset(); }, kSystemRead,
       "AXFocusedUIElement", kNothing, kNoValue},
      {"none in front", [](World& w, auto&) { w.setFrontmost(std::nullopt); }, kSystemRead,
       "AXFocusedUIElement", kNothing, kNoValue},
      {"app gone", [](World& w, auto&) { w.removeApplication(kPid); }, kAppRead,
       "AXFocusedUIElement", kNothing, kInvalid},
      // An application slower than the messaging timeout, or the host's own main thread, which
      // cannot answer while it asks, times out.
      {"too slow", [](World& w, auto&) { w.application(kPid)->callDelay = 6'000'000; }, kRead,
       "AXValue", kNothing, platform::kAXErrorCannotComplete},
      {"asks itself", [](World& w, auto&) { w.setHostPid(kPid); }, kRead, "AXValue", kNothing,
       platform::kAXErrorCannotComplete},
      {"accepted", none, kWrite, "AXValue", std::u16string(u"new text"), kOk, u"new text|"},
      {"a number", none, kWrite, "AXValue", 42.0, kIllegal},
      {"ignored", [](auto&, auto& e) { e.valueWrite = WriteBehaviour::kIgnore; }, kWrite, "AXValue",
       b, kOk},
      {"reformatted", [](auto&, auto& e) { e.valueWrite = WriteBehaviour::kReformat; }, kWrite,
       "AXValue", std::u16string(u"straße ok"), kOk, u"STRASSE OK|"},
      {"not settable", [](auto&, auto& e) { e.valueSettable = false; }, kWrite, "AXValue", b,
       kUnsupported},
      {"says so", [](auto&, auto& e) { e.valueSettable = false; }, kSettable, "AXValue", false,
       kOk},
      {"past the end", none, kWrite, "AXSelectedTextRange", AXValueBox{4, {4, 10}}, kOk,
       u"hell[o]"},
      {"before the start", none, kWrite, "AXSelectedTextRange", AXValueBox{4, {-3, 2}}, kOk,
       u"[he]llo"},
      {"a CGPoint", none, kWrite, "AXSelectedTextRange", AXValueBox{1, {0, 0}}, kIllegal},
      {"replaced", none, kWrite, "AXSelectedText", b, kOk, u"hb|lo"},
      {"success, nothing done", [](auto&, auto& e) { e.ignoreSelectedTextWrite = true; }, kWrite,
       "AXSelectedText", b, kOk},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    FocusedField t;
    const AXElement el = t.focused();
    row.knob(t.world, t.state());
    AXAttributeValue got = row.given;
    bool settable = true;
    const AXElement target = row.call == kAppRead      ? t.ax.createApplication(kPid)
                             : row.call == kSystemRead ? t.ax.createSystemWide()
                                                       : el;
    if (row.call == kWrite) {
      EXPECT_EQ(t.ax.setAttributeValue(el, row.attribute, row.given), row.answer);
    } else if (row.call == kSettable) {
      EXPECT_EQ(t.ax.isAttributeSettable(el, row.attribute, settable), row.answer);
      got = settable;
    } else {
      got = {};
      EXPECT_EQ(t.ax.copyAttributeValue(target, row.attribute, got), row.answer);
    }
    EXPECT_EQ(got, row.given);
    if (const AppState* app = t.world.application(kPid); app && app->focused) {
      EXPECT_EQ(marked(*app->focused), row.field);
    }
  }
  AXAttributeValue v;
  EXPECT_EQ(ax.copyAttributeValue(nullptr, "AXValue", v), platform::kAXErrorIllegalArgument);
}

TEST_F(SimAccessibilityTest, RichAndWebElementsKeepOnlyWhatTheirEditingPathKeeps) {
  // Rich: inserted text takes the style of what precedes it.
  state().kind = ElementKind::kRich;
  state().value = u"bold ital";
  setStyleRuns(state(), {{0, 4, "bold"}, {5, 4, "italic"}, {40, 2, "beyond"}});
  select(4, 0);
  write("AXSelectedText", std::u16string(u"er"));
  EXPECT_EQ(state().value, u"bolder ital");
  EXPECT_EQ(styleRuns(state()), (std::vector<StyleRun>{{0, 6, "bold"}, {7, 4, "italic"}}));

  // Web: the editing path (selected text, typing) brings the page's model along. Chromium answers
  // success for a selected-text write and does nothing; typing still works.
  for (const auto& [kind, written, typed, model] :
       {std::tuple{ElementKind::kWebEditable, u"Nld", u"s", u"Nsld"},
        {ElementKind::kChromium, u"old", u"b", u"bld"}}) {
    state() = ElementState{};
    state().kind = kind;
    state().value = state().model = u"old";
    select(0, 1);
    EXPECT_EQ(write("AXSelectedText", std::u16string(u"N")), platform::kAXErrorSuccess);
    EXPECT_EQ(state().value, written);
    world.typeOnKeys(typed);
    world.runPending();
    EXPECT_EQ(state().model, model);
  }
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
  const auto enhanced = [](Micros at, bool on) {
    return Step{at, "AXEnhancedUserInterface", on, kOk};
  };
  const auto manual = [&](Micros at, AXError answer) { return Step{at, kManual, true, answer}; };
  const Step role{0, "AXRole", false, kOk};
  const std::nullopt_t no = std::nullopt;
  const Row rows[] = {
      {Chromium::kNone, {manual(0, kUnsupported)}, "11111111", no},
      {Chromium::kChrome, {manual(0, kUnsupported)}, "00000000", no},
      {Chromium::kChrome, {enhanced(0, true)}, "00011111", no},
      // On and off inside 2 s: nothing at all; off after it took effect: off at once.
      {Chromium::kChrome, {enhanced(0, true), enhanced(kS, false)}, "00000000", no},
      {Chromium::kChrome, {enhanced(0, true), enhanced(3 * kS, false)}, "00011000", no},
      {Chromium::kChromeBefore14, {enhanced(0, true), enhanced(kS, false)}, "01111000", no},
      // Reading the application's role turns the basic mode on only without the refinements.
      {Chromium::kChromeBefore14, {role}, "01111111", no},
      {Chromium::kChrome, {role}, "00000000", no},
      {Chromium::kElectronOld, {manual(0, kUnsupported)}, "01111111", no},
      {Chromium::kElectronOld, {manual(0, kUnsupported), enhanced(kS, false)}, "01000000", no},
      {Chromium::kElectronReadable, {manual(0, kOk)}, "01111111", true},
      // Each set restarts the debounce.
      {Chromium::kElectronDebounced, {manual(0, kOk), manual(kS, kOk)}, "00000001", true},
  };
  int index = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(index++);
    FocusedField t;
    World& w = t.world;
    w.application(kPid)->chromium = row.kind;
    platform::Accessibility& a = t.ax;
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
    (void)ax.copyAttributeValue(el, "AXValue", value);
    (void)ax.copyAttributeValue(el, "AXSelectedTextRange", selection);
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
