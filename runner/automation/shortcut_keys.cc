// The key that gives a Command shortcut. Applications match Command shortcuts by the character
// the key types under the current layout, so Cmd+C must be posted on the key that types "c":
// on Dvorak the key at the US position of C types "j" and would run another command.

#include "runner/automation/automation_handler.h"

namespace tandrel {

namespace {

// Virtual key codes 0 to 127: every key a keyboard layout can describe.
constexpr uint16_t kKeycodeCount = 128;

}  // namespace

uint16_t AutomationHandler::shortcutKeycode(char16_t character, uint16_t usKeycode) {
  platform::InputSources& sources = platform_.inputSources();
  const platform::InputSource current = sources.copyCurrentKeyboardLayoutInputSource();
  if (!current) return usKeycode;
  const platform::KeyLayoutData layout = sources.unicodeKeyLayoutData(current);
  if (!layout) return usKeycode;
  const uint32_t keyboardType = sources.keyboardType();
  const auto types = [&](uint16_t keycode) {
    const platform::KeyTranslation typed = sources.keyTranslate(
        layout, keycode, platform::kUCKeyActionDown, platform::kUCKeyModifierCommand, keyboardType,
        platform::kUCKeyTranslateNoDeadKeysMask);
    return typed.status == 0 && typed.characters.size() == 1 && typed.characters[0] == character;
  };
  // The US key first: it is the answer on most layouts, and wins should two keys type it.
  if (types(usKeycode)) return usKeycode;
  for (uint16_t keycode = 0; keycode < kKeycodeCount; ++keycode) {
    if (types(keycode)) return keycode;
  }
  // No key types it (Russian and the other non-Latin layouts): there, Command shortcuts follow
  // the US characters, so the US key is right.
  return usKeycode;
}

}  // namespace tandrel
