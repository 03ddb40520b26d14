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

TEST_F(SimAccessibilityTest, AHiddenTreeAppearsOnceManualAccessibilityIsSet) {
  AppState& app = *world.application(kPid);
  app.hidesTreeUntilManualAccessibility = true;
  EXPECT_EQ(focused(), nullptr);
  const AXElement appElement = ax.createApplication(kPid);
  EXPECT_EQ(ax.setAttributeValue(appElement, "AXManualAccessibility", 1.0),
            platform::kAXErrorIllegalArgument);
  EXPECT_EQ(focused(), nullptr);
  EXPECT_EQ(ax.setAttributeValue(appElement, "AXManualAccessibility", true),
            platform::kAXErrorSuccess);
  EXPECT_NE(focused(), nullptr);

  app.refuseManualAccessibility = true;
  app.manualAccessibility = false;
  EXPECT_NE(ax.setAttributeValue(appElement, "AXManualAccessibility", true),
            platform::kAXErrorSuccess);
  EXPECT_EQ(focused(), nullptr);
  EXPECT_EQ(app.manualAccessibilityWrites, 3) << "every attempt counts";
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

TEST_F(SimAccessibilityTest, AChromeApplicationShowsItsFieldOnlyWhileTheEnhancedInterfaceIsOn) {
  AppState& app = *world.application(kPid);
  app.hidesTreeUntilEnhancedUserInterface = true;
  const AXElement application = ax.createApplication(kPid);
  EXPECT_EQ(focused(), nullptr);
  EXPECT_EQ(ax.setAttributeValue(application, "AXEnhancedUserInterface", true),
            platform::kAXErrorSuccess);
  const AXElement el = focused();
  ASSERT_NE(el, nullptr);
  AXAttributeValue v;
  EXPECT_EQ(copy(application, "AXEnhancedUserInterface", &v), platform::kAXErrorSuccess);
  EXPECT_EQ(v, AXAttributeValue(true));
  EXPECT_EQ(ax.setAttributeValue(application, "AXEnhancedUserInterface", false),
            platform::kAXErrorSuccess);
  EXPECT_EQ(copy(el, "AXValue"), platform::kAXErrorInvalidUIElement) << "the tree is gone again";
  EXPECT_EQ(app.enhancedUserInterfaceWrites, 2);
}

}  // namespace
}  // namespace sim
