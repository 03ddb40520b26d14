// The simulated Text Input Sources service.

#include "sim/world_impl.h"

namespace sim {

std::optional<std::vector<platform::InputSource>> SimInputSources::createInputSourceList(
    const platform::InputSourceFilter& filter, bool includeAllInstalled) {
  ++w_.calls.inputSourceLists;
  if (w_.faults.inputSourceListNil || w_.faults.inputSourceListNotArray ||
      w_.faults.inputSourceListHoldsNonSources) {
    return std::nullopt;
  }
  std::vector<platform::InputSource> out;
  for (const InputSourceState& s : w_.sources) {
    // Without includeAllInstalled only enabled sources are candidates at all.
    if (!includeAllInstalled && !s.enabled) continue;
    if (filter.category && *filter.category != s.category) continue;
    if (filter.isEnabled && *filter.isEnabled != s.enabled) continue;
    if (filter.isSelectCapable && *filter.isSelectCapable != s.selectCapable) continue;
    out.push_back(std::make_shared<platform::InputSourceObject>(platform::InputSourceObject{s.id}));
  }
  return out;
}

std::optional<std::vector<std::optional<std::string>>> SimInputSources::languages(
    const platform::InputSource& source) {
  const InputSourceState* s = source ? w_.source(source->id) : nullptr;
  if (!s) return std::nullopt;
  return s->languages;
}

std::optional<std::string> SimInputSources::sourceID(const platform::InputSource& source) {
  const InputSourceState* s = source ? w_.source(source->id) : nullptr;
  if (!s) return std::nullopt;
  return s->id;
}

int32_t SimInputSources::select(const platform::InputSource& source) {
  constexpr int32_t kParamErr = -50;
  ++w_.calls.inputSourceSelects;
  const InputSourceState* s = source ? w_.source(source->id) : nullptr;
  if (!s) return kParamErr;
  if (s->selectStatus != 0) return s->selectStatus;
  w_.selectedSource = s->id;
  return 0;
}

}  // namespace sim
