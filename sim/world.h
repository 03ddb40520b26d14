#pragma once
// The simulated macOS: an in-memory world that implements every platform service, runs on a
// virtual clock, and models how the OS and the applications behave (not just what was called).
//
// Time: microseconds on a virtual clock. Work queued on the main loop (timers, delayed calls,
// notification blocks, signals, taps on the main run loop) runs only when the loop runs
// (runPending / advance). The rest of the system (the window server, the other applications, a
// thread's own run loop) runs on the same clock but never waits for the main thread: while the
// main thread is blocked (sleepMicroseconds, an accessibility call to a hung application) it goes
// on at its due times. Threads are virtual: a thread's body runs at once, and its run loop serves
// from its CFRunLoopRun until stopped.
//
// Events: user actions and posted synthetic events go to the window server, which passes them on
// one at a time, in order, through every session tap that is enabled and whose run-loop source is
// on a running run loop (in creation order; an active tap that returns null drops it), then to the
// frontmost application's focused element (typing, Backspace, Cmd+C, Cmd+V). An active tap on the
// main run loop holds every event until the main thread answers; an answer later than the tap
// timeout disables the tap, which then hears kCGEventTapDisabledByTimeout.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace sim {

using Micros = int64_t;

// ---- Knobs and state, as plain data -------------------------------------------------------

// How an application reacts to a write of its focused element's "AXValue".
enum class WriteBehaviour {
  kAccept,    // the value becomes the text written
  kRefuse,    // the set call answers kAXErrorCannotComplete; nothing changes
  kIgnore,    // the set call answers success; nothing changes (a "settable" flag that lies)
  kReformat,  // the set call answers success; the value becomes `reformatTo` (or upper-cased)
};

// A text element (the focused one of its application).
struct ElementState {
  // "AXValue": a string; or a number (valueIsNumber); or absent (no value).
  std::optional<std::u16string> value = std::u16string();
  bool valueIsNumber = false;
  double numberValue = 0;
  // "AXSelectedTextRange": a range; absent = the copy yields kAXErrorNoValue.
  std::optional<platform::AXRange> selection = platform::AXRange{0, 0};
  bool selectionIsNotRange = false;       // the copy yields an AXValue of another type (CGPoint)
  std::optional<std::u16string> subrole;  // "AXSubrole"; "AXSecureTextField" = password field
  bool valueSettable = true;              // AXUIElementIsAttributeSettable answers
  bool selectionSettable = true;
  bool selectedTextSettable = true;
  WriteBehaviour valueWrite = WriteBehaviour::kAccept;
  std::optional<std::u16string> reformatTo;
  bool refuseSelectedTextWrite = false;  // "AXSelectedText" set answers kAXErrorCannotComplete
  bool refuseSelectionWrite = false;     // "AXSelectedTextRange" set answers an error
  // Attribute copies that answer this error instead of a value, by attribute name.
  std::map<std::string, platform::AXError> copyErrors;
};

struct AppState {
  int32_t pid = 0;
  std::optional<std::string> bundleIdentifier;
  std::optional<std::string> localizedName;
  // Chromium-like: the accessibility tree stays hidden (the system-wide focused element reads as
  // kAXErrorNoValue) until "AXManualAccessibility" is set to true on the application element.
  bool hidesTreeUntilManualAccessibility = false;
  bool manualAccessibility = false;        // set once the host wrote it
  int manualAccessibilityWrites = 0;       // how often it was written
  bool refuseManualAccessibility = false;  // the write answers an error
  std::optional<ElementState> focused;     // absent: no focused element
  // Busy or hung: every accessibility call to it blocks for the messaging timeout, then answers
  // kAXErrorCannotComplete.
  bool hung = false;
  int timedOutCalls = 0;  // calls answered that way
};

struct PasteboardItemState {
  // type -> bytes, in the order the item offers them.
  std::vector<std::pair<std::string, platform::Bytes>> types;
  std::set<std::string> unreadableTypes;  // -dataForType: answers nil for these
};

struct InputSourceState {
  std::string id;  // e.g. "com.apple.keylayout.US"
  std::string category = std::string(platform::kTISCategoryKeyboardInputSource);
  bool enabled = true;
  bool selectCapable = true;
  // kTISPropertyInputSourceLanguages: nullopt = property absent; an element nullopt = not a string.
  std::optional<std::vector<std::optional<std::string>>> languages;
  std::string layout = "us";  // the key table it types with: "us" or "ru"
  int32_t selectStatus = 0;   // TISSelectInputSource answers this; non-zero = refused
};

// One synthetic event as it was posted (for inspection).
struct PostedEvent {
  platform::EventType type = 0;  // kCGEventKeyDown / kCGEventKeyUp
  uint16_t keycode = 0;
  platform::EventFlags flags = 0;
  std::u16string unicode;  // the string set with CGEventKeyboardSetUnicodeString
  int64_t userData = 0;    // field 42
  platform::TapLocation location = 0;
  bool hadSource = false;
  Micros postedAt = 0;                // virtual time of CGEventPost
  std::optional<Micros> deliveredAt;  // when it reached the front application; null while held
};

struct Faults {
  bool tapCreateFails = false;
  bool runLoopSourceFails = false;
  bool eventSourceFails = false;
  bool allKeyboardEventsFail = false;
  // 0-based indices (counted over the world's life) of CGEventCreateKeyboardEvent calls that fail.
  std::set<int64_t> keyboardEventFailures;
  bool rangeValueCreateFails = false;
  bool pasteboardItemsNil = false;
  bool pasteboardWriteFails = false;  // -writeObjects: and -setString:forType: answer NO
  bool inputSourceListNil = false;
  bool systemWideFocusFails = false;  // AXFocusedUIElement on the system-wide element errors
  // Activation notifications carry no application in their user info.
  bool activationWithoutApplication = false;
};

struct LoginItemState {
  int64_t status = platform::kSMAppServiceStatusNotRegistered;
  bool refuse = false;  // register/unregister fail
  std::optional<std::string> refusalDescription = "Operation not permitted";  // nullopt: no NSError
};

struct WindowState {
  bool visible = true;
  double x = 0, y = 0, width = 800, height = 600;
  bool hasContentViewController = false;
  int orderOutCount = 0;
};

// ---- The world ----------------------------------------------------------------------------

class World final : public platform::Platform {
 public:
  World();  // defaults: see README (no apps; US and Russian sources, US selected; nothing granted)
  ~World() override;
  World(const World&) = delete;
  World& operator=(const World&) = delete;

  // platform::Platform
  platform::Accessibility& accessibility() override;
  platform::Events& events() override;
  platform::Pasteboard& pasteboard() override;
  platform::Workspace& workspace() override;
  platform::DistributedNotifications& distributedNotifications() override;
  platform::MainLoop& mainLoop() override;
  platform::ProcessInfo& processInfo() override;
  platform::LoginItems& loginItems() override;
  platform::InputSources& inputSources() override;
  platform::Log& log() override;

  // -- clock and loop
  Micros now() const;
  void runPending();                 // run everything due now, including what that queues for now
  void advance(Micros duration);     // run everything due up to now + duration, in time order
  std::vector<Micros> takePauses();  // sleeps taken since the last call, in order
  // The user (or the system) acts after `delay`, even while the main thread is blocked.
  void later(Micros delay, std::function<void()> action);

  // -- applications and focus
  void addApplication(AppState app);   // appended to runningApplications (workspace order)
  AppState* application(int32_t pid);  // nullptr when unknown
  void removeApplication(int32_t pid);
  void setFrontmost(std::optional<int32_t> pid);  // without notification (set-up)
  std::optional<int32_t> frontmost() const;
  // The user activates an application: it becomes frontmost and the activation notification is
  // queued for the workspace observers.
  void activate(int32_t pid);
  ElementState* focusedElement();  // of the frontmost application, or nullptr
  void setHostPid(int32_t pid);    // NSProcessInfo processIdentifier (default 4242)

  // -- permissions. Granting or revoking trust posts "com.apple.accessibility.api".
  void setTrusted(bool trusted);
  void setListenAccess(bool granted);
  void setPostAccess(bool granted);
  bool trusted() const;
  bool listenAccess() const;
  bool postAccess() const;
  // How often each request call was made (the prompt the user answers later is not modelled
  // beyond the count: the user grants with setTrusted / setListenAccess).
  int trustPrompts() const;
  int listenRequests() const;
  int postRequests() const;
  // Post any distributed notification (e.g. one that changes nothing for this process).
  void postDistributedNotification(const std::string& name);
  // The host is the active application (default: not; its window is hidden). While it is not,
  // distributed notifications follow each observer's suspension behaviour; activation delivers
  // what was queued.
  void setHostActive(bool active);
  bool hostActive() const;
  // The process-wide accessibility messaging timeout in force (the system's 6 s by default).
  Micros messagingTimeout() const;

  // -- the keyboard and the mouse (the user). Modifier keys (54..63) give flagsChanged events and
  // update the held-modifier state; Caps Lock toggles. Other keys give key down (autorepeat false)
  // whose characters follow the selected input source's layout and the held Shift / Caps Lock.
  void keyDown(uint16_t keycode, bool autorepeat = false);
  void keyUp(uint16_t keycode);
  void pressKey(uint16_t keycode);  // down then up
  // Types text on the physical keys of the selected layout (each character: its key, with Shift
  // pressed around it when needed). Returns false (typing nothing) if a character has no key.
  bool typeOnKeys(const std::u16string& text);
  // The key code and shift state that produce a character under a layout ("us"/"ru").
  static std::optional<std::pair<uint16_t, bool>> keyFor(const std::string& layout, char16_t ch);
  // The characters a key produces under a layout.
  static std::u16string charactersFor(const std::string& layout, uint16_t keycode, bool shift,
                                      bool capsLock);
  void click(platform::EventType downType);  // a mouse-down, then its matching mouse-up
  platform::EventFlags heldFlags() const;
  // The system switches every tap off by timeout: each enabled tap is disabled and receives the
  // kCGEventTapDisabledByTimeout pseudo-event (queued like any event).
  void disableTapsByTimeout();
  // How late an active tap may answer before the system disables it (default 1 s).
  void setTapTimeout(Micros limit);
  Micros tapTimeout() const;
  // The machine sleeps (or the screen locks, or another user takes the session): every tap is
  // disabled, or its port invalidated, without any notice. Waking posts the workspace's wake
  // notification; a return to this user's session its session-became-active notification.
  enum class SleepEffect { kDisableTaps, kInvalidatePorts };
  void sleepMachine(SleepEffect effect);
  void wake();
  void sessionBecameActive();
  int activeTapCount() const;  // taps that exist, are enabled and are on a running run loop
  int tapCount() const;        // taps that exist (not yet released)
  int tapThreadCount() const;  // threads started whose run loop still runs
  // Synthetic events posted since the last call that are among the most recent kPostedWindow.
  std::vector<PostedEvent> takePosted();
  int64_t postedTotal() const;  // over the world's life
  static constexpr size_t kPostedWindow = 4096;

  // -- pasteboard
  std::vector<PasteboardItemState>& pasteboardItems();
  int64_t pasteboardChangeCount() const;

  // -- workspace and notifications
  std::vector<std::string> takeOpenedURLs();
  // Workspace + distributed observers currently registered. A block queued before its observer
  // was removed still runs, as an operation already on the main queue would.
  int observerCount() const;

  // -- input sources
  std::vector<InputSourceState>& inputSourceList();
  std::string selectedInputSource() const;  // its id
  void selectInputSourceById(const std::string& id);
  std::string selectedLayout() const;  // "us" or "ru"

  // -- login item, system, log, window, faults
  LoginItemState& loginItem();
  void setOperatingSystemVersion(platform::OperatingSystemVersion version);
  std::vector<std::string> takeLog();
  WindowState& window();
  Faults& faults();

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

// The process-wide world behind platform::processPlatform() on this backend.
World& processWorld();

}  // namespace sim
