#include <limits>

#include "runner/automation/automation_test_fixture.h"

namespace tandrel {
namespace {

using platform::AXRange;
using sim::WriteBehaviour;

ValueMap focusedMap(const char* text, int32_t selStart, int32_t selLen) {
  return ValueMap{{"text", text}, {"selStart", selStart}, {"selLen", selLen}};
}

ValueMap writeArgs(const char* text, int64_t selStart, int64_t selLen) {
  return ValueMap{{"text", text}, {"selStart", selStart}, {"selLen", selLen}};
}

TEST_F(AutomationTest, ReadsTheFocusedTextWithItsSelectionInUtf16Units) {
  sim::ElementState& element = focus(field(u"😀héllo", {3, 2}));
  EXPECT_EQ(call("axFocusedText"), MethodReply::Success(focusedMap("😀héllo", 3, 2)));
  EXPECT_EQ(world.application(kEditorPid)->manualAccessibilityWrites, 1);

  // A selection that cannot be read, or is not a range, reads as none.
  element.selection.reset();
  EXPECT_EQ(call("axFocusedText"), MethodReply::Success(focusedMap("😀héllo", -1, 0)));
  element.selection = AXRange{1, 1};
  element.selectionIsNotRange = true;
  EXPECT_EQ(call("axFocusedText"), MethodReply::Success(focusedMap("😀héllo", -1, 0)));
  element.selectionIsNotRange = false;
  element.copyErrors["AXSelectedTextRange"] = platform::kAXErrorFailure;
  EXPECT_EQ(call("axFocusedText"), MethodReply::Success(focusedMap("😀héllo", -1, 0)));
  // An unreadable subrole is an ordinary field.
  element.subrole = u"AXSecureTextField";
  element.copyErrors["AXSubrole"] = platform::kAXErrorCannotComplete;
  EXPECT_EQ(call("axFocusedText"), MethodReply::Success(focusedMap("😀héllo", -1, 0)));
  element.copyErrors.clear();
  element.subrole.reset();

  // No text: a number, no value, an unreadable value.
  element.valueIsNumber = true;
  EXPECT_EQ(call("axFocusedText"), MethodReply::Success());
  element.valueIsNumber = false;
  element.copyErrors["AXValue"] = platform::kAXErrorFailure;
  EXPECT_EQ(call("axFocusedText"), MethodReply::Success());
  element.copyErrors.clear();
  element.value.reset();
  EXPECT_EQ(call("axFocusedText"), MethodReply::Success());
  element.value = u"x";

  // No field to read.
  world.faults().systemWideFocusFails = true;
  EXPECT_EQ(call("axFocusedText"), MethodReply::Success());
  EXPECT_EQ(call("axSetFocusedText", writeArgs("y", 0, 0)), MethodReply::Success(false));
  world.faults().systemWideFocusFails = false;
  world.setTrusted(false);
  EXPECT_EQ(call("axFocusedText"), MethodReply::Success());
  world.setTrusted(true);
  const int writes = world.application(kEditorPid)->manualAccessibilityWrites;
  world.setFrontmost(std::nullopt);
  EXPECT_EQ(call("axFocusedText"), MethodReply::Success());
  EXPECT_EQ(world.application(kEditorPid)->manualAccessibilityWrites, writes);
  EXPECT_EQ(element.value, u"x");
}

TEST_F(AutomationTest, APasswordFieldIsNeverReadOrWritten) {
  sim::ElementState secure = field(u"secret", {1, 2});
  secure.subrole = u"AXSecureTextField";
  sim::ElementState& element = focus(secure);
  EXPECT_EQ(call("axFocusedText"), MethodReply::Success());
  EXPECT_EQ(call("axSetFocusedText", writeArgs("new", 0, 3)), MethodReply::Success(false));
  element.valueSettable = false;  // the selection path is not taken either
  EXPECT_EQ(call("axSetFocusedText", writeArgs("secreT", -1, 0)), MethodReply::Success(false));
  EXPECT_EQ(element.value, u"secret");
  EXPECT_EQ(element.selection, (AXRange{1, 2}));
  EXPECT_TRUE(world.takePauses().empty());
  // The application was still asked to expose its tree each time.
  EXPECT_EQ(world.application(kEditorPid)->manualAccessibilityWrites, 3);
}

TEST_F(AutomationTest, WholeValueWriteIsVerifiedAndPutsTheSelectionBack) {
  sim::ElementState& element = focus(field(u"ghbdtn", {6, 0}));
  EXPECT_EQ(call("axSetFocusedText", writeArgs("привет", 2, 3)), MethodReply::Success(true));
  EXPECT_EQ(element.value, u"привет");
  EXPECT_EQ(element.selection, (AXRange{2, 3}));
  EXPECT_EQ(world.takePauses(), (std::vector<sim::Micros>{50000}));

  // Reformatted by the application: still written. A range value that cannot be made only
  // skips putting the selection back.
  element.valueWrite = WriteBehaviour::kReformat;
  element.reformatTo = u"Привет!";
  world.faults().rangeValueCreateFails = true;
  EXPECT_EQ(call("axSetFocusedText", writeArgs("привет", 0, 1)), MethodReply::Success(true));
  EXPECT_EQ(element.value, u"Привет!");
  EXPECT_NE(element.selection, (AXRange{0, 1}));
  world.faults().rangeValueCreateFails = false;

  // An ignored write of a text that only differs in normalisation is no failure.
  element.value = u"e\u0301";
  element.valueWrite = WriteBehaviour::kIgnore;
  element.selectionSettable = false;
  EXPECT_EQ(call("axSetFocusedText", writeArgs("\u00e9", -1, 0)), MethodReply::Success(true));
}

TEST_F(AutomationTest, AFailedWholeValueWriteFallsBackToReplacingTheSelection) {
  sim::ElementState& element = focus(field(u"abcdefg"));
  element.valueWrite = WriteBehaviour::kIgnore;  // settable, says success, changes nothing
  EXPECT_EQ(call("axSetFocusedText", writeArgs("abXYZfg", 2, 3)), MethodReply::Success(true));
  EXPECT_EQ(element.value, u"abXYZfg");
  EXPECT_EQ(element.selection, (AXRange{2, 3}));
  EXPECT_EQ(world.takePauses(), (std::vector<sim::Micros>{50000, 50000}));

  // Not settable or refused: straight to the selection; no usable selection replaces it all.
  for (bool refuse : {false, true}) {
    element.value = u"hello";
    element.valueSettable = refuse;
    element.valueWrite = refuse ? WriteBehaviour::kRefuse : WriteBehaviour::kAccept;
    EXPECT_EQ(call("axSetFocusedText", writeArgs("HELLO", 3, 0)), MethodReply::Success(true));
    EXPECT_EQ(element.value, u"HELLO");
    EXPECT_EQ(element.selection, (AXRange{3, 0}));
    EXPECT_EQ(world.takePauses(), (std::vector<sim::Micros>{50000}));
  }
}

TEST_F(AutomationTest, TheSelectionReplacementAnswersFalseForEveryRefusal) {
  sim::ElementState& element = focus(field(u"abcdef", {1, 0}));
  element.valueSettable = false;
  const auto refused = [&](const ValueMap& args) {
    EXPECT_EQ(call("axSetFocusedText", args), MethodReply::Success(false));
  };
  // A range beyond the new text, even a hostile one, writes nothing.
  refused(writeArgs("abcxyz", 4, 3));
  const int64_t kMax = std::numeric_limits<int64_t>::max();
  refused(writeArgs("abcxyz", kMax, kMax));
  refused(writeArgs("abcxyz", 1, kMax));
  EXPECT_EQ(element.value, u"abcdef");
  EXPECT_EQ(element.selection, (AXRange{1, 0}));

  element.selectedTextSettable = false;
  refused(writeArgs("abcxyz", -1, 0));
  element.selectedTextSettable = true;
  element.selectionSettable = false;
  refused(writeArgs("abcxyz", -1, 0));
  element.selectionSettable = true;
  world.faults().rangeValueCreateFails = true;
  refused(writeArgs("abcxyz", -1, 0));
  world.faults().rangeValueCreateFails = false;
  element.refuseSelectionWrite = true;
  refused(writeArgs("abcxyz", -1, 0));
  element.refuseSelectionWrite = false;
  EXPECT_EQ(element.value, u"abcdef");
  EXPECT_TRUE(world.takePauses().empty());

  // The text write refused: the new selection stays.
  element.refuseSelectedTextWrite = true;
  refused(writeArgs("abcxyz", 3, 3));
  EXPECT_EQ(element.selection, (AXRange{3, 3}));
  element.refuseSelectedTextWrite = false;
  // The field still shows its old text after the write.
  refused(writeArgs("abXdef", 0, 2));
  EXPECT_EQ(world.takePauses(), (std::vector<sim::Micros>{50000}));
  EXPECT_EQ(element.value, u"abcdef");
}

}  // namespace
}  // namespace tandrel
