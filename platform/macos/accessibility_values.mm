#include "platform/macos/accessibility_values.h"

#import <Foundation/Foundation.h>

#include <type_traits>
#include <variant>

#include "platform/macos/conversions.h"

namespace platform {
struct AXElementObject;  // the AXUIElementRef itself (see adoptHandle)
}

namespace platform::macos {

AXUIElementRef elementRef(const AXElement& element) {
  return handleRef<AXUIElementRef>(element.get());
}

AXAttributeValue toAttributeValue(CFTypeRef value) {
  if (value == nullptr) return std::monostate{};
  const CFTypeID type = CFGetTypeID(value);
  if (type == CFStringGetTypeID()) return toU16String((__bridge NSString*)value);
  if (type == CFBooleanGetTypeID()) {
    return CFBooleanGetValue(static_cast<CFBooleanRef>(value)) != 0;
  }
  if (type == CFNumberGetTypeID()) {
    double number = 0;
    CFNumberGetValue(static_cast<CFNumberRef>(value), kCFNumberDoubleType, &number);
    return number;
  }
  if (type == AXUIElementGetTypeID()) {
    return retainHandle<AXElementObject>(static_cast<AXUIElementRef>(value));
  }
  if (type == AXValueGetTypeID()) {
    const auto axValue = static_cast<AXValueRef>(value);
    const AXValueType valueType = AXValueGetType(axValue);
    AXValueBox box;
    box.type = static_cast<int32_t>(valueType);
    CFRange range = CFRangeMake(0, 0);
    if (valueType == ::kAXValueTypeCFRange &&
        AXValueGetValue(axValue, ::kAXValueTypeCFRange, &range)) {
      box.range = {range.location, range.length};
    }
    return box;
  }
  CFRef<CFStringRef> typeName(CFCopyTypeIDDescription(type));
  return AXOtherValue{toUtf8((__bridge NSString*)typeName.get())};
}

CFRef<CFTypeRef> toCFValue(const AXAttributeValue& value) {
  return std::visit(
      [](const auto& v) -> CFRef<CFTypeRef> {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, bool>) {
          return CFRef<CFTypeRef>(CFRetain(v ? kCFBooleanTrue : kCFBooleanFalse));
        } else if constexpr (std::is_same_v<T, double>) {
          return CFRef<CFTypeRef>(CFNumberCreate(kCFAllocatorDefault, kCFNumberDoubleType, &v));
        } else if constexpr (std::is_same_v<T, std::u16string>) {
          return CFRef<CFTypeRef>(CFStringCreateWithCharacters(
              kCFAllocatorDefault, reinterpret_cast<const UniChar*>(v.data()),
              static_cast<CFIndex>(v.size())));
        } else if constexpr (std::is_same_v<T, AXElement>) {
          return v ? CFRef<CFTypeRef>(CFRetain(elementRef(v))) : CFRef<CFTypeRef>();
        } else if constexpr (std::is_same_v<T, AXValueBox>) {
          if (v.type != kAXValueTypeCFRange) return CFRef<CFTypeRef>();
          const CFRange range = CFRangeMake(static_cast<CFIndex>(v.range.location),
                                            static_cast<CFIndex>(v.range.length));
          return CFRef<CFTypeRef>(AXValueCreate(::kAXValueTypeCFRange, &range));
        } else {
          return CFRef<CFTypeRef>();
        }
      },
      value);
}

}  // namespace platform::macos
