#pragma once
// Accessibility client calls (ApplicationServices: AXIsProcessTrusted*, AXUIElement*, AXValue*).

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace platform {

struct AXElementObject;  // defined by the backend
// An accessibility element (AXUIElementRef); copies share one reference-counted object.
using AXElement = std::shared_ptr<AXElementObject>;

using AXError = int32_t;
inline constexpr AXError kAXErrorSuccess = 0;
inline constexpr AXError kAXErrorFailure = -25200;
inline constexpr AXError kAXErrorIllegalArgument = -25201;
inline constexpr AXError kAXErrorInvalidUIElement = -25202;
inline constexpr AXError kAXErrorCannotComplete = -25204;
inline constexpr AXError kAXErrorAttributeUnsupported = -25205;
inline constexpr AXError kAXErrorAPIDisabled = -25211;
inline constexpr AXError kAXErrorNoValue = -25212;

// CFRange: positions and lengths in UTF-16 code units.
struct AXRange {
  int64_t location = 0;
  int64_t length = 0;
  friend bool operator==(const AXRange&, const AXRange&) = default;
};

inline constexpr int32_t kAXValueTypeCFRange = 4;

// An AXValueRef: its AXValueType, and the range it holds when that type is kAXValueTypeCFRange.
struct AXValueBox {
  int32_t type = kAXValueTypeCFRange;
  AXRange range;
  friend bool operator==(const AXValueBox&, const AXValueBox&) = default;
};

// Any other CoreFoundation type (an attributed string, a date, an array...).
struct AXOtherValue {
  std::string typeName;
  friend bool operator==(const AXOtherValue&, const AXOtherValue&) = default;
};

// A CFTypeRef attribute value as plain data. monostate: the call yielded no value (NULL).
// bool: CFBoolean; double: CFNumber; u16string: CFString; AXElement: AXUIElementRef;
// AXValueBox: AXValueRef.
using AXAttributeValue =
    std::variant<std::monostate, bool, double, std::u16string, AXElement, AXValueBox, AXOtherValue>;

class Accessibility {
 public:
  virtual ~Accessibility() = default;

  // AXIsProcessTrusted() != 0.
  [[nodiscard]] virtual bool isProcessTrusted() = 0;
  // AXIsProcessTrustedWithOptions({kAXTrustedCheckOptionPrompt: prompt}) != 0.
  [[nodiscard]] virtual bool isProcessTrustedWithOptions(bool prompt) = 0;

  // AXUIElementCreateApplication(pid).
  [[nodiscard]] virtual AXElement createApplication(int32_t pid) = 0;
  // AXUIElementCreateSystemWide().
  [[nodiscard]] virtual AXElement createSystemWide() = 0;

  // AXUIElementCopyAttributeValue; on success `value` receives the copied value.
  [[nodiscard]] virtual AXError copyAttributeValue(const AXElement& element,
                                                   std::string_view attribute,
                                                   AXAttributeValue& value) = 0;
  // AXUIElementSetAttributeValue.
  [[nodiscard]] virtual AXError setAttributeValue(const AXElement& element,
                                                  std::string_view attribute,
                                                  const AXAttributeValue& value) = 0;
  // AXUIElementIsAttributeSettable; `settable` is written only when the call writes it.
  [[nodiscard]] virtual AXError isAttributeSettable(const AXElement& element,
                                                    std::string_view attribute, bool& settable) = 0;
  // AXUIElementGetPid: the process the element belongs to, read from the element itself (no
  // message to the application, so it answers at once, also for a busy one).
  [[nodiscard]] virtual AXError getPid(const AXElement& element, int32_t& pid) = 0;
  // AXUIElementSetMessagingTimeout: on the system-wide element, for every element of the
  // process; on another element, for that one only. 0 restores the system's default.
  [[nodiscard]] virtual AXError setMessagingTimeout(const AXElement& element,
                                                    float timeoutInSeconds) = 0;
  // AXValueCreate(kAXValueTypeCFRange, &range); nullopt when it returns NULL.
  [[nodiscard]] virtual std::optional<AXValueBox> createRangeValue(AXRange range) = 0;
};

}  // namespace platform
