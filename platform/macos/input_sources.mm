#include "platform/input_sources.h"

#import <Carbon/Carbon.h>
#import <Foundation/Foundation.h>

#include "platform/macos/cf_handles.h"
#include "platform/macos/conversions.h"
#include "platform/macos/guard.h"
#include "platform/macos/services.h"

namespace platform {
struct InputSourceObject;    // the TISInputSourceRef itself (see adoptHandle)
struct KeyLayoutDataObject;  // the layout's CFDataRef itself, retained
}

namespace platform::macos {
namespace {

// TISSelectInputSource's answer to a parameter it cannot use (paramErr).
constexpr int32_t kParamErr = -50;

TISInputSourceRef sourceRef(const InputSource& source) {
  return handleRef<TISInputSourceRef>(source.get());
}

id toCFBoolean(bool value) {
  return (__bridge id)(value ? kCFBooleanTrue : kCFBooleanFalse);
}

// A borrowed property value when it is a CFString, else nil.
NSString* stringValue(CFTypeRef value) {
  if (value == nullptr || CFGetTypeID(value) != CFStringGetTypeID()) return nil;
  return (__bridge NSString*)value;
}

class MacInputSources final : public InputSources {
 public:
  // "Not an array of input sources" also covers an array holding anything else: such an element
  // could not be handed to the TIS property calls.
  std::optional<std::vector<InputSource>> createInputSourceList(const InputSourceFilter& filter,
                                                                bool includeAllInstalled) override {
    assertMainThread();
    NSMutableDictionary* properties = [NSMutableDictionary dictionary];
    if (filter.category) {
      [properties setObject:toNSString(*filter.category)
                     forKey:(__bridge NSString*)kTISPropertyInputSourceCategory];
    }
    if (filter.isEnabled) {
      [properties setObject:toCFBoolean(*filter.isEnabled)
                     forKey:(__bridge NSString*)kTISPropertyInputSourceIsEnabled];
    }
    if (filter.isSelectCapable) {
      [properties setObject:toCFBoolean(*filter.isSelectCapable)
                     forKey:(__bridge NSString*)kTISPropertyInputSourceIsSelectCapable];
    }
    const CFRef<CFArrayRef> list(
        TISCreateInputSourceList((__bridge CFDictionaryRef)properties, includeAllInstalled));
    if (!list || CFGetTypeID(list.get()) != CFArrayGetTypeID()) return std::nullopt;

    const CFIndex count = CFArrayGetCount(list.get());
    std::vector<InputSource> sources;
    sources.reserve(static_cast<size_t>(count));
    for (CFIndex i = 0; i < count; ++i) {
      const void* element = CFArrayGetValueAtIndex(list.get(), i);
      if (element == nullptr || CFGetTypeID(element) != TISInputSourceGetTypeID()) {
        return std::nullopt;
      }
      sources.push_back(retainHandle<InputSourceObject>(element));
    }
    return sources;
  }

  std::optional<std::vector<std::optional<std::string>>> languages(
      const InputSource& source) override {
    assertMainThread();
    if (!source) return std::nullopt;
    const CFTypeRef value =
        TISGetInputSourceProperty(sourceRef(source), kTISPropertyInputSourceLanguages);
    if (value == nullptr || CFGetTypeID(value) != CFArrayGetTypeID()) return std::nullopt;
    const auto array = static_cast<CFArrayRef>(value);
    const CFIndex count = CFArrayGetCount(array);
    std::vector<std::optional<std::string>> codes;
    codes.reserve(static_cast<size_t>(count));
    for (CFIndex i = 0; i < count; ++i) {
      codes.push_back(toOptionalUtf8(stringValue(CFArrayGetValueAtIndex(array, i))));
    }
    return codes;
  }

  std::optional<std::string> sourceID(const InputSource& source) override {
    assertMainThread();
    if (!source) return std::nullopt;
    return toOptionalUtf8(
        stringValue(TISGetInputSourceProperty(sourceRef(source), kTISPropertyInputSourceID)));
  }

  std::optional<std::string> sourceType(const InputSource& source) override {
    assertMainThread();
    if (!source) return std::nullopt;
    return toOptionalUtf8(
        stringValue(TISGetInputSourceProperty(sourceRef(source), kTISPropertyInputSourceType)));
  }

  int32_t select(const InputSource& source) override {
    assertMainThread();
    if (!source) return kParamErr;
    return static_cast<int32_t>(TISSelectInputSource(sourceRef(source)));
  }

  InputSource copyCurrentKeyboardInputSource() override {
    assertMainThread();
    return adoptHandle<InputSourceObject>(TISCopyCurrentKeyboardInputSource());
  }

  InputSource copyCurrentKeyboardLayoutInputSource() override {
    assertMainThread();
    return adoptHandle<InputSourceObject>(TISCopyCurrentKeyboardLayoutInputSource());
  }

  InputSource copyCurrentASCIICapableKeyboardLayoutInputSource() override {
    assertMainThread();
    return adoptHandle<InputSourceObject>(TISCopyCurrentASCIICapableKeyboardLayoutInputSource());
  }

  // The property is a Get: the data belongs to the source, so the handle retains it.
  KeyLayoutData unicodeKeyLayoutData(const InputSource& source) override {
    assertMainThread();
    if (!source) return nullptr;
    const CFTypeRef value =
        TISGetInputSourceProperty(sourceRef(source), kTISPropertyUnicodeKeyLayoutData);
    if (value == nullptr || CFGetTypeID(value) != CFDataGetTypeID()) return nullptr;
    return retainHandle<KeyLayoutDataObject>(value);
  }

  uint32_t keyboardType() override {
    assertMainThread();
    return LMGetKbdType();
  }

  KeyTranslation keyTranslate(const KeyLayoutData& layout, uint16_t virtualKeyCode,
                              uint16_t keyAction, uint32_t modifierKeyState, uint32_t keyboardType,
                              uint32_t keyTranslateOptions) override {
    assertMainThread();
    if (!layout) return {kParamErr, {}};
    const auto* table = reinterpret_cast<const UCKeyboardLayout*>(
        CFDataGetBytePtr(handleRef<CFDataRef>(layout.get())));
    UInt32 deadKeyState = 0;
    UniChar units[4];
    UniCharCount length = 0;
    const OSStatus status =
        UCKeyTranslate(table, virtualKeyCode, keyAction, modifierKeyState, keyboardType,
                       keyTranslateOptions, &deadKeyState, 4, &length, units);
    return {static_cast<int32_t>(status),
            std::u16string(units, units + (status == 0 ? length : 0))};
  }
};

}  // namespace

std::unique_ptr<InputSources> makeInputSources() {
  return std::make_unique<MacInputSources>();
}

}  // namespace platform::macos
