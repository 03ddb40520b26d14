// Declarations of the CoreGraphics event calls the macOS adapters make (CGEvent.h,
// CGEventSource.h, CGEventTypes.h, CGRemoteOperation.h), from Apple's public documentation.
#pragma once

#include <CoreFoundation/CoreFoundation.h>

CF_EXTERN_C_BEGIN

typedef struct __CGEvent* CGEventRef;
typedef struct __CGEventSource* CGEventSourceRef;
typedef struct __CGEventTapProxy* CGEventTapProxy;
typedef uint16_t CGKeyCode;
typedef uint64_t CGEventMask;

typedef double CGFloat;
struct CGPoint {
  CGFloat x;
  CGFloat y;
};
typedef struct CGPoint CGPoint;

typedef CF_ENUM(uint32_t, CGEventType) {
  kCGEventNull = 0,
  kCGEventLeftMouseDown = 1,
  kCGEventLeftMouseUp = 2,
  kCGEventRightMouseDown = 3,
  kCGEventRightMouseUp = 4,
  kCGEventKeyDown = 10,
  kCGEventKeyUp = 11,
  kCGEventFlagsChanged = 12,
  kCGEventOtherMouseDown = 25,
  kCGEventOtherMouseUp = 26,
  kCGEventTapDisabledByTimeout = 0xFFFFFFFE,
  kCGEventTapDisabledByUserInput = 0xFFFFFFFF,
};

typedef CF_ENUM(uint32_t, CGEventTapLocation) {
  kCGHIDEventTap = 0,
  kCGSessionEventTap,
  kCGAnnotatedSessionEventTap,
};

typedef CF_ENUM(uint32_t, CGEventTapPlacement) {
  kCGHeadInsertEventTap = 0,
  kCGTailAppendEventTap,
};

typedef CF_ENUM(uint32_t, CGEventTapOptions) {
  kCGEventTapOptionDefault = 0x00000000,
  kCGEventTapOptionListenOnly = 0x00000001,
};

typedef CF_ENUM(uint32_t, CGEventField) {
  kCGKeyboardEventAutorepeat = 8,
  kCGKeyboardEventKeycode = 9,
  kCGEventSourceUserData = 42,
};

typedef CF_OPTIONS(uint64_t, CGEventFlags) {
  kCGEventFlagMaskAlphaShift = 0x00010000,
  kCGEventFlagMaskShift = 0x00020000,
  kCGEventFlagMaskControl = 0x00040000,
  kCGEventFlagMaskAlternate = 0x00080000,
  kCGEventFlagMaskCommand = 0x00100000,
  kCGEventFlagMaskNumericPad = 0x00200000,
  kCGEventFlagMaskHelp = 0x00400000,
  kCGEventFlagMaskSecondaryFn = 0x00800000,
};

typedef CF_ENUM(int32_t, CGEventSourceStateID) {
  kCGEventSourceStatePrivate = -1,
  kCGEventSourceStateCombinedSessionState = 0,
  kCGEventSourceStateHIDSystemState = 1,
};

typedef CGEventRef (*CGEventTapCallBack)(CGEventTapProxy proxy, CGEventType type, CGEventRef event,
                                         void* userInfo);

CFMachPortRef CGEventTapCreate(CGEventTapLocation tap, CGEventTapPlacement place,
                               CGEventTapOptions options, CGEventMask eventsOfInterest,
                               CGEventTapCallBack callback, void* userInfo) CF_RETURNS_RETAINED;
void CGEventTapEnable(CFMachPortRef tap, bool enable);
bool CGEventTapIsEnabled(CFMachPortRef tap);

int64_t CGEventGetIntegerValueField(CGEventRef event, CGEventField field);
CGEventFlags CGEventGetFlags(CGEventRef event);
void CGEventSetFlags(CGEventRef event, CGEventFlags flags);
void CGEventKeyboardGetUnicodeString(CGEventRef event, UniCharCount maxStringLength,
                                     UniCharCount* actualStringLength, UniChar* unicodeString);
void CGEventKeyboardSetUnicodeString(CGEventRef event, UniCharCount stringLength,
                                     const UniChar* unicodeString);

CGEventSourceRef CGEventSourceCreate(CGEventSourceStateID stateID) CF_RETURNS_RETAINED;
void CGEventSourceSetUserData(CGEventSourceRef source, int64_t userData);

typedef CF_OPTIONS(uint32_t, CGEventFilterMask) {
  kCGEventFilterMaskPermitLocalMouseEvents = 0x00000001,
  kCGEventFilterMaskPermitLocalKeyboardEvents = 0x00000002,
  kCGEventFilterMaskPermitSystemDefinedEvents = 0x00000004,
};
typedef CF_ENUM(uint32_t, CGEventSuppressionState) {
  kCGEventSuppressionStateSuppressionInterval = 0,
  kCGEventSuppressionStateRemoteMouseDrag,
  kCGNumberOfEventSuppressionStates,
};
void CGEventSourceSetLocalEventsSuppressionInterval(CGEventSourceRef source,
                                                    CFTimeInterval seconds);
CFTimeInterval CGEventSourceGetLocalEventsSuppressionInterval(CGEventSourceRef source);
void CGEventSourceSetLocalEventsFilterDuringSuppressionState(CGEventSourceRef source,
                                                             CGEventFilterMask filter,
                                                             CGEventSuppressionState state);
CGEventFilterMask CGEventSourceGetLocalEventsFilterDuringSuppressionState(
    CGEventSourceRef source, CGEventSuppressionState state);
CGEventRef CGEventCreateKeyboardEvent(CGEventSourceRef source, CGKeyCode virtualKey,
                                      bool keyDown) CF_RETURNS_RETAINED;
void CGEventPost(CGEventTapLocation tap, CGEventRef event);

bool CGPreflightListenEventAccess(void);
bool CGRequestListenEventAccess(void);
bool CGPreflightPostEventAccess(void);
bool CGRequestPostEventAccess(void);

CF_EXTERN_C_END
