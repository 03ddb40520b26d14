// Declarations of the Text Input Sources calls (HIToolbox TextInputSources.h) and the secure event
// input query (CarbonEvents.h) the macOS adapters make, from Apple's public documentation.
#pragma once

#include <ApplicationServices/ApplicationServices.h>

CF_EXTERN_C_BEGIN

typedef struct __TISInputSource* TISInputSourceRef;

extern const CFStringRef kTISPropertyInputSourceCategory;
extern const CFStringRef kTISPropertyInputSourceIsEnabled;
extern const CFStringRef kTISPropertyInputSourceIsSelectCapable;
extern const CFStringRef kTISPropertyInputSourceLanguages;
extern const CFStringRef kTISPropertyInputSourceID;
extern const CFStringRef kTISPropertyInputSourceType;
extern const CFStringRef kTISCategoryKeyboardInputSource;
extern const CFStringRef kTISPropertyUnicodeKeyLayoutData;

CFTypeID TISInputSourceGetTypeID(void);
CFArrayRef TISCreateInputSourceList(CFDictionaryRef properties,
                                    Boolean includeAllInstalled) CF_RETURNS_RETAINED;
void* TISGetInputSourceProperty(TISInputSourceRef inputSource, CFStringRef propertyKey);
OSStatus TISSelectInputSource(TISInputSourceRef inputSource);
TISInputSourceRef TISCopyCurrentKeyboardInputSource(void) CF_RETURNS_RETAINED;

// HIToolbox CarbonEvents.h: whether secure event input is on anywhere in the session.
Boolean IsSecureEventInputEnabled(void);

TISInputSourceRef TISCopyCurrentKeyboardLayoutInputSource(void) CF_RETURNS_RETAINED;
TISInputSourceRef TISCopyCurrentASCIICapableKeyboardLayoutInputSource(void) CF_RETURNS_RETAINED;

// Keyboard layouts (CarbonCore UnicodeUtilities.h) and the keyboard type (HIToolbox).
typedef UInt32 OptionBits;
typedef struct UCKeyboardLayout UCKeyboardLayout;
enum { kUCKeyActionDown = 0, kUCKeyActionUp = 1, kUCKeyActionAutoKey = 2, kUCKeyActionDisplay = 3 };
enum { kUCKeyTranslateNoDeadKeysBit = 0, kUCKeyTranslateNoDeadKeysMask = 1 << 0 };
OSStatus UCKeyTranslate(const UCKeyboardLayout* keyLayoutPtr, UInt16 virtualKeyCode,
                        UInt16 keyAction, UInt32 modifierKeyState, UInt32 keyboardType,
                        OptionBits keyTranslateOptions, UInt32* deadKeyState,
                        UniCharCount maxStringLength, UniCharCount* actualStringLength,
                        UniChar unicodeString[]);
UInt8 LMGetKbdType(void);

CF_EXTERN_C_END
