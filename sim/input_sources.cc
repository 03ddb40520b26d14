// The simulated Text Input Sources service.

#include "sim/input_sources.h"

#include <algorithm>

#include "sim/keyboard_layouts.h"
#include "sim/world_impl.h"

namespace sim {

std::optional<std::vector<platform::InputSource>> SimInputSources::createInputSourceList(
    const platform::InputSourceFilter& filter, bool includeAllInstalled) {
  w_.requireMainThread("createInputSourceList");
  ++w_.calls.inputSourceLists;
  if (w_.faults.inputSourceListNil || w_.faults.inputSourceListNotArray ||
      w_.faults.inputSourceListHoldsNonSources) {
    return std::nullopt;
  }
  // The list's own order: not the Input menu's.
  std::vector<const InputSourceState*> ordered;
  for (const std::string& id : w_.listOrder) {
    const InputSourceState* s = w_.source(id);
    if (s && std::find(ordered.begin(), ordered.end(), s) == ordered.end()) ordered.push_back(s);
  }
  for (const InputSourceState& s : w_.sources) {
    if (std::find(ordered.begin(), ordered.end(), &s) == ordered.end()) ordered.push_back(&s);
  }
  std::vector<platform::InputSource> out;
  for (const InputSourceState* s : ordered) {
    // Without includeAllInstalled only enabled sources are candidates at all.
    if (!includeAllInstalled && !s->enabled) continue;
    if (filter.category && *filter.category != s->category) continue;
    if (filter.isEnabled && *filter.isEnabled != s->enabled) continue;
    if (filter.isSelectCapable && *filter.isSelectCapable != s->selectCapable) continue;
    out.push_back(source(s->id));
  }
  return out;
}

std::optional<std::vector<std::optional<std::string>>> SimInputSources::languages(
    const platform::InputSource& source) {
  w_.requireMainThread("languages");
  const InputSourceState* s = source ? w_.source(source->id) : nullptr;
  if (!s) return std::nullopt;
  return s->languages;
}

std::optional<std::string> SimInputSources::sourceID(const platform::InputSource& source) {
  w_.requireMainThread("sourceID");
  const InputSourceState* s = source ? w_.source(source->id) : nullptr;
  if (!s) return std::nullopt;
  return s->id;
}

std::optional<std::string> SimInputSources::sourceType(const platform::InputSource& source) {
  w_.requireMainThread("sourceType");
  const InputSourceState* s = source ? w_.source(source->id) : nullptr;
  if (!s) return std::nullopt;
  return s->type;
}

// Only an enabled source that can be selected is; selecting the selected one changes nothing and
// posts nothing.
int32_t SimInputSources::select(const platform::InputSource& source) {
  w_.requireMainThread("select");
  constexpr int32_t kParamErr = -50;
  ++w_.calls.inputSourceSelects;
  const InputSourceState* s = source ? w_.source(source->id) : nullptr;
  if (!s || !s->enabled || !s->selectCapable) return kParamErr;
  if (s->selectStatus != 0) return s->selectStatus;
  w_.selectSource(s->id, true);
  return 0;
}

platform::InputSource SimInputSources::copyCurrentKeyboardInputSource() {
  w_.requireMainThread("copyCurrentKeyboardInputSource");
  return w_.source(w_.selectedSource) ? source(w_.selectedSource) : nullptr;
}

platform::InputSource SimInputSources::copyCurrentKeyboardLayoutInputSource() {
  w_.requireMainThread("copyCurrentKeyboardLayoutInputSource");
  return w_.source(w_.selectedSource) ? source(w_.selectedSource) : nullptr;
}

platform::InputSource SimInputSources::copyCurrentASCIICapableKeyboardLayoutInputSource() {
  w_.requireMainThread("copyCurrentASCIICapableKeyboardLayoutInputSource");
  const std::string id = w_.asciiCapableLayout();
  return id.empty() ? nullptr : source(id);
}

platform::InputSource SimInputSources::source(const std::string& id) {
  return std::make_shared<platform::InputSourceObject>(platform::InputSourceObject{id});
}

platform::KeyLayoutData SimInputSources::unicodeKeyLayoutData(const platform::InputSource& source) {
  w_.requireMainThread("unicodeKeyLayoutData");
  const InputSourceState* s = source ? w_.source(source->id) : nullptr;
  if (!s || w_.faults.keyLayoutDataMissing) return nullptr;
  return std::make_shared<platform::KeyLayoutDataObject>(platform::KeyLayoutDataObject{s->layout});
}

uint32_t SimInputSources::keyboardType() {
  w_.requireMainThread("keyboardType");
  return 40;  // an ANSI keyboard
}

// The layouts' tables have no Command level of their own: Command types what the key types,
// also on a non-Latin layout (which is why applications fall back to the US keys there).
platform::KeyTranslation SimInputSources::keyTranslate(const platform::KeyLayoutData& layout,
                                                       uint16_t virtualKeyCode, uint16_t,
                                                       uint32_t modifierKeyState, uint32_t,
                                                       uint32_t) {
  w_.requireMainThread("keyTranslate");
  constexpr int32_t kParamErr = -50;
  if (!layout) return {kParamErr, {}};
  const bool shift = (modifierKeyState & platform::kUCKeyModifierShift) != 0;
  return {0, keys::characters(layout->layout, virtualKeyCode, shift, false)};
}

}  // namespace sim
