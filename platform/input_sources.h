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

// kTISCategoryKeyboardInputSource.
inline constexpr std::string_view kTISCategoryKeyboardInputSource =
    "TISCategoryKeyboardInputSource";

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
  // TISSelectInputSource; the OSStatus.
  [[nodiscard]] virtual int32_t select(const InputSource& source) = 0;
};

}  // namespace platform
