#include "runner/automation/automation_test_fixture.h"
#include "text/text.h"

namespace tandrel {
namespace {

using platform::kCGEventKeyDown;
using platform::kCGEventKeyUp;

// The typed chunks, checking that each pair is a marked down/up with flags 0 and one string.
std::vector<std::u16string> typedChunks(sim::World& world) {
  std::vector<sim::PostedEvent> posted = world.takePosted();
  std::vector<std::u16string> chunks;
  for (size_t i = 0; i + 1 < posted.size(); i += 2) {
    EXPECT_EQ(posted[i].type, kCGEventKeyDown);
    EXPECT_EQ(posted[i + 1].type, kCGEventKeyUp);
    EXPECT_EQ(posted[i].unicode, posted[i + 1].unicode);
    EXPECT_EQ(posted[i].flags | posted[i + 1].flags | posted[i].keycode, 0u);
    EXPECT_EQ(posted[i].userData, kOwnEventMarker);
    chunks.push_back(posted[i].unicode);
  }
  EXPECT_EQ(posted.size() % 2, 0u);
  return chunks;
}

TEST_F(AutomationTest, CopyAndPasteCarryCommandAloneAndTheMarker) {
  world.keyDown(56);  // the user holds Shift
  world.takePosted();
  EXPECT_EQ(call("copy"), MethodReply::Success());
  EXPECT_EQ(call("paste", ValueMap{{"count", 3}}), MethodReply::Success());
  const std::vector<sim::PostedEvent> posted = world.takePosted();
  ASSERT_EQ(posted.size(), 4u);
  for (size_t i = 0; i < posted.size(); ++i) {
    EXPECT_EQ(posted[i].keycode, i < 2 ? 8 : 9);
    EXPECT_EQ(posted[i].type, i % 2 ? kCGEventKeyUp : kCGEventKeyDown);
    EXPECT_EQ(posted[i].flags, platform::kCGEventFlagMaskCommand);
    EXPECT_EQ(posted[i].userData, kOwnEventMarker);
    EXPECT_EQ(posted[i].location, platform::kCGHIDEventTap);
  }
  EXPECT_TRUE(world.takePauses().empty());
}

TEST_F(AutomationTest, TypedTextGoesInChunksOfTwentyUnitsWithAPauseEach) {
  const std::u16string units45 = u"0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHI";
  EXPECT_EQ(call("typeText", ValueMap{{"text", text::utf16ToUtf8(units45)}}),
            MethodReply::Success());
  EXPECT_EQ(typedChunks(world),
            (std::vector<std::u16string>{units45.substr(0, 20), units45.substr(20, 20), u"EFGHI"}));
  EXPECT_EQ(world.takePauses(), (std::vector<sim::Micros>{5000, 5000, 5000}));
  for (size_t n : {20u, 21u}) {
    EXPECT_EQ(call("typeText", ValueMap{{"text", std::string(n, 'x')}}), MethodReply::Success());
    EXPECT_EQ(typedChunks(world).size(), n == 20 ? 1u : 2u);
    EXPECT_EQ(world.takePauses().size(), n == 20 ? 1u : 2u);
  }
  EXPECT_EQ(call("typeText", ValueMap{{"text", ""}}), MethodReply::Success());
  EXPECT_TRUE(world.takePosted().empty());
  EXPECT_TRUE(world.takePauses().empty());

  // A surrogate pair that would straddle a chunk boundary moves whole into the next chunk.
  const std::u16string straddling = std::u16string(19, u'a') + u"😀b" + std::u16string(18, u'c');
  EXPECT_EQ(call("typeText", ValueMap{{"text", text::utf16ToUtf8(straddling)}}),
            MethodReply::Success());
  EXPECT_EQ(typedChunks(world),
            (std::vector<std::u16string>{std::u16string(19, u'a'), u"😀b" + std::u16string(17, u'c'),
                                         u"c"}));
}

TEST_F(AutomationTest, BackspacePausesAfterEveryRepetitionEvenAFailedOne) {
  world.faults().keyboardEventFailures = {2};  // the second pair's key down
  EXPECT_EQ(call("backspace", ValueMap{{"count", 3}}), MethodReply::Success());
  const std::vector<sim::PostedEvent> posted = world.takePosted();
  ASSERT_EQ(posted.size(), 4u);
  for (const sim::PostedEvent& event : posted) {
    EXPECT_EQ(event.keycode, 51);
    EXPECT_EQ(event.flags, 0u);
  }
  EXPECT_EQ(world.takePauses(), (std::vector<sim::Micros>{3000, 3000, 3000}));

  // Typing stops at the chunk that cannot be made, without its pause.
  world.faults().keyboardEventFailures = {9};  // calls 6..: 6,7 first chunk, 8,9 second
  EXPECT_EQ(call("typeText", ValueMap{{"text", std::string(45, 'x')}}), MethodReply::Success());
  EXPECT_EQ(typedChunks(world).size(), 1u);
  EXPECT_EQ(world.takePauses().size(), 1u);
}

TEST_F(AutomationTest, AFailedSourceIsNotRetriedAndItsEventsGoUnmarked) {
  world.faults().eventSourceFails = true;
  EXPECT_EQ(call("copy"), MethodReply::Success());
  world.faults().eventSourceFails = false;
  EXPECT_EQ(call("typeText", ValueMap{{"text", "x"}}), MethodReply::Success());
  const std::vector<sim::PostedEvent> posted = world.takePosted();
  ASSERT_EQ(posted.size(), 4u);
  for (const sim::PostedEvent& event : posted) {
    EXPECT_FALSE(event.hadSource);
    EXPECT_EQ(event.userData, 0);
  }
}

TEST_F(AutomationTest, KeysActOnTheFocusedFieldOnceDelivered) {
  sim::ElementState& element = focus(field(u"hello", {5, 0}));
  EXPECT_EQ(call("typeText", ValueMap{{"text", " wörld!"}}), MethodReply::Success());
  world.runPending();
  EXPECT_EQ(element.value, u"hello wörld!");
  EXPECT_EQ(call("backspace", ValueMap{{"count", 3}}), MethodReply::Success());
  world.runPending();
  EXPECT_EQ(element.value, u"hello wör");

  element.selection = platform::AXRange{0, 5};
  EXPECT_EQ(call("copy"), MethodReply::Success());
  world.runPending();
  EXPECT_EQ(call("readClipboardText"), MethodReply::Success("hello"));
  element.selection = platform::AXRange{9, 0};
  EXPECT_EQ(call("paste"), MethodReply::Success());
  world.runPending();
  EXPECT_EQ(element.value, u"hello wörhello");
}

}  // namespace
}  // namespace tandrel
