#pragma once
// The simulated accessibility server and the applications' elements behind it.

#include <cstdint>

#include "sim/world.h"

namespace platform {

struct AXElementObject {
  enum class Kind { kSystemWide, kApplication, kFocused };
  Kind kind = Kind::kSystemWide;
  int32_t pid = 0;
  sim::Micros messagingTimeout = 0;  // this element's own; 0: the process's
};

}  // namespace platform

namespace sim {

class SimAccessibility final : public platform::Accessibility {
 public:
  explicit SimAccessibility(World::Impl& w) : w_(w) {}
  bool isProcessTrusted() override;
  bool isProcessTrustedWithOptions(bool prompt) override;
  platform::AXElement createApplication(int32_t pid) override;
  platform::AXElement createSystemWide() override;
  platform::AXError copyAttributeValue(const platform::AXElement& element,
                                       std::string_view attribute,
                                       platform::AXAttributeValue& value) override;
  platform::AXError setAttributeValue(const platform::AXElement& element,
                                      std::string_view attribute,
                                      const platform::AXAttributeValue& value) override;
  platform::AXError isAttributeSettable(const platform::AXElement& element,
                                        std::string_view attribute, bool& settable) override;
  platform::AXError setMessagingTimeout(const platform::AXElement& element,
                                        float timeoutInSeconds) override;
  std::optional<platform::AXValueBox> createRangeValue(platform::AXRange range) override;
  platform::AXError getPid(const platform::AXElement& element, int32_t& pid) override;

 private:
  // A hung application (or the host itself) answers nothing: the call blocks for the messaging
  // timeout, then fails. A slow one blocks for its delay first.
  bool timesOut(const platform::AXElement& element, int32_t pid);
  // The application's focused element, unless its tree is hidden now.
  ElementState* focusedInTree(int32_t pid);
  World::Impl& w_;
};

}  // namespace sim
