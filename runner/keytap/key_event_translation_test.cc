// What the Flutter side receives for each kind of tapped event.

#include <gtest/gtest.h>

#include "runner/keytap/key_event_tap_handler.h"
#include "runner/keytap/key_event_test_support.h"
#include "text/text.h"

namespace tandrel_test {
namespace {

using tandrel::KeyEventTapHandler;
using Events = std::vector<Value>;

constexpr uint16_t kG = 5, kA = 0, kLeftShift = 56, kRightShift = 60, kCapsLock = 57,
                   kLeftCommand = 55, kLeftOption = 58, kRightControl = 62, kFn = 63;

TEST_F(KeyTapTest, KeyPressesCarryCodeRepeatCharactersAndFlags) {
  startListening();
  world.keyDown(kG);
  world.keyDown(kG, true);
  world.keyDown(kG, true);
  world.keyUp(kG);
  world.runPending();
  EXPECT_EQ(takeEvents(), (Events{keyDownEvent(kG, "g"), keyDownEvent(kG, "g", true),
                                  keyDownEvent(kG, "g", true)}))
      << "releases are not reported";

  world.keyDown(kLeftShift);
  world.pressKey(kA);
  world.keyUp(kLeftShift);
  world.runPending();
  EXPECT_EQ(takeEvents(), (Events{modifierEvent(kLeftShift, true, {.shift = true}),
                                  keyDownEvent(kA, "A", false, {.shift = true}),
                                  modifierEvent(kLeftShift, false)}));

  // Every flag lands on its own key.
  world.keyDown(kRightControl);
  world.keyDown(kLeftOption);
  world.keyDown(kLeftCommand);
  world.pressKey(kG);
  world.runPending();
  const Mods all{.control = true, .alt = true, .meta = true};
  const Events got = takeEvents();
  ASSERT_EQ(got.size(), 4u);
  EXPECT_EQ(got[0], modifierEvent(kRightControl, true, {.control = true}));
  EXPECT_EQ(got[1], modifierEvent(kLeftOption, true, {.control = true, .alt = true}));
  EXPECT_EQ(got[2], modifierEvent(kLeftCommand, true, all));
  const auto* press = got[3].get_if<ValueMap>();
  ASSERT_NE(press, nullptr);
  EXPECT_EQ(*press->find("type"), Value("keyDown"));
  for (const char* key : {"control", "alt", "meta"}) EXPECT_EQ(*press->find(key), Value(true));
  EXPECT_EQ(*press->find("shift"), Value(false));
}

TEST_F(KeyTapTest, ModifierDownFollowsTheGroupFlag) {
  startListening();
  // With right Shift held, left Shift's release still shows the Shift group down.
  world.keyDown(kRightShift);
  world.keyDown(kLeftShift);
  world.keyUp(kLeftShift);
  world.keyUp(kRightShift);
  world.runPending();
  EXPECT_EQ(takeEvents(), (Events{modifierEvent(kRightShift, true, {.shift = true}),
                                  modifierEvent(kLeftShift, true, {.shift = true}),
                                  modifierEvent(kLeftShift, true, {.shift = true}),
                                  modifierEvent(kRightShift, false)}));

  // Caps Lock and fn have their own flags, which none of the four reported flags show.
  world.pressKey(kCapsLock);
  world.pressKey(kCapsLock);
  world.keyDown(kFn);
  world.keyUp(kFn);
  world.runPending();
  const Events got = takeEvents();
  ASSERT_GE(got.size(), 2u);
  EXPECT_EQ(got.front(), modifierEvent(kCapsLock, true));
  EXPECT_EQ(got[got.size() - 2], modifierEvent(kFn, true));
  EXPECT_EQ(got.back(), modifierEvent(kFn, false));
}

TEST(KeyEventTranslation, ModifierTable) {
  using platform::EventFlags;
  const std::vector<std::pair<int64_t, EventFlags>> table = {
      {54, 0x100000}, {55, 0x100000}, {56, 0x20000}, {57, 0x10000}, {58, 0x80000},
      {59, 0x40000},  {60, 0x20000},  {61, 0x80000}, {62, 0x40000}, {63, 0x800000}};
  const EventFlags everything = 0xFFFFFFFFFFFFFFFF;
  for (const auto& [keycode, mask] : table) {
    EXPECT_TRUE(KeyEventTapHandler::isModifierDown(keycode, mask)) << keycode;
    EXPECT_FALSE(KeyEventTapHandler::isModifierDown(keycode, everything & ~mask)) << keycode;
  }
  for (const int64_t keycode : {int64_t{-1}, int64_t{0}, int64_t{5}, int64_t{53}, int64_t{64},
                                int64_t{54} + (int64_t{1} << 32), INT64_MIN, INT64_MAX}) {
    EXPECT_FALSE(KeyEventTapHandler::isModifierDown(keycode, everything)) << keycode;
  }
}

// Synthetic events from no source carry no marker and reach the tap like the user's own.
class PostedEventTest : public KeyTapTest {
 protected:
  platform::Event keyEvent(uint16_t keycode, const std::u16string& units,
                           const platform::EventSource& source = nullptr) {
    auto event = world.events().createKeyboardEvent(source, keycode, true);
    world.events().keyboardSetUnicodeString(event, units.size(), units.data());
    return event;
  }
  void post(const platform::Event& event) {
    world.events().post(platform::kCGSessionEventTap, event);
    world.runPending();
  }
  std::string charsOf(const Value& event) {
    const Value* chars = event.get_if<ValueMap>()->find("chars");
    return chars ? *chars->get_if<std::string>() : "<none>";
  }
};

TEST_F(PostedEventTest, CharactersAreReadUpToEightUnits) {
  startListening();
  post(keyEvent(kG, u""));
  post(keyEvent(kG, u"12345678"));
  post(keyEvent(kG, u"123456789abc"));
  post(keyEvent(kG, u"\u00e9\u0436\u4e2d\U0001F602"));  // 1, 1, 1 and 2 units
  post(keyEvent(kG, u"1234567\U0001F602"));             // the pair does not fit whole
  const Events got = takeEvents();
  ASSERT_EQ(got.size(), 5u);
  EXPECT_EQ(got[0], keyDownEvent(kG, "")) << "a key that produces nothing is still reported";
  EXPECT_EQ(charsOf(got[1]), "12345678");
  EXPECT_EQ(charsOf(got[2]), "12345678");
  EXPECT_EQ(charsOf(got[3]), "\u00e9\u0436\u4e2d\U0001F602");
  EXPECT_TRUE(text::isValidUtf8(charsOf(got[4])));
  EXPECT_TRUE(charsOf(got[4]).starts_with("1234567")) << charsOf(got[4]);
}

TEST_F(PostedEventTest, OwnMarkedEventsAreDropped) {
  startListening();
  world.addApplication([] {
    sim::AppState a;
    a.pid = 7;
    a.focused = sim::ElementState{};
    return a;
  }());
  world.setFrontmost(7);
  // The host's own source, and another process's that happens to use the same user data.
  auto source = world.events().createSource(platform::kCGEventSourceStateHIDSystemState);
  ASSERT_NE(source, nullptr);
  world.events().sourceSetUserData(source, KeyEventTapHandler::kOwnEventMarker);
  post(keyEvent(kG, u"x", source));
  EXPECT_TRUE(events().empty());
  EXPECT_EQ(world.focusedElement()->value, u"x") << "dropped from the stream, not from input";

  auto other = world.events().createSource(platform::kCGEventSourceStateHIDSystemState);
  world.events().sourceSetUserData(other, 0x5444524C);
  post(keyEvent(kG, u"y", other));
  EXPECT_TRUE(events().empty());

  // Marked events of every kind go before anything is read from them.
  auto marked = keyEvent(kG, u"z", source);
  for (const platform::EventType type :
       {platform::kCGEventLeftMouseDown, platform::kCGEventFlagsChanged,
        platform::kCGEventKeyDown}) {
    EXPECT_EQ(KeyEventTapHandler::tapCallback(type, marked.get(), handler.get()), marked.get());
  }
  EXPECT_TRUE(events().empty());

  // Any other user data is the user's.
  world.events().sourceSetUserData(other, 0x5444524D);
  post(keyEvent(kG, u"w", other));
  EXPECT_EQ(takeEvents(), (Events{keyDownEvent(kG, "w")}));
}

TEST_F(KeyTapTest, MouseButtonPressesAreBareClicks) {
  startListening();
  world.click(platform::kCGEventLeftMouseDown);
  world.click(platform::kCGEventRightMouseDown);
  world.click(platform::kCGEventOtherMouseDown);
  world.keyDown(kLeftShift);
  world.click(platform::kCGEventLeftMouseDown);  // no flags on a click
  world.runPending();
  const Value click = typeOnly("click");
  EXPECT_EQ(takeEvents(),
            (Events{click, click, click, modifierEvent(kLeftShift, true, {.shift = true}), click}));
}

TEST_F(PostedEventTest, EventsPassUnchangedAndWithoutListenerNothingIsSent) {
  startListening();
  auto event = keyEvent(kG, u"g");
  EXPECT_EQ(KeyEventTapHandler::tapCallback(platform::kCGEventKeyDown, event.get(), handler.get()),
            event.get());
  EXPECT_EQ(takeEvents(), (Events{keyDownEvent(kG, "g")}));

  // A flags change on a key that is no modifier key is never "down".
  auto odd = keyEvent(70, u"");
  world.events().setFlags(odd, platform::kCGEventFlagMaskShift | platform::kCGEventFlagMaskCommand);
  KeyEventTapHandler::tapCallback(platform::kCGEventFlagsChanged, odd.get(), handler.get());
  EXPECT_EQ(takeEvents(), (Events{modifierEvent(70, false, {.shift = true, .meta = true})}));

  // A handler nobody listens to reads nothing more than the marker.
  auto idle = KeyEventTapHandler::create(world, false);
  for (const platform::EventType type : {platform::kCGEventKeyDown, platform::kCGEventFlagsChanged,
                                         platform::kCGEventLeftMouseDown}) {
    EXPECT_EQ(KeyEventTapHandler::tapCallback(type, event.get(), idle.get()), event.get());
  }
  EXPECT_TRUE(events().empty());
}

}  // namespace
}  // namespace tandrel_test
