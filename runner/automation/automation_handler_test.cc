#include <limits>
#include <string>
#include <vector>

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

// Arguments that are not a string-keyed map, and keys of another type (only 32- and 64-bit integers
// count), take the defaults: no text, no Backspace (nor for 0 and below), no selection.
TEST_F(AutomationTest, ArgumentsOfTheWrongShapeOrTypeTakeTheDefaults) {
  sim::ElementState& element = focus(u"abc", {1, 1});
  for (const Value& args :
       {Value(), Value(ValueList{"text", "x"}), Value(7), Value("x"),
        Value(ValueMap{{int32_t{1}, "x"}, {"text", "x"}, {"count", 2}}),
        Value(ValueMap{{"text", 5}, {"count", "3"}, {"selStart", "1"}, {"selLen", 1}}),
        Value(ValueMap{{"count", 2.0}}), Value(ValueMap{{"count", true}}),
        Value(ValueMap{{"count", 0}}), Value(ValueMap{{"count", int64_t{-4}}}),
        Value(ValueMap{{"count", ValueList{3}}}), Value(ValueMap{{"count", Value()}})}) {
    SCOPED_TRACE(channel::toDebugString(args));
    EXPECT_EQ(call("typeText", args), MethodReply::Success());
    EXPECT_EQ(call("backspace", args), MethodReply::Success());
    EXPECT_TRUE(world.takePosted().empty());
    EXPECT_EQ(call("writeClipboardText", args), MethodReply::Success());
    EXPECT_EQ(call("readClipboardText"), MethodReply::Success(""));
    element.value = u"abc";
    EXPECT_EQ(call("axSetFocusedText", args), MethodReply::Success(true));
    EXPECT_EQ(element.value, u"");
    EXPECT_EQ(world.takePauses(), Pauses{5000});
  }
  EXPECT_EQ(call("backspace", ValueMap{{"count", int64_t{2}}}), MethodReply::Success());
  EXPECT_EQ(world.takePosted().size(), 4u);
  EXPECT_EQ(call("axSetFocusedText", ValueMap{{"text", "abcde"}, {"selStart", int64_t{1}}}),
            MethodReply::Success(true));
  EXPECT_EQ(element.selection, (platform::AXRange{1, 0}));
}

// Work beyond the bounds is refused whole with "invalid_argument" naming the limit; up to it, done.
TEST_F(AutomationTest, CallsBeyondTheBoundsAreRefusedBeforeAnyWork) {
  const std::string euro = "\u20ac", face = "\U0001F600";  // 3 bytes, 1 unit; 4 bytes, 2 units
  auto repeat = [](const std::string& s, size_t n) {
    std::string out;
    for (size_t i = 0; i < n; ++i) out += s;
    return out;
  };
  const struct {
    const char* method;
    Value args;
    size_t postedPairs;  // 0: refused
  } cases[] = {
      {"backspace", ValueMap{{"count", 10000}}, 10000},
      {"backspace", ValueMap{{"count", 10001}}, 0},
      {"backspace", ValueMap{{"count", std::numeric_limits<int64_t>::max()}}, 0},
      {"typeText", ValueMap{{"text", repeat("a", 100000)}}, 5000},
      {"typeText", ValueMap{{"text", repeat(euro, 100000)}}, 5000},
      {"typeText", ValueMap{{"text", repeat(face, 50000)}}, 5000},
      {"typeText", ValueMap{{"text", repeat("a", 100001)}}, 0},
      {"typeText", ValueMap{{"text", repeat(face, 50000) + "a"}}, 0},
      {"typeText", ValueMap{{"text", repeat(euro, 100001)}}, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.method);
    AutomationWorld h;
    const sim::ElementState& element = h.focus(u"keep");
    const MethodReply reply = h.call(c.method, c.args);
    h.world.runPending();
    EXPECT_EQ(static_cast<size_t>(h.world.postedTotal()) / 2, c.postedPairs);
    EXPECT_EQ(h.world.takePauses().size(), c.postedPairs);
    if (c.postedPairs) {
      EXPECT_EQ(reply, MethodReply::Success());
      continue;
    }
    EXPECT_EQ(reply.errorCode(), "invalid_argument");
    const std::string limit = std::string(c.method) == "backspace" ? "10000" : "100000";
    EXPECT_NE(reply.error.message.value_or("").find(limit), std::string::npos) << reply;
    EXPECT_EQ(element.value, u"keep");
  }
}

void addApp(sim::World& world, int32_t pid, std::optional<std::string> bundle,
            std::optional<std::string> name) {
  sim::AppState app;
  app.pid = pid;
  app.bundleIdentifier = std::move(bundle);
  app.localizedName = std::move(name);
  world.addApplication(std::move(app));
}

TEST_F(AutomationTest, LayoutSwitchersAreFoundByKeywordInEitherCase) {
  world.setHostPid(1);
  addApp(world, 1, "com.example.puntohost", "Punto Host");  // the host itself, never listed
  addApp(world, 2, "com.apple.Safari", "Safari");
  EXPECT_EQ(call("runningLayoutSwitchers"), MethodReply::Success(ValueList{}));

  addApp(world, 3, "ru.yandex.desktop.PUNTOSwitcher", "Punto Switcher");
  addApp(world, 4, std::nullopt, "Caramba Switcher");
  addApp(world, 5, "COM.Example.KeySwitcher", "");
  addApp(world, 6, "org.example.tool", "EveryLang");
  addApp(world, 7, "com.example.MahouApp", std::nullopt);
  addApp(world, 8, "com.example.MahouApp", std::nullopt);
  addApp(world, 9, "com.example.helper", "ДотSwitcher");  // keywords are whole ASCII words
  addApp(world, 10, "com.example.x", "MyDotSwitcherPro");
  EXPECT_EQ(call("runningLayoutSwitchers", ValueMap{{"extra", 1}}),
            MethodReply::Success(ValueList{
                "Punto Switcher", "Caramba Switcher", "com.example.keyswitcher", "EveryLang",
                "com.example.mahouapp", "com.example.mahouapp", "MyDotSwitcherPro"}));
}

}  // namespace
}  // namespace tandrel
