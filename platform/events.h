#pragma once
// CoreGraphics events: taps, event fields, event sources, posting, listen/post access;
// and the CoreFoundation run-loop and thread calls a tap needs.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

namespace platform {

struct EventObject;          // CGEventRef
struct EventSourceObject;    // CGEventSourceRef
struct MachPortObject;       // the tap's CFMachPortRef
struct RunLoopSourceObject;  // CFRunLoopSourceRef
struct RunLoopObject;        // CFRunLoopRef
struct ThreadObject;         // a joinable thread

// Owned, reference-counted handles; null means the creating call returned NULL.
using Event = std::shared_ptr<EventObject>;
using EventSource = std::shared_ptr<EventSourceObject>;
using MachPort = std::shared_ptr<MachPortObject>;
using RunLoopSource = std::shared_ptr<RunLoopSourceObject>;
using RunLoop = std::shared_ptr<RunLoopObject>;
using Thread = std::shared_ptr<ThreadObject>;

using EventType = uint32_t;  // CGEventType
inline constexpr EventType kCGEventLeftMouseDown = 1;
inline constexpr EventType kCGEventLeftMouseUp = 2;
inline constexpr EventType kCGEventRightMouseDown = 3;
inline constexpr EventType kCGEventRightMouseUp = 4;
inline constexpr EventType kCGEventKeyDown = 10;
inline constexpr EventType kCGEventKeyUp = 11;
inline constexpr EventType kCGEventFlagsChanged = 12;
inline constexpr EventType kCGEventOtherMouseDown = 25;
inline constexpr EventType kCGEventOtherMouseUp = 26;
inline constexpr EventType kCGEventTapDisabledByTimeout = 0xFFFFFFFE;
inline constexpr EventType kCGEventTapDisabledByUserInput = 0xFFFFFFFF;

constexpr uint64_t eventMaskBit(EventType type) {
  return uint64_t{1} << type;
}

using EventField = uint32_t;  // CGEventField
inline constexpr EventField kCGKeyboardEventAutorepeat = 8;
inline constexpr EventField kCGKeyboardEventKeycode = 9;
inline constexpr EventField kCGEventSourceUserData = 42;

using EventFlags = uint64_t;  // CGEventFlags
inline constexpr EventFlags kCGEventFlagMaskAlphaShift = 0x10000;
inline constexpr EventFlags kCGEventFlagMaskShift = 0x20000;
inline constexpr EventFlags kCGEventFlagMaskControl = 0x40000;
inline constexpr EventFlags kCGEventFlagMaskAlternate = 0x80000;
inline constexpr EventFlags kCGEventFlagMaskCommand = 0x100000;
inline constexpr EventFlags kCGEventFlagMaskNumericPad = 0x200000;
inline constexpr EventFlags kCGEventFlagMaskHelp = 0x400000;
inline constexpr EventFlags kCGEventFlagMaskSecondaryFn = 0x800000;

using TapLocation = uint32_t;  // CGEventTapLocation
inline constexpr TapLocation kCGHIDEventTap = 0;
inline constexpr TapLocation kCGSessionEventTap = 1;
inline constexpr TapLocation kCGAnnotatedSessionEventTap = 2;

using TapPlacement = uint32_t;  // CGEventTapPlacement
inline constexpr TapPlacement kCGHeadInsertEventTap = 0;

using TapOptions = uint32_t;  // CGEventTapOptions
inline constexpr TapOptions kCGEventTapOptionDefault = 0;
inline constexpr TapOptions kCGEventTapOptionListenOnly = 1;

using QosClass = uint32_t;                                  // qos_class_t
inline constexpr QosClass kQosClassUserInteractive = 0x21;  // QOS_CLASS_USER_INTERACTIVE
inline constexpr QosClass kQosClassDefault = 0x15;          // QOS_CLASS_DEFAULT

using EventSourceStateID = int32_t;  // CGEventSourceStateID
inline constexpr EventSourceStateID kCGEventSourceStateHIDSystemState = 1;

using EventSuppressionState = uint32_t;  // CGEventSuppressionState
inline constexpr EventSuppressionState kCGEventSuppressionStateSuppressionInterval = 0;
inline constexpr EventSuppressionState kCGEventSuppressionStateRemoteMouseDrag = 1;
using EventFilterMask = uint32_t;  // CGEventFilterMask
inline constexpr EventFilterMask kCGEventFilterMaskPermitLocalMouseEvents = 0x1;
inline constexpr EventFilterMask kCGEventFilterMaskPermitLocalKeyboardEvents = 0x2;
inline constexpr EventFilterMask kCGEventFilterMaskPermitSystemDefinedEvents = 0x4;
inline constexpr EventFilterMask kCGEventFilterMaskPermitAllEvents = 0x7;

// The tap callback (CGEventTapCallBack without the proxy, which nothing here uses): called on the
// thread of the run loop its source was added to, with the event type and the borrowed event;
// returns the event to pass on (an active tap that returns null drops the event). While an active
// tap's callback has not answered, every event of the session waits.
using TapCallback = EventObject* (*)(EventType type, EventObject* event, void* userInfo);

class Events {
 public:
  virtual ~Events() = default;

  // CGEventTapCreate; null when the tap cannot be created. `userInfo` is not retained. From any
  // thread; releasing the handle invalidates the tap's port.
  [[nodiscard]] virtual MachPort tapCreate(TapLocation location, TapPlacement placement,
                                           TapOptions options, uint64_t eventsOfInterest,
                                           TapCallback callback, void* userInfo) = 0;
  // CGEventTapEnable, from any thread.
  virtual void tapEnable(const MachPort& tap, bool enable) = 0;
  // CGEventTapIsEnabled.
  [[nodiscard]] virtual bool tapIsEnabled(const MachPort& tap) = 0;
  // CFMachPortIsValid: false once the system has invalidated the tap's port.
  [[nodiscard]] virtual bool machPortIsValid(const MachPort& tap) = 0;
  // CFMachPortCreateRunLoopSource(kCFAllocatorDefault, tap, 0); null when it yields none.
  [[nodiscard]] virtual RunLoopSource createRunLoopSource(const MachPort& tap) = 0;

  // CFRunLoopGetMain, CFRunLoopGetCurrent.
  [[nodiscard]] virtual RunLoop mainRunLoop() = 0;
  [[nodiscard]] virtual RunLoop currentRunLoop() = 0;
  // CFRunLoopAddSource / CFRunLoopRemoveSource in kCFRunLoopCommonModes, from any thread.
  virtual void addSource(const RunLoop& loop, const RunLoopSource& source) = 0;
  virtual void removeSource(const RunLoop& loop, const RunLoopSource& source) = 0;
  // CFRunLoopRun: runs the calling thread's loop until it is stopped or has no source left.
  virtual void runCurrentRunLoop() = 0;
  // CFRunLoopStop.
  virtual void stopRunLoop(const RunLoop& loop) = 0;
  // CFRunLoopPerformBlock(loop, kCFRunLoopCommonModes, block), then CFRunLoopWakeUp(loop): the
  // block runs on the loop's thread, even when queued before the loop started running.
  virtual void performBlock(const RunLoop& loop, std::function<void()> block) = 0;
  // A new thread that runs `body` (std::thread); null when none can be started. joinThread waits
  // until it has ended (std::thread::join).
  [[nodiscard]] virtual Thread startThread(std::function<void()> body) = 0;
  virtual void joinThread(const Thread& thread) = 0;
  // pthread_set_qos_class_self_np(qos, 0) on the calling thread: 0, or the error number. A thread
  // started here runs at the default class; it does not inherit the main thread's.
  [[nodiscard]] virtual int setThreadQosClassSelf(QosClass qos) = 0;

  // CGEventGetIntegerValueField, CGEventGetFlags, CGEventKeyboardGetUnicodeString on a borrowed
  // event (the tap's, on the hot path).
  [[nodiscard]] virtual int64_t integerValueField(EventObject& event, EventField field) = 0;
  [[nodiscard]] virtual EventFlags flags(EventObject& event) = 0;
  virtual void keyboardGetUnicodeString(EventObject& event, size_t maxLength, size_t& actualLength,
                                        char16_t* buffer) = 0;

  // CGEventSourceCreate; null on failure. CGEventSourceSetUserData.
  [[nodiscard]] virtual EventSource createSource(EventSourceStateID state) = 0;
  virtual void sourceSetUserData(const EventSource& source, int64_t userData) = 0;
  // CGEventSourceSetLocalEventsSuppressionInterval / ...GetLocalEventsSuppressionInterval: how
  // long the local keyboard and mouse may be held back after an event from the source is posted.
  virtual void sourceSetLocalEventsSuppressionInterval(const EventSource& source,
                                                       double seconds) = 0;
  [[nodiscard]] virtual double sourceLocalEventsSuppressionInterval(const EventSource& source) = 0;
  // CGEventSourceSetLocalEventsFilterDuringSuppressionState / ...Get...: which local events still
  // pass while suppression is in that state.
  virtual void sourceSetLocalEventsFilterDuringSuppressionState(const EventSource& source,
                                                                EventFilterMask filter,
                                                                EventSuppressionState state) = 0;
  [[nodiscard]] virtual EventFilterMask sourceLocalEventsFilterDuringSuppressionState(
      const EventSource& source, EventSuppressionState state) = 0;
  // CGEventCreateKeyboardEvent; `source` may be null. Null when the event cannot be created.
  [[nodiscard]] virtual Event createKeyboardEvent(const EventSource& source, uint16_t keycode,
                                                  bool keyDown) = 0;
  // CGEventSetFlags, CGEventKeyboardSetUnicodeString, CGEventPost.
  virtual void setFlags(const Event& event, EventFlags flags) = 0;
  virtual void keyboardSetUnicodeString(const Event& event, size_t length,
                                        const char16_t* units) = 0;
  virtual void post(TapLocation location, const Event& event) = 0;

  // CGPreflightListenEventAccess, CGRequestListenEventAccess, CGPreflightPostEventAccess,
  // CGRequestPostEventAccess.
  [[nodiscard]] virtual bool preflightListenEventAccess() = 0;
  [[nodiscard]] virtual bool requestListenEventAccess() = 0;
  [[nodiscard]] virtual bool preflightPostEventAccess() = 0;
  [[nodiscard]] virtual bool requestPostEventAccess() = 0;

  // IsSecureEventInputEnabled (HIToolbox): whether any process of the session has secure keyboard
  // entry on. While it is, taps receive no key events.
  [[nodiscard]] virtual bool isSecureEventInputEnabled() = 0;
};

}  // namespace platform
