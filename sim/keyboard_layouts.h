#pragma once
// Key codes and the character tables of the keyboard layouts the simulated system offers. All key
// data lives here, so the rest of the simulation never hard-codes a key.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/events.h"

namespace sim::keys {

// Virtual key codes (HIToolbox kVK_*), named after the US key labels.
inline constexpr uint16_t kA = 0;
inline constexpr uint16_t kC = 8;
inline constexpr uint16_t kV = 9;
inline constexpr uint16_t kReturn = 36;
inline constexpr uint16_t kTab = 48;
inline constexpr uint16_t kSpace = 49;
inline constexpr uint16_t kDelete = 51;  // Backspace
inline constexpr uint16_t kEscape = 53;
inline constexpr uint16_t kRightCommand = 54;
inline constexpr uint16_t kCommand = 55;
inline constexpr uint16_t kShift = 56;
inline constexpr uint16_t kCapsLock = 57;
inline constexpr uint16_t kOption = 58;
inline constexpr uint16_t kControl = 59;
inline constexpr uint16_t kRightShift = 60;
inline constexpr uint16_t kRightOption = 61;
inline constexpr uint16_t kRightControl = 62;
inline constexpr uint16_t kFunction = 63;

// The flag a modifier key holds while it is down (Caps Lock: the alpha-shift flag it toggles);
// nullopt for keys that are not modifiers.
std::optional<platform::EventFlags> modifierFlag(uint16_t keycode);

// What one key types under one layout. Letter keys follow Caps Lock; the others ignore it.
struct KeyCharacters {
  uint16_t keycode;
  std::u16string_view plain;
  std::u16string_view shifted;
  bool letter;
};

// The table of a layout: "us" (U.S.), "ru" (Russian, PC arrangement) or "dvorak". Unknown names
// get the US table, as the system falls back to a Latin layout.
std::span<const KeyCharacters> layoutTable(std::string_view layout);

// Whether a layout types Latin letters ("ru" does not).
bool isLatin(std::string_view layout);

// The character an application matches a Command shortcut by: what the key types under the
// layout, or under the US layout when the layout is not Latin (as macOS does for Russian).
std::u16string commandCharacters(std::string_view layout, uint16_t keycode);

// The characters a key types (empty for keys that type nothing, such as modifiers).
std::u16string characters(std::string_view layout, uint16_t keycode, bool shift, bool capsLock);

// The key (and whether Shift is needed) that types `ch` under a layout; unshifted keys win.
std::optional<std::pair<uint16_t, bool>> keyFor(std::string_view layout, char16_t ch);

}  // namespace sim::keys
