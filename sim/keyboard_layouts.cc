#include "sim/keyboard_layouts.h"

#include <array>

namespace sim::keys {
namespace {

using platform::EventFlags;

// Keys that type the same under every layout here.
#define SIM_COMMON_KEYS                                                                     \
  {kReturn, u"\r", u"\r", false}, {kTab, u"\t", u"\t", false}, {kSpace, u" ", u" ", false}, \
      {kDelete, u"\x7f", u"\x7f", false}, {                                                 \
    kEscape, u"\x1b", u"\x1b", false                                                        \
  }

constexpr KeyCharacters kUs[] = {
    {0, u"a", u"A", true},   {1, u"s", u"S", true},    {2, u"d", u"D", true},
    {3, u"f", u"F", true},   {4, u"h", u"H", true},    {5, u"g", u"G", true},
    {6, u"z", u"Z", true},   {7, u"x", u"X", true},    {8, u"c", u"C", true},
    {9, u"v", u"V", true},   {11, u"b", u"B", true},   {12, u"q", u"Q", true},
    {13, u"w", u"W", true},  {14, u"e", u"E", true},   {15, u"r", u"R", true},
    {16, u"y", u"Y", true},  {17, u"t", u"T", true},   {18, u"1", u"!", false},
    {19, u"2", u"@", false}, {20, u"3", u"#", false},  {21, u"4", u"$", false},
    {22, u"6", u"^", false}, {23, u"5", u"%", false},  {24, u"=", u"+", false},
    {25, u"9", u"(", false}, {26, u"7", u"&", false},  {27, u"-", u"_", false},
    {28, u"8", u"*", false}, {29, u"0", u")", false},  {30, u"]", u"}", false},
    {31, u"o", u"O", true},  {32, u"u", u"U", true},   {33, u"[", u"{", false},
    {34, u"i", u"I", true},  {35, u"p", u"P", true},   {37, u"l", u"L", true},
    {38, u"j", u"J", true},  {39, u"'", u"\"", false}, {40, u"k", u"K", true},
    {41, u";", u":", false}, {42, u"\\", u"|", false}, {43, u",", u"<", false},
    {44, u"/", u"?", false}, {45, u"n", u"N", true},   {46, u"m", u"M", true},
    {47, u".", u">", false}, {50, u"`", u"~", false},  SIM_COMMON_KEYS,
};

constexpr KeyCharacters kRu[] = {
    {0, u"ф", u"Ф", true},    {1, u"ы", u"Ы", true},    {2, u"в", u"В", true},
    {3, u"а", u"А", true},    {4, u"р", u"Р", true},    {5, u"п", u"П", true},
    {6, u"я", u"Я", true},    {7, u"ч", u"Ч", true},    {8, u"с", u"С", true},
    {9, u"м", u"М", true},    {11, u"и", u"И", true},   {12, u"й", u"Й", true},
    {13, u"ц", u"Ц", true},   {14, u"у", u"У", true},   {15, u"к", u"К", true},
    {16, u"н", u"Н", true},   {17, u"е", u"Е", true},   {18, u"1", u"!", false},
    {19, u"2", u"\"", false}, {20, u"3", u"№", false},  {21, u"4", u";", false},
    {22, u"6", u":", false},  {23, u"5", u"%", false},  {24, u"=", u"+", false},
    {25, u"9", u"(", false},  {26, u"7", u"?", false},  {27, u"-", u"_", false},
    {28, u"8", u"*", false},  {29, u"0", u")", false},  {30, u"ъ", u"Ъ", true},
    {31, u"щ", u"Щ", true},   {32, u"г", u"Г", true},   {33, u"х", u"Х", true},
    {34, u"ш", u"Ш", true},   {35, u"з", u"З", true},   {37, u"д", u"Д", true},
    {38, u"о", u"О", true},   {39, u"э", u"Э", true},   {40, u"л", u"Л", true},
    {41, u"ж", u"Ж", true},   {42, u"\\", u"/", false}, {43, u"б", u"Б", true},
    {44, u".", u",", false},  {45, u"т", u"Т", true},   {46, u"ь", u"Ь", true},
    {47, u"ю", u"Ю", true},   {50, u"ё", u"Ё", true},   SIM_COMMON_KEYS,
};

// Dvorak: the same physical keys (named by their US labels) type other characters.
constexpr KeyCharacters kDvorak[] = {
    {0, u"a", u"A", true},   {1, u"o", u"O", true},    {2, u"e", u"E", true},
    {3, u"u", u"U", true},   {4, u"d", u"D", true},    {5, u"i", u"I", true},
    {6, u";", u":", false},  {7, u"q", u"Q", true},    {8, u"j", u"J", true},
    {9, u"k", u"K", true},   {11, u"x", u"X", true},   {12, u"'", u"\"", false},
    {13, u",", u"<", false}, {14, u".", u">", false},  {15, u"p", u"P", true},
    {16, u"f", u"F", true},  {17, u"y", u"Y", true},   {18, u"1", u"!", false},
    {19, u"2", u"@", false}, {20, u"3", u"#", false},  {21, u"4", u"$", false},
    {22, u"6", u"^", false}, {23, u"5", u"%", false},  {24, u"]", u"}", false},
    {25, u"9", u"(", false}, {26, u"7", u"&", false},  {27, u"[", u"{", false},
    {28, u"8", u"*", false}, {29, u"0", u")", false},  {30, u"=", u"+", false},
    {31, u"r", u"R", true},  {32, u"g", u"G", true},   {33, u"/", u"?", false},
    {34, u"c", u"C", true},  {35, u"l", u"L", true},   {37, u"n", u"N", true},
    {38, u"h", u"H", true},  {39, u"-", u"_", false},  {40, u"t", u"T", true},
    {41, u"s", u"S", true},  {42, u"\\", u"|", false}, {43, u"w", u"W", true},
    {44, u"z", u"Z", true},  {45, u"b", u"B", true},   {46, u"m", u"M", true},
    {47, u"v", u"V", true},  {50, u"`", u"~", false},  SIM_COMMON_KEYS,
};

#undef SIM_COMMON_KEYS

struct ModifierKey {
  uint16_t keycode;
  EventFlags flag;
};

constexpr std::array<ModifierKey, 10> kModifiers = {{
    {kRightCommand, platform::kCGEventFlagMaskCommand},
    {kCommand, platform::kCGEventFlagMaskCommand},
    {kShift, platform::kCGEventFlagMaskShift},
    {kCapsLock, platform::kCGEventFlagMaskAlphaShift},
    {kOption, platform::kCGEventFlagMaskAlternate},
    {kControl, platform::kCGEventFlagMaskControl},
    {kRightShift, platform::kCGEventFlagMaskShift},
    {kRightOption, platform::kCGEventFlagMaskAlternate},
    {kRightControl, platform::kCGEventFlagMaskControl},
    {kFunction, platform::kCGEventFlagMaskSecondaryFn},
}};

}  // namespace

std::optional<EventFlags> modifierFlag(uint16_t keycode) {
  for (const ModifierKey& m : kModifiers) {
    if (m.keycode == keycode) return m.flag;
  }
  return std::nullopt;
}

std::span<const KeyCharacters> layoutTable(std::string_view layout) {
  if (layout == "ru") return kRu;
  if (layout == "dvorak") return kDvorak;
  return kUs;
}

bool isLatin(std::string_view layout) {
  return layout != "ru";
}

std::u16string commandCharacters(std::string_view layout, uint16_t keycode) {
  return characters(isLatin(layout) ? layout : "us", keycode, false, false);
}

std::u16string characters(std::string_view layout, uint16_t keycode, bool shift, bool capsLock) {
  for (const KeyCharacters& key : layoutTable(layout)) {
    if (key.keycode != keycode) continue;
    // Caps Lock capitalises letters only, and Shift does not undo it (as on macOS).
    const bool upper = shift || (capsLock && key.letter);
    return std::u16string(upper ? key.shifted : key.plain);
  }
  return {};
}

std::optional<std::pair<uint16_t, bool>> keyFor(std::string_view layout, char16_t ch) {
  if (ch == u'\n') return std::pair{kReturn, false};  // text uses \n where the key types \r
  const std::span<const KeyCharacters> table = layoutTable(layout);
  for (const KeyCharacters& key : table) {
    if (key.plain.size() == 1 && key.plain[0] == ch) return std::pair{key.keycode, false};
  }
  for (const KeyCharacters& key : table) {
    if (key.shifted.size() == 1 && key.shifted[0] == ch) return std::pair{key.keycode, true};
  }
  return std::nullopt;
}

}  // namespace sim::keys
