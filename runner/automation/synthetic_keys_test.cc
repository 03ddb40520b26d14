#include "runner/automation/automation_test_fixture.h"
#include "text/text.h"

namespace tandrel {
namespace {

using platform::kCGEventKeyDown;
using platform::kCGEventKeyUp;

// The posted key pairs: each a down then an up with one keycode, flags and string, marked.
std::vector<sim::PostedEvent> pairs(sim::World& world) {
  std::vector<sim::PostedEvent> posted = world.takePosted(), downs;
  EXPECT_EQ(posted.size() % 2, 0u);
  for (size_t i = 0; i + 1 < posted.size(); i += 2) {
    const sim::PostedEvent &down = posted[i], &up = posted[i + 1];
    EXPECT_EQ(down.type, kCGEventKeyDown);
    EXPECT_EQ(up.type, kCGEventKeyUp);
    EXPECT_EQ(std::tie(down.keycode, down.flags, down.unicode, down.userData, down.location),
              std::tie(up.keycode, up.flags, up.unicode, up.userData, up.location));
    downs.push_back(down);
  }
  return downs;
}

std::vector<std::u16string> chunks(sim::World& world) {
  std::vector<std::u16string> out;
  for (const sim::PostedEvent& down : pairs(world)) {
    EXPECT_EQ(down.keycode | down.flags, 0u);
    out.push_back(down.unicode);
  }
  return out;
}

TEST_F(AutomationTest, TypedTextGoesInChunksOfTwentyUnitsWithAPauseEach) {
  const std::u16string units45 = u"0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHI";
  EXPECT_EQ(call("typeText", ValueMap{{"text", text::utf16ToUtf8(units45)}}),
            MethodReply::Success());
  EXPECT_EQ(chunks(world),
            (std::vector<std::u16string>{units45.substr(0, 20), units45.substr(20, 20), u"EFGHI"}));
  EXPECT_EQ(world.takePauses(), (Pauses{5000, 5000, 5000}));
  for (size_t n : {0u, 20u, 21u}) {
    call("typeText", ValueMap{{"text", std::string(n, 'x')}});
    EXPECT_EQ(chunks(world).size(), (n + 19) / 20);
    EXPECT_EQ(world.takePauses().size(), (n + 19) / 20);
  }
  // A surrogate pair that would straddle a chunk boundary moves whole into the next chunk.
  const std::u16string a19(19, u'a'), c18(18, u'c');
  call("typeText", ValueMap{{"text", text::utf16ToUtf8(a19 + u"😀b" + c18)}});
  EXPECT_EQ(chunks(world), (std::vector<std::u16string>{a19, u"😀b" + c18.substr(1), u"c"}));
}

TEST_F(AutomationTest, FailedEventsSkipABackspaceButStopTyping) {
  world.faults().keyboardEventFailures = {2, 9};  // the second pair's down; later, 8 and 9 pair
  call("backspace", ValueMap{{"count", 3}});
  EXPECT_EQ(pairs(world).size(), 2u);
  EXPECT_EQ(world.takePauses(), (Pauses{3000, 3000, 3000}));  // a pause for the failed one too
  call("typeText", ValueMap{{"text", std::string(45, 'x')}});
  EXPECT_EQ(chunks(world).size(), 1u);
  EXPECT_EQ(world.takePauses(), Pauses{5000});
}

TEST_F(AutomationTest, AFailedSourceIsNotRetriedAndItsEventsGoUnmarked) {
  world.faults().eventSourceFails = true;
  call("copy");
  world.faults().eventSourceFails = false;
  call("typeText", ValueMap{{"text", "x"}});
  const std::vector<sim::PostedEvent> posted = pairs(world);
  ASSERT_EQ(posted.size(), 2u);
  for (const sim::PostedEvent& event : posted) {
    EXPECT_FALSE(event.hadSource);
    EXPECT_EQ(event.userData, 0);
  }
}

TEST_F(AutomationTest, CopyAndPasteUseTheKeysThatTypeCAndVOnTheCurrentLayout) {
  sim::InputSourceState dvorak;
  dvorak.id = "com.apple.keylayout.Dvorak";
  dvorak.languages = {{"en"}};
  dvorak.layout = "dvorak";
  world.inputSourceList().push_back(dvorak);
  sim::ElementState& element = focus(u"hello", {0, 5});
  world.keyDown(56);  // the user holds Shift: the shortcuts still carry Command alone
  const auto copyThenPaste = [&] {
    world.pasteboardItems().clear();
    element.value = u"hello";
    element.selection = platform::AXRange{0, 5};
    call("copy");
    world.runPending();
    element.selection = platform::AXRange{5, 0};
    call("paste", ValueMap{{"count", 3}});
    world.runPending();
    EXPECT_TRUE(world.takePauses().empty());
    std::vector<uint16_t> keycodes;
    for (const sim::PostedEvent& down : pairs(world)) {
      EXPECT_EQ(down.flags, platform::kCGEventFlagMaskCommand);
      EXPECT_EQ(down.userData, kOwnEventMarker);
      EXPECT_EQ(down.location, platform::kCGHIDEventTap);
      keycodes.push_back(down.keycode);
    }
    return keycodes;
  };
  // Dvorak types "c" and "v" on the US keys I and period; Russian, and a layout whose key table
  // cannot be read, take the US keys.
  const struct {
    const char* source;
    bool tableMissing;
    std::vector<uint16_t> keycodes;
  } layouts[] = {{"com.apple.keylayout.Dvorak", false, {34, 47}},
                 {"com.apple.keylayout.Russian", false, {8, 9}},
                 {"com.apple.keylayout.Dvorak", true, {8, 9}}};
  for (const auto& l : layouts) {
    SCOPED_TRACE(l.source);
    world.selectInputSourceById(l.source);
    world.faults().keyLayoutDataMissing = l.tableMissing;
    EXPECT_EQ(copyThenPaste(), l.keycodes);
    // Without the table the US keys are only a guess: on Dvorak they are not C and V.
    if (!l.tableMissing) {
      EXPECT_EQ(element.value, u"hellohello");
    }
  }
}

}  // namespace
}  // namespace tandrel
