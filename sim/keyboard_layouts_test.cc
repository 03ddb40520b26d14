#include "sim/keyboard_layouts.h"

#include <gtest/gtest.h>

#include <set>

#include "sim/recording_tap.h"
#include "sim/world.h"

namespace sim {
namespace {

// A world with an editor in front whose empty field has focus, and both permissions a user of
// the keyboard needs for nothing (typing needs none).
class TypingTest : public ::testing::Test {
 protected:
  TypingTest() { addFocusedApp(world, 7); }
  std::u16string typed() { return world.focusedElement()->value.value_or(u"<none>"); }

  World world;
};

TEST_F(TypingTest, TheSameKeysTypeLatinUnderUsAndCyrillicUnderRussian) {
  const auto pressKeysOf = [&](const char* layout, std::u16string_view text) {
    for (char16_t ch : text) world.pressKey(keys::keyFor(layout, ch)->first);
  };
  pressKeysOf("us", u"ghbdtn");
  world.runPending();
  world.selectInputSourceById("com.apple.keylayout.Russian");
  pressKeysOf("us", u" ghbdtn ");
  world.runPending();
  world.selectInputSourceById("com.apple.keylayout.US");
  pressKeysOf("ru", u"руддщ");
  world.runPending();
  EXPECT_EQ(typed(), u"ghbdtn привет hello");
}

TEST_F(TypingTest, ShiftAndCapsLockFollowTheLayout) {
  world.selectInputSourceById("com.apple.keylayout.Russian");
  ASSERT_TRUE(world.typeOnKeys(u"Ёж, №1!\"?"));
  world.runPending();
  EXPECT_EQ(typed(), u"Ёж, №1!\"?");

  world.focusedElement()->value = u"";
  world.pressKey(keys::kCapsLock);
  world.pressKey(keys::keyFor("us", u'g')->first);  // a letter: capital under Caps Lock
  world.pressKey(keys::keyFor("us", u'1')->first);  // a digit: Caps Lock does not shift it
  world.pressKey(keys::keyFor("us", u';')->first);  // ж is a letter key under Russian
  world.keyDown(keys::kShift);
  world.pressKey(keys::keyFor("us", u'g')->first);  // Shift does not undo Caps Lock
  world.keyUp(keys::kShift);
  world.pressKey(keys::kCapsLock);
  world.pressKey(keys::keyFor("us", u'g')->first);
  world.runPending();
  EXPECT_EQ(typed(), u"П1ЖПп");
}

TEST_F(TypingTest, CommandShortcutsGoByTheCharacterTheKeyTypes) {
  sim::InputSourceState dvorak;
  dvorak.id = "com.apple.keylayout.Dvorak";
  dvorak.layout = "dvorak";
  world.inputSourceList().push_back(dvorak);
  world.focusedElement()->value = u"text";
  world.focusedElement()->selection = platform::AXRange{0, 4};
  const auto copyWith = [&](uint16_t keycode) {
    world.pasteboardItems().clear();
    world.keyDown(keys::kCommand);
    world.pressKey(keycode);
    world.keyUp(keys::kCommand);
    world.runPending();
    return !world.pasteboardItems().empty();
  };
  // The key labelled C types "j" on Dvorak: Command-J, not Command-C.
  world.selectInputSourceById("com.apple.keylayout.Dvorak");
  EXPECT_FALSE(copyWith(keys::kC));
  EXPECT_TRUE(copyWith(keys::keyFor("dvorak", u'c')->first));
  // Russian has no "c"; its shortcuts fall back to the US characters.
  world.selectInputSourceById("com.apple.keylayout.Russian");
  EXPECT_TRUE(copyWith(keys::kC));
  EXPECT_FALSE(copyWith(keys::keyFor("dvorak", u'c')->first));

  // The layout's key table as UCKeyTranslate reads it.
  platform::InputSources& sources = world.inputSources();
  world.selectInputSourceById("com.apple.keylayout.Dvorak");
  const platform::KeyLayoutData data =
      sources.unicodeKeyLayoutData(sources.copyCurrentKeyboardLayoutInputSource());
  const auto translate = [&](uint16_t keycode, uint32_t modifiers) {
    return sources
        .keyTranslate(data, keycode, platform::kUCKeyActionDown, modifiers, sources.keyboardType(),
                      platform::kUCKeyTranslateNoDeadKeysMask)
        .characters;
  };
  EXPECT_EQ(translate(keys::kC, platform::kUCKeyModifierCommand), u"j");
  EXPECT_EQ(translate(34, platform::kUCKeyModifierShift), u"C");
  EXPECT_EQ(sources.keyTranslate(nullptr, 34, 0, 0, 0, 0).status, -50);
}

TEST(KeyboardLayouts, EveryCharacterIsTypedByExactlyOneKey) {
  for (const char* layout : {"us", "ru", "dvorak"}) {
    std::set<char16_t> seen;
    for (const keys::KeyCharacters& key : keys::layoutTable(layout)) {
      ASSERT_EQ(key.plain.size(), 1u);
      ASSERT_EQ(key.shifted.size(), 1u);
      EXPECT_TRUE(seen.insert(key.plain[0]).second) << layout << " key " << key.keycode;
      // Keys such as Space type the same with Shift.
      if (key.shifted != key.plain) {
        EXPECT_TRUE(seen.insert(key.shifted[0]).second) << layout << " key " << key.keycode;
      }
      EXPECT_EQ(keys::keyFor(layout, key.plain[0]), (std::pair{key.keycode, false}));
      if (key.shifted != key.plain) {
        EXPECT_EQ(keys::keyFor(layout, key.shifted[0]), (std::pair{key.keycode, true}));
      }
    }
  }
  // The Russian layout has all 33 letters, each with its capital.
  int letters = 0;
  for (const keys::KeyCharacters& key : keys::layoutTable("ru")) {
    if (!key.letter) continue;
    ++letters;
    EXPECT_GE(key.plain[0], u'а');
    EXPECT_NE(key.plain, key.shifted);
  }
  EXPECT_EQ(letters, 33);
}

}  // namespace
}  // namespace sim
