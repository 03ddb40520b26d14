#pragma once
// Carbon Text Input Sources (TISCreateInputSourceList, TISGetInputSourceProperty,
// TISSelectInputSource).

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

struct InputSourceObject;  // TISInputSourceRef
using InputSource = std::shared_ptr<InputSourceObject>;
// A keyboard layout's key table: the CFDataRef of kTISPropertyUnicodeKeyLayoutData, holding a
// UCKeyboardLayout. The handle keeps the data alive.
struct KeyLayoutDataObject;
using KeyLayoutData = std::shared_ptr<KeyLayoutDataObject>;

// UCKeyTranslate's key action, option and modifier state (Carbon EventModifiers >> 8).
inline constexpr uint16_t kUCKeyActionDown = 0;
inline constexpr uint32_t kUCKeyTranslateNoDeadKeysMask = 1;
inline constexpr uint32_t kUCKeyModifierCommand = 0x01;  // cmdKey >> 8
inline constexpr uint32_t kUCKeyModifierShift = 0x02;    // shiftKey >> 8

// What UCKeyTranslate gives: its OSStatus (0 is noErr) and the characters the key produces.
struct KeyTranslation {
  int32_t status = 0;
  std::u16string characters;
};

// kTISCategoryKeyboardInputSource.
inline constexpr std::string_view kTISCategoryKeyboardInputSource =
    "TISCategoryKeyboardInputSource";

// The values of kTISPropertyInputSourceType for the keyboard category: a plain keyboard layout,
// an input method without modes, an input method whose modes are selected instead of it, a mode.
inline constexpr std::string_view kTISTypeKeyboardLayout = "TISTypeKeyboardLayout";
inline constexpr std::string_view kTISTypeKeyboardInputMethodWithoutModes =
    "TISTypeKeyboardInputMethodWithoutModes";
inline constexpr std::string_view kTISTypeKeyboardInputMethodModeEnabled =
    "TISTypeKeyboardInputMethodModeEnabled";
inline constexpr std::string_view kTISTypeKeyboardInputMode = "TISTypeKeyboardInputMode";

// kTISNotifySelectedKeyboardInputSourceChanged: the distributed notification posted on every
// selection of a keyboard input source, by the user or by a program.
inline constexpr std::string_view kTISNotifySelectedKeyboardInputSourceChanged =
    "AppleSelectedInputSourcesChangedNotification";

// The properties dictionary of TISCreateInputSourceList; an absent entry is not in the dictionary.
struct InputSourceFilter {
  std::optional<std::string> category;  // kTISPropertyInputSourceCategory
  std::optional<bool> isEnabled;        // kTISPropertyInputSourceIsEnabled
  std::optional<bool> isSelectCapable;  // kTISPropertyInputSourceIsSelectCapable
};

class InputSources {
 public:
  virtual ~InputSources() = default;
  // TISCreateInputSourceList; nullopt when it returns NULL or something that is not an array.
  [[nodiscard]] virtual std::optional<std::vector<InputSource>> createInputSourceList(
      const InputSourceFilter& filter, bool includeAllInstalled) = 0;
  // kTISPropertyInputSourceLanguages: nullopt when the property is absent or not an array; an
  // element that is not a string is nullopt.
  [[nodiscard]] virtual std::optional<std::vector<std::optional<std::string>>> languages(
      const InputSource& source) = 0;
  // kTISPropertyInputSourceID, for messages and inspection.
  [[nodiscard]] virtual std::optional<std::string> sourceID(const InputSource& source) = 0;
  // kTISPropertyInputSourceType (one of the kTISType values); nullopt when absent or not a string.
  [[nodiscard]] virtual std::optional<std::string> sourceType(const InputSource& source) = 0;
  // TISSelectInputSource; the OSStatus.
  [[nodiscard]] virtual int32_t select(const InputSource& source) = 0;

  // TISCopyCurrentKeyboardInputSource: the selected keyboard source, of any type; null when it
  // returns NULL.
  [[nodiscard]] virtual InputSource copyCurrentKeyboardInputSource() = 0;
  // TISCopyCurrentKeyboardLayoutInputSource; null when it returns NULL.
  [[nodiscard]] virtual InputSource copyCurrentKeyboardLayoutInputSource() = 0;
  // TISCopyCurrentASCIICapableKeyboardLayoutInputSource: the ASCII-capable keyboard layout used
  // most recently (the one Setup Assistant chose before any was); null when it returns NULL.
  [[nodiscard]] virtual InputSource copyCurrentASCIICapableKeyboardLayoutInputSource() = 0;
  // TISGetInputSourceProperty(source, kTISPropertyUnicodeKeyLayoutData); null when the property
  // is absent or not a CFData.
  [[nodiscard]] virtual KeyLayoutData unicodeKeyLayoutData(const InputSource& source) = 0;
  // LMGetKbdType().
  [[nodiscard]] virtual uint32_t keyboardType() = 0;
  // UCKeyTranslate on the layout's bytes, with a dead-key state starting at 0 and room for four
  // UTF-16 units.
  [[nodiscard]] virtual KeyTranslation keyTranslate(const KeyLayoutData& layout,
                                                    uint16_t virtualKeyCode, uint16_t keyAction,
                                                    uint32_t modifierKeyState,
                                                    uint32_t keyboardType,
                                                    uint32_t keyTranslateOptions) = 0;
};

}  // namespace platform
