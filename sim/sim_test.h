#pragma once
// For the simulation's own tests: a field written with its selection marked, and what a recording
// tap heard, each as one line.

#include <map>
#include <string>
#include <utility>

#include "sim/recording_tap.h"
#include "text/text.h"

namespace sim {

// The field's text with its selection in brackets, or a bar at the caret: "h[el]lo", "hello|".
inline std::u16string marked(const ElementState& e) {
  std::u16string s = e.value.value_or(u"");
  if (!e.selection) return s;
  const auto [at, length] = *e.selection;
  if (length == 0) return s.insert(at, u"|");
  return s.insert(at + length, u"]").insert(at, u"[");
}

// Sets the field from the same notation; without a mark the selection is unknown.
inline void setMarked(ElementState& e, std::u16string_view text) {
  std::u16string value;
  e.selection.reset();
  int64_t start = 0;
  for (const char16_t c : text) {
    const auto at = static_cast<int64_t>(value.size());
    if (c == u'|') {
      e.selection = platform::AXRange{at, 0};
    } else if (c == u'[') {
      start = at;
    } else if (c == u']') {
      e.selection = platform::AXRange{start, at - start};
    } else {
      value.push_back(c);
    }
  }
  e.value = value;
}

// "down V shift cmd repeat, flags 56, click, off by timeout": each event's type, characters (key
// code for a modifier), flags, repeat and user data.
inline std::string heard(const Recorder& r) {
  static const std::map<platform::EventType, std::string> kTypes = {
      {platform::kCGEventKeyDown, "down "},
      {platform::kCGEventKeyUp, "up"},
      {platform::kCGEventFlagsChanged, "flags "},
      {platform::kCGEventLeftMouseDown, "click"},
      {platform::kCGEventTapDisabledByTimeout, "off by timeout"},
      {platform::kCGEventTapDisabledByUserInput, "off by user input"}};
  static constexpr std::pair<platform::EventFlags, const char*> kFlags[] = {
      {platform::kCGEventFlagMaskAlphaShift, " caps"},
      {platform::kCGEventFlagMaskShift, " shift"},
      {platform::kCGEventFlagMaskControl, " ctrl"},
      {platform::kCGEventFlagMaskCommand, " cmd"},
      {platform::kCGEventFlagMaskSecondaryFn, " fn"}};
  std::string out;
  for (const SeenEvent& e : r.seen) {
    out += (out.empty() ? "" : ", ") + kTypes.at(e.type);
    if (e.type == platform::kCGEventKeyDown) out += text::utf16ToUtf8(e.chars);
    if (e.type == platform::kCGEventFlagsChanged) out += std::to_string(e.keycode);
    for (const auto& [flag, name] : kFlags) {
      if (e.flags & flag) out += name;
    }
    if (e.repeat) out += " repeat";
    if (e.userData) out += " data " + std::to_string(e.userData);
  }
  return out;
}

}  // namespace sim
