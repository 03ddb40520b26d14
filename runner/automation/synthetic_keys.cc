// Synthetic keystrokes. All of them come from one event source marked with kOwnEventMarker and
// are paced with fixed blocking pauses, so the receiving application keeps up.

#include "runner/automation/automation_handler.h"

namespace tandrel {

namespace {

constexpr uint16_t kKeycodeA = 0;  // the carrier key of typed text
constexpr uint16_t kKeycodeC = 8;
constexpr uint16_t kKeycodeV = 9;
constexpr uint16_t kKeycodeDelete = 51;

constexpr uint32_t kBackspacePauseMicros = 3000;
constexpr uint32_t kChunkPauseMicros = 5000;
// The system carries at most this many UTF-16 units in one keyboard event.
constexpr size_t kChunkUnits = 20;

bool isHighSurrogate(char16_t unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}
bool isLowSurrogate(char16_t unit) {
  return unit >= 0xDC00 && unit <= 0xDFFF;
}

}  // namespace

const platform::EventSource& AutomationHandler::eventSource() {
  if (!source) {
    platform::Events& events = platform_.events();
    platform::EventSource created =
        events.createSource(platform::kCGEventSourceStateHIDSystemState);
    if (created) {
      events.sourceSetUserData(created, kOwnEventMarker);
      // The user's own keyboard and mouse must never be held back after a synthetic key: they
      // keep typing while a correction is posted.
      events.sourceSetLocalEventsSuppressionInterval(created, 0);
      for (const platform::EventSuppressionState state :
           {platform::kCGEventSuppressionStateSuppressionInterval,
            platform::kCGEventSuppressionStateRemoteMouseDrag}) {
        events.sourceSetLocalEventsFilterDuringSuppressionState(
            created, platform::kCGEventFilterMaskPermitAllEvents, state);
      }
    }
    source = std::move(created);
  }
  return *source;
}

// Posts key down then key up, both with exactly `flags` (whatever the user holds) and, when
// given, the text they type. Posts nothing unless both events exist.
bool AutomationHandler::postKeyPair(uint16_t keycode, platform::EventFlags flags,
                                    std::u16string_view unicode) {
  platform::Events& events = platform_.events();
  const platform::EventSource& from = eventSource();
  const platform::Event down = events.createKeyboardEvent(from, keycode, true);
  const platform::Event up = events.createKeyboardEvent(from, keycode, false);
  if (!down || !up) return false;
  for (const platform::Event& event : {down, up}) {
    events.setFlags(event, flags);
    if (!unicode.empty()) events.keyboardSetUnicodeString(event, unicode.size(), unicode.data());
  }
  events.post(platform::kCGHIDEventTap, down);
  events.post(platform::kCGHIDEventTap, up);
  return true;
}

void AutomationHandler::copy() {
  postKeyPair(shortcutKeycode(u'c', kKeycodeC), platform::kCGEventFlagMaskCommand);
}

void AutomationHandler::paste() {
  postKeyPair(shortcutKeycode(u'v', kKeycodeV), platform::kCGEventFlagMaskCommand);
}

void AutomationHandler::backspace(int64_t count) {
  for (int64_t i = 0; i < count; ++i) {
    // A pair that cannot be made still takes its pause, so the pacing stays the same.
    postKeyPair(kKeycodeDelete, 0);
    platform_.mainLoop().sleepMicroseconds(kBackspacePauseMicros);
  }
}

bool AutomationHandler::typeText(std::u16string_view text, const std::function<bool()>& mayGoOn) {
  size_t start = 0;
  while (start < text.size()) {
    size_t end = std::min(start + kChunkUnits, text.size());
    // Never end a chunk between the halves of a surrogate pair: the pair goes to the next chunk.
    if (end < text.size() && end - start > 1 && isHighSurrogate(text[end - 1]) &&
        isLowSurrogate(text[end])) {
      --end;
    }
    if (mayGoOn && !mayGoOn()) return false;
    if (!postKeyPair(kKeycodeA, 0, text.substr(start, end - start))) return false;
    platform_.mainLoop().sleepMicroseconds(kChunkPauseMicros);
    start = end;
  }
  return true;
}

}  // namespace tandrel
