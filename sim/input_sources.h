#pragma once
// The simulated Text Input Sources and key translation.

#include <string>

#include "sim/world.h"

namespace platform {

struct InputSourceObject {
  std::string id;
};

struct KeyLayoutDataObject {
  std::string layout;  // the key table's name (sim::keys::layoutTable)
};

}  // namespace platform

namespace sim {

class SimInputSources final : public platform::InputSources {
 public:
  explicit SimInputSources(World::Impl& w) : w_(w) {}
  std::optional<std::vector<platform::InputSource>> createInputSourceList(
      const platform::InputSourceFilter& filter, bool includeAllInstalled) override;
  std::optional<std::vector<std::optional<std::string>>> languages(
      const platform::InputSource& source) override;
  std::optional<std::string> sourceID(const platform::InputSource& source) override;
  std::optional<std::string> sourceType(const platform::InputSource& source) override;
  int32_t select(const platform::InputSource& source) override;
  platform::InputSource copyCurrentKeyboardInputSource() override;
  platform::InputSource copyCurrentKeyboardLayoutInputSource() override;
  platform::InputSource copyCurrentASCIICapableKeyboardLayoutInputSource() override;
  platform::KeyLayoutData unicodeKeyLayoutData(const platform::InputSource& source) override;
  uint32_t keyboardType() override;
  platform::KeyTranslation keyTranslate(const platform::KeyLayoutData& layout,
                                        uint16_t virtualKeyCode, uint16_t keyAction,
                                        uint32_t modifierKeyState, uint32_t keyboardType,
                                        uint32_t keyTranslateOptions) override;

 private:
  static platform::InputSource source(const std::string& id);

  World::Impl& w_;
};

}  // namespace sim
