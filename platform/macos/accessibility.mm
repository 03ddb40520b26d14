#include "platform/accessibility.h"

#import <ApplicationServices/ApplicationServices.h>
#import <Foundation/Foundation.h>

#include "platform/macos/accessibility_values.h"
#include "platform/macos/cf_handles.h"
#include "platform/macos/conversions.h"
#include "platform/macos/guard.h"
#include "platform/macos/services.h"

namespace platform::macos {
namespace {

class MacAccessibility final : public Accessibility {
 public:
  // Also from the key tap's thread (see KeyEventTapHandler::tapCallback).
  bool isProcessTrusted() override { return AXIsProcessTrusted() != 0; }

  bool isProcessTrustedWithOptions(bool prompt) override {
    assertMainThread();
    NSDictionary* options = @{
      (__bridge NSString*)
      kAXTrustedCheckOptionPrompt : (__bridge NSNumber*)(prompt ? kCFBooleanTrue : kCFBooleanFalse)
    };
    return AXIsProcessTrustedWithOptions((__bridge CFDictionaryRef)options) != 0;
  }

  AXElement createApplication(int32_t pid) override {
    assertMainThread();
    return adoptHandle<AXElementObject>(AXUIElementCreateApplication(pid));
  }

  AXElement createSystemWide() override {
    assertMainThread();
    return adoptHandle<AXElementObject>(AXUIElementCreateSystemWide());
  }

  // An empty handle stands for NULL, which the accessibility calls refuse as an illegal
  // argument; it is answered that way without reaching them.
  AXError copyAttributeValue(const AXElement& element, std::string_view attribute,
                             AXAttributeValue& value) override {
    assertMainThread();
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
    assertMainThread();
    const CFRef<CFTypeRef> object = toCFValue(value);
    if (!element || !object) return kAXErrorIllegalArgument;
    NSString* name = toNSString(attribute);
    return static_cast<AXError>(AXUIElementSetAttributeValue(
        elementRef(element), (__bridge CFStringRef)name, object.get()));
  }

  AXError isAttributeSettable(const AXElement& element, std::string_view attribute,
                              bool& settable) override {
    assertMainThread();
    if (!element) return kAXErrorIllegalArgument;
    NSString* name = toNSString(attribute);
    Boolean answer = false;
    const ::AXError error =
        AXUIElementIsAttributeSettable(elementRef(element), (__bridge CFStringRef)name, &answer);
    if (error == ::kAXErrorSuccess) settable = answer != 0;
    return static_cast<AXError>(error);
  }

  AXError getPid(const AXElement& element, int32_t& pid) override {
    assertMainThread();
    if (!element) return kAXErrorIllegalArgument;
    pid_t owner = 0;
    const ::AXError error = AXUIElementGetPid(elementRef(element), &owner);
    if (error == ::kAXErrorSuccess) pid = static_cast<int32_t>(owner);
    return static_cast<AXError>(error);
  }

  AXError setMessagingTimeout(const AXElement& element, float timeoutInSeconds) override {
    assertMainThread();
    if (!element) return kAXErrorIllegalArgument;
    return static_cast<AXError>(
        AXUIElementSetMessagingTimeout(elementRef(element), timeoutInSeconds));
  }

  std::optional<AXValueBox> createRangeValue(AXRange range) override {
    assertMainThread();
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
