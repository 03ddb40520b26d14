#include <gtest/gtest.h>

#include <string>

#include "sim/world.h"

namespace sim {
namespace {

using platform::AXAttributeValue;
using platform::AXElement;
using platform::AXRange;
using platform::AXValueBox;

class SimAccessibilityTest : public ::testing::Test {
 protected:
  static constexpr int32_t kPid = 31;

  SimAccessibilityTest() {
    world.setTrusted(true);
    AppState app;
    app.pid = kPid;
    app.focused = ElementState{};
    app.focused->value = u"hello";
    app.focused->selection = AXRange{1, 2};
    world.addApplication(std::move(app));
    world.setFrontmost(kPid);
  }

  // The system-wide focused element, or null with the error in `error`.
  AXElement focused(platform::AXError* error = nullptr) {
    AXAttributeValue v;
    const platform::AXError e =
        ax.copyAttributeValue(ax.createSystemWide(), "AXFocusedUIElement", v);
    if (error) *error = e;
    const AXElement* element = std::get_if<AXElement>(&v);
    return e == platform::kAXErrorSuccess && element ? *element : nullptr;
  }
  AXAttributeValue copy(const AXElement& element, const char* attribute,
                        platform::AXError expected = platform::kAXErrorSuccess) {
    AXAttributeValue v;
    EXPECT_EQ(ax.copyAttributeValue(element, attribute, v), expected) << attribute;
    return v;
  }
  ElementState& state() { return *world.focusedElement(); }

  World world;
  platform::Accessibility& ax = world.accessibility();
};

TEST_F(SimAccessibilityTest, TheFocusedElementReportsValueSelectionAndSubrole) {
  const AXElement el = focused();
  ASSERT_NE(el, nullptr);
  EXPECT_EQ(copy(el, "AXValue"), AXAttributeValue(std::u16string(u"hello")));
  EXPECT_EQ(copy(el, "AXSelectedTextRange"), AXAttributeValue(AXValueBox{4, {1, 2}}));
  EXPECT_EQ(copy(el, "AXSelectedText"), AXAttributeValue(std::u16string(u"el")));
  copy(el, "AXSubrole", platform::kAXErrorNoValue);
  copy(el, "AXRoleDescription", platform::kAXErrorAttributeUnsupported);

  state().subrole = u"AXSecureTextField";
  state().valueIsNumber = true;
  state().numberValue = 3.5;
  state().selectionIsNotRange = true;
  EXPECT_EQ(copy(el, "AXSubrole"), AXAttributeValue(std::u16string(u"AXSecureTextField")));
  EXPECT_EQ(copy(el, "AXValue"), AXAttributeValue(3.5));
  EXPECT_EQ(std::get<AXValueBox>(copy(el, "AXSelectedTextRange")).type, 1) << "a CGPoint";

  state().valueIsNumber = false;
  state().value = std::nullopt;
  state().selectionIsNotRange = false;
  state().selection = std::nullopt;
  copy(el, "AXValue", platform::kAXErrorNoValue);
  copy(el, "AXSelectedTextRange", platform::kAXErrorNoValue);

  // Injected errors win over everything else.
  state().value = u"x";
  state().copyErrors["AXValue"] = platform::kAXErrorCannotComplete;
  copy(el, "AXValue", platform::kAXErrorCannotComplete);
}

TEST_F(SimAccessibilityTest, FocusLookupFailsWithoutTrustFrontAppFocusOrElement) {
  platform::AXError error = 0;
  const AXElement el = focused();
  world.setTrusted(false);
  EXPECT_EQ(focused(&error), nullptr);
  EXPECT_EQ(error, platform::kAXErrorAPIDisabled);
  copy(el, "AXValue", platform::kAXErrorAPIDisabled);
  bool settable = true;
  EXPECT_EQ(ax.isAttributeSettable(el, "AXValue", settable), platform::kAXErrorAPIDisabled);
  EXPECT_EQ(ax.setAttributeValue(el, "AXValue", std::u16string(u"x")),
            platform::kAXErrorAPIDisabled);
  EXPECT_EQ(state().value, u"hello");
  world.setTrusted(true);

  world.faults().systemWideFocusFails = true;
  EXPECT_EQ(focused(&error), nullptr);
  EXPECT_EQ(error, platform::kAXErrorCannotComplete);
  world.faults().systemWideFocusFails = false;

  world.application(kPid)->focused.reset();
  EXPECT_EQ(focused(&error), nullptr);
  EXPECT_EQ(error, platform::kAXErrorNoValue);
  copy(el, "AXValue", platform::kAXErrorInvalidUIElement);  // its element is gone

  world.setFrontmost(std::nullopt);
  EXPECT_EQ(focused(&error), nullptr);
  EXPECT_EQ(error, platform::kAXErrorNoValue);

  world.removeApplication(kPid);
  copy(ax.createApplication(kPid), "AXFocusedUIElement", platform::kAXErrorInvalidUIElement);
  AXAttributeValue v;
  EXPECT_EQ(ax.copyAttributeValue(nullptr, "AXValue", v), platform::kAXErrorIllegalArgument);
}

TEST_F(SimAccessibilityTest, AHiddenTreeAppearsOnceManualAccessibilityIsSet) {
  AppState& app = *world.application(kPid);
  app.hidesTreeUntilManualAccessibility = true;
  platform::AXError error = 0;
  EXPECT_EQ(focused(&error), nullptr);
  EXPECT_EQ(error, platform::kAXErrorNoValue);

  const AXElement appElement = ax.createApplication(kPid);
  EXPECT_EQ(ax.setAttributeValue(appElement, "AXManualAccessibility", 1.0),
            platform::kAXErrorIllegalArgument);
  EXPECT_EQ(focused(), nullptr);
  EXPECT_EQ(ax.setAttributeValue(appElement, "AXManualAccessibility", true),
            platform::kAXErrorSuccess);
  EXPECT_NE(focused(), nullptr);
  EXPECT_EQ(app.manualAccessibilityWrites, 2);
  EXPECT_EQ(copy(appElement, "AXManualAccessibility"), AXAttributeValue(true));

  app.refuseManualAccessibility = true;
  app.manualAccessibility = false;
  EXPECT_NE(ax.setAttributeValue(appElement, "AXManualAccessibility", true),
            platform::kAXErrorSuccess);
  EXPECT_EQ(focused(), nullptr);
  EXPECT_EQ(app.manualAccessibilityWrites, 3);
  EXPECT_EQ(ax.setAttributeValue(ax.createApplication(999), "AXManualAccessibility", true),
            platform::kAXErrorInvalidUIElement);
}

TEST_F(SimAccessibilityTest, ValueWritesFollowTheApplicationsBehaviour) {
  const AXElement el = focused();
  const std::u16string written = u"new text";
  EXPECT_EQ(ax.setAttributeValue(el, "AXValue", 42.0), platform::kAXErrorIllegalArgument);
  EXPECT_EQ(ax.setAttributeValue(el, "AXValue", written), platform::kAXErrorSuccess);
  EXPECT_EQ(state().value, written);
  EXPECT_EQ(state().selection, (AXRange{8, 0})) << "caret after the new text";

  state().valueWrite = WriteBehaviour::kRefuse;
  EXPECT_EQ(ax.setAttributeValue(el, "AXValue", std::u16string(u"a")),
            platform::kAXErrorCannotComplete);
  state().valueWrite = WriteBehaviour::kIgnore;
  EXPECT_EQ(ax.setAttributeValue(el, "AXValue", std::u16string(u"b")), platform::kAXErrorSuccess);
  EXPECT_EQ(state().value, written);

  state().valueWrite = WriteBehaviour::kReformat;
  EXPECT_EQ(ax.setAttributeValue(el, "AXValue", std::u16string(u"straße ok")),
            platform::kAXErrorSuccess);
  EXPECT_EQ(state().value, u"STRASSE OK");
  state().reformatTo = u"(formatted)";
  ax.setAttributeValue(el, "AXValue", std::u16string(u"c"));
  EXPECT_EQ(state().value, u"(formatted)");

  bool settable = false;
  EXPECT_EQ(ax.isAttributeSettable(el, "AXValue", settable), platform::kAXErrorSuccess);
  EXPECT_TRUE(settable);
  state().valueSettable = false;
  EXPECT_EQ(ax.isAttributeSettable(el, "AXValue", settable), platform::kAXErrorSuccess);
  EXPECT_FALSE(settable);
  EXPECT_NE(ax.setAttributeValue(el, "AXValue", std::u16string(u"d")), platform::kAXErrorSuccess);
  EXPECT_EQ(state().value, u"(formatted)");
}

TEST_F(SimAccessibilityTest, SelectionWritesAreClampedAndSelectedTextReplacesTheSelection) {
  const AXElement el = focused();
  const auto range = [&](int64_t location, int64_t length) {
    return ax.setAttributeValue(el, "AXSelectedTextRange",
                                *ax.createRangeValue({location, length}));
  };
  EXPECT_EQ(range(2, 3), platform::kAXErrorSuccess);
  EXPECT_EQ(state().selection, (AXRange{2, 3}));
  EXPECT_EQ(range(4, 10), platform::kAXErrorSuccess);
  EXPECT_EQ(state().selection, (AXRange{4, 1}));
  EXPECT_EQ(range(-3, 2), platform::kAXErrorSuccess);
  EXPECT_EQ(state().selection, (AXRange{0, 2}));
  EXPECT_EQ(ax.setAttributeValue(el, "AXSelectedTextRange", AXValueBox{1, {0, 0}}),
            platform::kAXErrorIllegalArgument);

  EXPECT_EQ(ax.setAttributeValue(el, "AXSelectedText", std::u16string(u"J")),
            platform::kAXErrorSuccess);
  EXPECT_EQ(state().value, u"Jllo");
  EXPECT_EQ(state().selection, (AXRange{1, 0}));

  state().refuseSelectionWrite = true;
  EXPECT_NE(range(0, 1), platform::kAXErrorSuccess);
  EXPECT_EQ(state().selection, (AXRange{1, 0}));
  state().refuseSelectedTextWrite = true;
  EXPECT_NE(ax.setAttributeValue(el, "AXSelectedText", std::u16string(u"Z")),
            platform::kAXErrorSuccess);
  EXPECT_EQ(state().value, u"Jllo");

  bool settable = true;
  state().selectedTextSettable = false;
  ax.isAttributeSettable(el, "AXSelectedText", settable);
  EXPECT_FALSE(settable);
  settable = false;
  ax.isAttributeSettable(el, "AXSelectedTextRange", settable);
  EXPECT_TRUE(settable);

  world.faults().rangeValueCreateFails = true;
  EXPECT_EQ(ax.createRangeValue({0, 0}), std::nullopt);
}

}  // namespace
}  // namespace sim
