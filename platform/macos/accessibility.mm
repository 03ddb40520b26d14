#include "platform/accessibility.h"

#import <ApplicationServices/ApplicationServices.h>
#import <Foundation/Foundation.h>

#include <type_traits>
#include <variant>

#include "platform/macos/cf_handles.h"
#include "platform/macos/conversions.h"
#include "platform/macos/services.h"

namespace platform {
struct AXElementObject;  // the AXUIElementRef itself (see adoptHandle)
}

namespace platform::macos {
namespace {

AXUIElementRef elementRef(const AXElement& element) {
  return handleRef<AXUIElementRef>(element.get());
}

// An attribute value the OS handed over, as plain data.
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

// The CoreFoundation object for a value to set, owned. Null for what the call cannot carry: no
// value, another kind of object, or a boxed value other than a range (the box holds no data
// for it, and AXValueCreate would read past the range).
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

class MacAccessibility final : public Accessibility {
 public:
  bool isProcessTrusted() override { return AXIsProcessTrusted() != 0; }

  bool isProcessTrustedWithOptions(bool prompt) override {
    NSDictionary* options = @{
      (__bridge NSString*)
      kAXTrustedCheckOptionPrompt : (__bridge NSNumber*)(prompt ? kCFBooleanTrue : kCFBooleanFalse)
    };
    return AXIsProcessTrustedWithOptions((__bridge CFDictionaryRef)options) != 0;
  }

  AXElement createApplication(int32_t pid) override {
    return adoptHandle<AXElementObject>(AXUIElementCreateApplication(pid));
  }

  AXElement createSystemWide() override {
    return adoptHandle<AXElementObject>(AXUIElementCreateSystemWide());
  }

  // An empty handle stands for NULL, which the accessibility calls refuse as an illegal
  // argument; it is answered that way without reaching them.
  AXError copyAttributeValue(const AXElement& element, std::string_view attribute,
                             AXAttributeValue& value) override {
    if (!element) return kAXErrorIllegalArgument;
    NSString* name = toNSString(attribute);
    CFTypeRef copied = nullptr;
    const ::AXError error =
        AXUIElementCopyAttributeValue(elementRef(element), (__bridge CFStringRef)name, &copied);
    const CFRef<CFTypeRef> owned(copied);
    if (error == ::kAXErrorSuccess) value = toAttributeValue(owned.get());
    return static_cast<AXError>(error);
  }

  AXError setAttributeValue(const AXElement& element, std::string_view attribute,
                            const AXAttributeValue& value) override {
    const CFRef<CFTypeRef> object = toCFValue(value);
    if (!element || !object) return kAXErrorIllegalArgument;
    NSString* name = toNSString(attribute);
    return static_cast<AXError>(AXUIElementSetAttributeValue(
        elementRef(element), (__bridge CFStringRef)name, object.get()));
  }

  AXError isAttributeSettable(const AXElement& element, std::string_view attribute,
                              bool& settable) override {
    if (!element) return kAXErrorIllegalArgument;
    NSString* name = toNSString(attribute);
    Boolean answer = false;
    const ::AXError error =
        AXUIElementIsAttributeSettable(elementRef(element), (__bridge CFStringRef)name, &answer);
    if (error == ::kAXErrorSuccess) settable = answer != 0;
    return static_cast<AXError>(error);
  }

  std::optional<AXValueBox> createRangeValue(AXRange range) override {
    const CFRange cfRange =
        CFRangeMake(static_cast<CFIndex>(range.location), static_cast<CFIndex>(range.length));
    const CFRef<AXValueRef> created(AXValueCreate(::kAXValueTypeCFRange, &cfRange));
    if (!created) return std::nullopt;
    return AXValueBox{kAXValueTypeCFRange, range};
  }
};

}  // namespace

std::unique_ptr<Accessibility> makeAccessibility() {
  return std::make_unique<MacAccessibility>();
}

}  // namespace platform::macos
