#include "runner/automation/automation_test_fixture.h"

namespace tandrel {
namespace {

TEST_F(AutomationTest, NamesOutsideTheTableAreNotImplementedAndDoNothing) {
  focus(u"abc");
  for (const char* name : {"TypeText", "copy ", "", "restoreclipboard", "writeClipboard"}) {
    EXPECT_EQ(call(name, ValueMap{{"text", "a"}}), MethodReply::NotImplemented()) << name;
  }
  EXPECT_TRUE(world.takePosted().empty());
  EXPECT_EQ(world.pasteboardChangeCount(), 0);
  EXPECT_EQ(world.application(kEditorPid)->manualAccessibilityWrites, 0);
}

TEST_F(AutomationTest, ArgumentsThatAreNotAStringKeyedMapTakeTheDefaults) {
  sim::ElementState& element = focus(u"abc", {1, 1});
  for (const Value& args : {Value(), Value(ValueList{"text", "x"}), Value(7), Value("x"),
                            Value(ValueMap{{int32_t{1}, "x"}, {"text", "x"}, {"count", 2}})}) {
    EXPECT_EQ(call("typeText", args), MethodReply::Success());
    EXPECT_EQ(call("backspace", args), MethodReply::Success());
    EXPECT_TRUE(world.takePosted().empty());
    EXPECT_EQ(call("writeClipboardText", args), MethodReply::Success());
    EXPECT_EQ(call("readClipboardText"), MethodReply::Success(""));
    element.value = u"abc";
    // The empty text, and no selection afterwards.
    EXPECT_EQ(call("axSetFocusedText", args), MethodReply::Success(true));
    EXPECT_EQ(element.value, u"");
    EXPECT_EQ(world.takePauses(), Pauses{50000});
  }
}

TEST_F(AutomationTest, KeysOfTheWrongTypeTakeTheDefaults) {
  sim::ElementState& element = focus(u"abc");
  // Only 32- and 64-bit integers count; nothing else posts a Backspace, nor do 0 and below.
  for (const Value& count : {Value("3"), Value(), Value(2.0), Value(true), Value(0),
                             Value(int64_t{-4}), Value(ValueList{3})}) {
    EXPECT_EQ(call("backspace", ValueMap{{"count", count}, {"text", "zz"}}),
              MethodReply::Success());
  }
  EXPECT_TRUE(world.takePosted().empty());
  EXPECT_TRUE(world.takePauses().empty());
  EXPECT_EQ(call("backspace", ValueMap{{"count", int64_t{2}}}), MethodReply::Success());
  EXPECT_EQ(world.takePosted().size(), 4u);

  EXPECT_EQ(call("writeClipboardText", ValueMap{{"text", 5}}), MethodReply::Success());
  EXPECT_EQ(call("readClipboardText"), MethodReply::Success(""));

  // A selection start that is not an integer is -1: no selection is set after the write.
  element.selection = platform::AXRange{3, 0};
  EXPECT_EQ(call("axSetFocusedText", ValueMap{{"text", "abcd"}, {"selStart", "1"}, {"selLen", 1}}),
            MethodReply::Success(true));
  EXPECT_EQ(element.value, u"abcd");
  EXPECT_NE(element.selection, (platform::AXRange{1, 1}));
  EXPECT_EQ(call("axSetFocusedText", ValueMap{{"text", "abcde"}, {"selStart", int64_t{1}}}),
            MethodReply::Success(true));
  EXPECT_EQ(element.selection, (platform::AXRange{1, 0}));
}

}  // namespace
}  // namespace tandrel
