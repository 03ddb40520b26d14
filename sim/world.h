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
#include <string_view>
#include <vector>

#include "platform/platform.h"
#include "sim/records.h"

namespace sim {

using Micros = int64_t;

// The distributed notifications of a screen lock and unlock.
inline constexpr std::string_view kScreenLockedNotification = "com.apple.screenIsLocked";
inline constexpr std::string_view kScreenUnlockedNotification = "com.apple.screenIsUnlocked";

// ---- Knobs and state, as plain data -------------------------------------------------------

// How an application reacts to a write of its focused element's "AXValue".
enum class WriteBehaviour {
  kAccept,    // the value becomes the text written
  kRefuse,    // the set call answers kAXErrorCannotComplete; nothing changes
  kIgnore,    // the set call answers success; nothing changes (a "settable" flag that lies)
  kReformat,  // the set call answers success; the value becomes `reformatTo` (or upper-cased)
};

// How late a chromium element's changes reach accessibility: the next frame for the focused
// element, 150 ms for the deferred updates after a page load
// (kDelayForDeferredUpdatesAfterPageLoad).
inline constexpr Micros kFrameLag = 16667;
inline constexpr Micros kPageLoadLag = 150000;

// What kind of text view an element is, as far as writing its whole value is concerned.
enum class ElementKind {
  kPlain,        // a plain text field: a value write is an edit like any other
  kRich,         // a rich text view: its text carries formatting (styles)
  kWebEditable,  // an editable web element: the page keeps its own model of the text (model)
  // Chromium web content (Chrome, Edge, Brave, Arc, Electron): a model as kWebEditable, but a
  // selected-text write answers success and changes nothing; selection writes and typing work.
  kChromium,
};

// A stretch of text in one formatting style, in UTF-16 units.
struct StyleRun {
  int64_t start = 0;
  int64_t length = 0;
  std::string style;
  friend bool operator==(const StyleRun&, const StyleRun&) = default;
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
  // AXUIElementIsAttributeSettable answers this error, by attribute name.
  std::map<std::string, platform::AXError> settableErrors;
  bool subroleNotString = false;   // "AXSubrole" copies as a CFNumber
  bool valueIsAttributed = false;  // "AXValue" copies as a CFAttributedString (the text unseen)
  bool ignoreSelectedTextWrite = false;  // "AXSelectedText" set answers success, changes nothing
  bool ignoreTyping = false;             // typed characters, Return and Backspace change nothing

  ElementKind kind = ElementKind::kPlain;
  // kChromium: a change of the page (typing, Backspace, paste, the user's selection) reaches
  // accessibility reads this long after it happened; the page itself (value, model) changes at
  // once. One frame for the focused element; kPageLoadLag after a page load.
  Micros axLag = kFrameLag;
  // What accessibility reads while a change has not reached it yet, and until when.
  struct Published {
    std::optional<std::u16string> value;
    std::optional<platform::AXRange> selection;
    Micros until = 0;
  };
  std::optional<Published> published;
  // kRich: the style of each UTF-16 unit of the value ("" is unformatted; units beyond the list
  // are unformatted). Edits through the editing path (typing, the selected text, paste) keep the
  // styles outside the edited range and give new text the style around it; a value write
  // replaces the text and drops every style, as a rich view loses its formatting.
  std::vector<std::string> styles;
  // kWebEditable, kChromium: the page's own model of the text, which is what the page sends.
  // Edits through the editing path reach it; a value write changes only what is shown.
  std::u16string model;
};

// The formatted stretches of a rich element (unformatted text is left out).
std::vector<StyleRun> styleRuns(const ElementState& element);
// Sets the styles from runs (the rest unformatted); runs beyond the text are cut at its end.
void setStyleRuns(ElementState& element, const std::vector<StyleRun>& runs);

// How a Chromium-based application takes "AXManualAccessibility" and "AXEnhancedUserInterface".
enum class Chromium {
  kNone,  // a native application: no such switch; its tree is always there
  // Google Chrome and the other Chromium browsers with the macOS 14 refinements: the manual switch
  // is unsupported; an enhanced-interface change takes effect after 2 s without another change.
  kChrome,
  // The same without the refinements (before macOS 14): on at once, off 2 s after it was switched
  // off; reading the application's role turns the basic mode on.
  kChromeBefore14,
  kElectronOld,        // up to 24: honours the manual switch but answers "unsupported", unreadable
  kElectronReadable,   // 25 to 36: the manual switch reads back
  kElectronDebounced,  // 37 on: each set of either switch restarts a 2 s debounce
};

// Which of Chromium's accessibility modes are on: basic builds the pages' tree, complete is what
// a screen reader gets.
enum class AccessibilityMode { kOff, kBasic, kComplete };

inline constexpr Micros kDefaultTreeBuildDelay = 300000;

struct AppState {
  int32_t pid = 0;
  std::optional<std::string> bundleIdentifier;
  std::optional<std::string> localizedName;
  // Which Chromium-based application it is decides how it takes the two accessibility switches
  // (sim/README.md); kNone is a native application.
  Chromium chromium = Chromium::kNone;
  // A Chromium application shows its pages' tree (and so its focused text element) only while its
  // accessibility is on, and only this long after it came on: the renderer builds it and sends it
  // over asynchronously.
  Micros treeBuildDelay = kDefaultTreeBuildDelay;
  AccessibilityMode accessibility = AccessibilityMode::kOff;
  Micros treeReadyAt = 0;
  // "AXEnhancedUserInterface" as AppKit keeps it: it reads back what was last set.
  bool enhancedUserInterface = false;
  int manualAccessibilityWrites = 0;  // every set of either switch, refused or not
  int enhancedUserInterfaceWrites = 0;
  // The debounce of Chrome (macOS 14 refinements) and Electron 37: the count of enhanced-interface
  // requests not yet acted on, and which scheduled change is still meant (a later set cancels it).
  int accessibilityRequests = 0;
  uint64_t switchEpoch = 0;
  std::optional<ElementState> focused;  // absent: no focused element
  // Every set call on its elements answers kAXErrorCannotComplete; reads still work.
  bool failsWrites = false;
  // Busy or hung: every accessibility call to it blocks for the messaging timeout, then answers
  // kAXErrorCannotComplete.
  bool hung = false;
  int timedOutCalls = 0;  // calls answered that way
  // Slow: every accessibility call to it blocks for this long before it is answered; one that
  // would take the messaging timeout or longer times out as with `hung`.
  Micros callDelay = 0;
};

struct PasteboardItemState {
  // type -> bytes, in the order the item offers them. The buffers are shared with whoever read
  // them (as NSData is), so reading and writing back copy nothing.
  std::vector<std::pair<std::string, platform::SharedBytes>> types;
  std::set<std::string> unreadableTypes;  // -dataForType: answers nil for these
};

struct InputSourceState {
  std::string id;  // e.g. "com.apple.keylayout.US"
  std::string category = std::string(platform::kTISCategoryKeyboardInputSource);
  // kTISPropertyInputSourceType: a keyboard layout, or an input method or one of its modes.
  std::string type = std::string(platform::kTISTypeKeyboardLayout);
  bool enabled = true;
  bool selectCapable = true;
  // kTISPropertyInputSourceLanguages: nullopt = property absent; an element nullopt = not a string.
  std::optional<std::vector<std::optional<std::string>>> languages;
  std::string layout = "us";  // the key table it types with: "us", "ru" or "dvorak"
  int32_t selectStatus = 0;   // TISSelectInputSource answers this; non-zero = refused
};

// A keyboard layout that types ASCII (every one here but the Russian key table).
bool isAsciiCapableLayout(const InputSourceState& source);

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
  // Another application writes the pasteboard while this one reads it: right after each of the
  // next -pasteboardItems calls (the items handed out are then stale), the pasteboard is cleared
  // and gets the next of these texts as one plain-text item.
  std::vector<std::string> pasteboardWritesDuringRead;
  // The same, right before each of the next times the host asks for the types of an item of the
  // current pasteboard that is not its first: between two items of one read.
  std::vector<std::string> pasteboardWritesBetweenItems;
  bool inputSourceListNil = false;
  // TISCreateInputSourceList answers something that is not an array, or an array holding
  // something that is not an input source (the seam answers nullopt for both, as for NULL).
  bool inputSourceListNotArray = false;
  bool inputSourceListHoldsNonSources = false;
  bool pasteboardTypesFail = false;  // NSPasteboardItem -types answers nil
  // 0-based indices (counted over the world's life) of -setData:forType: calls that answer NO.
  std::set<int64_t> setDataFailures;
  bool keyLayoutDataMissing = false;  // no source has kTISPropertyUnicodeKeyLayoutData
  bool systemWideFocusFails = false;  // AXFocusedUIElement on the system-wide element errors
  // Activation notifications carry no application in their user info.
  bool activationWithoutApplication = false;
};

// SMAppService.mainApp. Every refusal, whatever its cause, is the same error (by default
// "Operation not permitted", code 1 of SMAppServiceErrorDomain), as on a real Mac.
struct LoginItemState {
  int64_t status = platform::kSMAppServiceStatusNotRegistered;
  bool refuse = false;            // register/unregister fail
  bool refuseRegister = false;    // only register fails
  bool refuseUnregister = false;  // only unregister fails
  std::optional<std::string> refusalDescription = "Operation not permitted";  // nullopt: no NSError
  std::string refusalDomain = "SMAppServiceErrorDomain";
  int64_t refusalCode = 1;
  // A registration the user must still approve in System Settings: register succeeds and the
  // status becomes kSMAppServiceStatusRequiresApproval.
  bool requiresApproval = false;
  // The user switched the app off in System Settings > Login Items: a registered item reads as
  // requiring approval, and register fails (leaving it so) until the user switches it on.
  bool switchedOff = false;
  // The system rejects the app's signature (an unsigned or ad-hoc signed build): the status reads
  // as not found and register fails. A translocated app (World::setTranslocated) reads the same.
  bool signatureRejected = false;
  int settingsOpened = 0;  // how often System Settings was opened at Login Items
};

struct WindowState {
  bool visible = true;
  double x = 0, y = 0, width = 800, height = 600;
  bool hasContentViewController = false;
  int orderOutCount = 0;
};

// How often the host made the calls whose count a test looks at.
struct CallCounts {
  int64_t writeObjects = 0;  // -writeObjects:
  int64_t setData = 0;       // NSPasteboardItem -setData:forType:
  int64_t loginItemStatus = 0;
  int64_t loginItemRegister = 0;
  int64_t loginItemUnregister = 0;
  int64_t inputSourceLists = 0;  // TISCreateInputSourceList
  int64_t inputSourceSelects = 0;
};

// A key event as another process or a device makes it: what is given replaces what the keyboard
// would give.
struct KeyEventExtras {
  std::optional<int64_t> userData;      // field 42 (0 for the keyboard's own events)
  std::optional<std::u16string> chars;  // its Unicode string (at most 20 UTF-16 units are kept)
};

// When the user answers a permission prompt with a grant, after it appears; nullopt: never.
struct PromptAnswers {
  std::optional<Micros> accessibility;  // AXIsProcessTrustedWithOptions with the prompt
  std::optional<Micros> listen;         // CGRequestListenEventAccess
  std::optional<Micros> post;           // CGRequestPostEventAccess
};

// One entry of the trace, the world's single timeline: what happened and when.
struct TraceEntry {
  Micros time = 0;
  std::string kind;  // "post", "ax.read", "timer.fire", ... ("call", "event"... from the host)
  std::string detail;
};

// The world's bounded records (see records.h): how many entries each ever had, and how many fell
// out of its window before they were taken.
struct RecordTotals {
  uint64_t total = 0;
  uint64_t dropped = 0;
};
struct Records {
  size_t window = kDefaultRecordWindow;
  RecordTotals pauses, log, urls, trace;
  Micros pausedMicros = 0;  // the length of every pause taken, summed
};

// A live event tap as the system keeps it.
struct TapInfo {
  platform::TapLocation location = 0;
  platform::TapPlacement placement = 0;
  platform::TapOptions options = 0;
  uint64_t mask = 0;
  bool enabled = false;
  bool onMainRunLoop = false;        // its run-loop source is on the main run loop
  bool onThreadRunLoop = false;      // on the running loop of a thread of its own
  platform::QosClass threadQos = 0;  // that thread's quality of service (0: not on a thread)
};

// A process activity the host holds (NSProcessInfo beginActivityWithOptions:reason:).
struct ActivityInfo {
  uint64_t options = 0;
  std::string reason;
  Micros since = 0;
};

// A live timer, or a delayed block not yet run.
struct PendingWork {
  bool isTimer = false;
  uint64_t id = 0;  // numbered in order of scheduling, timers and blocks apart
  Micros scheduledAt = 0;
  Micros due = 0;
  Micros interval = 0;  // timers
  bool repeats = false;
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
  // A change of the world (the user, other applications, the system) at virtual time `when`. It
  // happens when the clock gets there, also while the main thread is blocked in a pause; a time
  // already past means the next time the clock moves or the loop runs.
  void at(Micros when, std::function<void()> change);
  int scheduledChangeCount() const;  // not yet happened
  // Live timers, then delayed blocks not yet run, each in order of scheduling.
  std::vector<PendingWork> pendingWork() const;

  // -- the trace and the records. Each record keeps a window of its most recent entries
  // (kDefaultRecordWindow unless set) beside its totals.
  void note(std::string kind, std::string detail);  // adds an entry to the trace, at now()
  std::vector<TraceEntry> takeTrace();              // entries since the last call, in order
  // Forgets the trace entries noted since its total was `total`, before any take.
  void forgetTraceSince(uint64_t total);
  Records records() const;
  void setRecordWindow(size_t entries);
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
  // A focused element owned by an application that is not frontmost (a floating panel): the
  // system-wide focused element and the typing go to this application's focused element, whatever
  // is frontmost, until nullopt gives them back to the frontmost application.
  void setSystemWideFocus(std::optional<int32_t> pid);
  std::optional<int32_t> systemWideFocus() const;
  // The application whose focused element has the system's focus: the one above, or the
  // frontmost application.
  std::optional<int32_t> focusOwner() const;
  ElementState* focusedElement();  // of the focus owner, or nullptr
  // The user selects text in the focused element (kept within its text); a chromium page's
  // accessibility hears of it only after the element's lag.
  void selectRange(platform::AXRange range);
  void setHostPid(int32_t pid);  // NSProcessInfo processIdentifier (default 4242)

  // -- permissions. Granting or revoking trust posts "com.apple.accessibility.api". Trust is
  // twofold: what AXIsProcessTrusted answers (trusted), and the grant as the window server applies
  // it to taps (tapsTrusted). Without the latter no tap of that kind can be created, and an active
  // tap is no longer serviced: each event it covers waits for an answer until the tap timeout,
  // then the system switches the tap off (kCGEventTapDisabledByTimeout) and lets the event go on.
  // setTrusted sets both.
  void setTrusted(bool trusted);
  // The user deletes the host's row from Privacy & Security > Accessibility: taps lose the grant,
  // while AXIsProcessTrusted goes on answering as before. No notification is posted.
  void deleteAccessibilityRow();
  // The host runs a build signed again since the user granted it (every ad-hoc signed debug build,
  // an update with another signature): AXIsProcessTrusted answers true, taps get no grant. As a
  // build launches into it, without any notification.
  void resignApp();
  bool tapsTrusted() const;
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
  // The user answers later prompts with a grant after the given time (see PromptAnswers).
  void setPromptAnswers(PromptAnswers answers);
  // Post any distributed notification (e.g. one that changes nothing for this process).
  void postDistributedNotification(const std::string& name);
  // The host is the active application (default: not; its window is hidden). While it is not,
  // distributed notifications follow each observer's suspension behaviour; activation delivers
  // what was queued.
  void setHostActive(bool active);
  bool hostActive() const;
  // App Nap: while the host is hidden, not active and holds no process activity, its main loop
  // (timers, delayed calls, signals, notification blocks) wakes only at whole multiples of
  // `period`; 0 (the default) turns the nap off.
  void setAppNap(Micros period);
  bool napped() const;
  std::vector<ActivityInfo> activities() const;  // held now, in the order begun
  // The process-wide accessibility messaging timeout in force (the system's 6 s by default).
  Micros messagingTimeout() const;

  // -- the keyboard and the mouse (the user). Modifier keys (54..63) give flagsChanged events and
  // update the held-modifier state; Caps Lock toggles. Other keys give key down (autorepeat false)
  // whose characters follow the selected input source's layout and the held Shift / Caps Lock.
  void keyDown(uint16_t keycode, bool autorepeat = false, const KeyEventExtras& extras = {});
  void keyUp(uint16_t keycode, const KeyEventExtras& extras = {});
  // A flagsChanged event for any key code, carrying `flags`; the held modifiers do not change.
  void flagsChanged(uint16_t keycode, platform::EventFlags flags,
                    const KeyEventExtras& extras = {});
  void pressKey(uint16_t keycode);  // down then up
  // Types text on the physical keys of the selected layout (each character: its key, with Shift
  // pressed around it when needed). Returns false (typing nothing) if a character has no key.
  bool typeOnKeys(const std::u16string& text);
  // The key code and shift state that produce a character under a layout ("us"/"ru").
  static std::optional<std::pair<uint16_t, bool>> keyFor(const std::string& layout, char16_t ch);
  // The characters a key produces under a layout.
  static std::u16string charactersFor(const std::string& layout, uint16_t keycode, bool shift,
                                      bool capsLock);
  // A mouse-down, then its matching mouse-up; `userData` (field 42) as another program's click
  // carries it.
  void click(platform::EventType downType, std::optional<int64_t> userData = std::nullopt);
  platform::EventFlags heldFlags() const;
  // The system switches every tap off by timeout: each enabled tap is disabled and receives the
  // kCGEventTapDisabledByTimeout pseudo-event (queued like any event).
  void disableTapsByTimeout();
  // Some process turns secure keyboard entry on or off (a password field gains or loses focus,
  // Terminal's "Secure Keyboard Entry"). While it is on, taps get no key down or key up events,
  // user or synthetic; the focused field still gets them.
  void setSecureInput(bool on);
  bool secureInput() const;
  // Event sources created from now on permit no local events during suppression, as some systems
  // were seen to do: for their interval (0.25 s unless set) after each synthetic event from such a
  // source, the user's own keyboard and mouse are held back (never reaching a tap or application).
  // Off by default: every local event permitted, as documented.
  void setLocalEventsSuppression(bool on);
  // The same with kCGEventTapDisabledByUserInput.
  void disableTapsByUserInput();
  // How late an active tap may answer before the system disables it (default 1 s).
  void setTapTimeout(Micros limit);
  Micros tapTimeout() const;
  // The machine sleeps (or another user takes the session): every tap is disabled, or its port
  // invalidated, without any notice. Waking posts the workspace's wake notification; a return to
  // this user's session its session-became-active notification.
  enum class SleepEffect { kDisableTaps, kInvalidatePorts };
  void sleepMachine(SleepEffect effect);
  void wake();
  void sessionBecameActive();
  // The screen locks without sleep: the distributed notification "com.apple.screenIsLocked" is
  // posted and, given an effect, the taps die as in sleep, without notice. Unlocking posts only
  // "com.apple.screenIsUnlocked": neither the wake nor the session notification.
  void lockScreen(std::optional<SleepEffect> tapsDie);
  void unlockScreen();
  bool screenLocked() const;
  int activeTapCount() const;         // taps that exist, are enabled and are on a running run loop
  int tapCount() const;               // taps that exist (not yet released)
  int tapThreadCount() const;         // threads started whose run loop still runs
  std::vector<TapInfo> taps() const;  // in creation order
  // Synthetic events posted since the last call that are among the most recent kPostedWindow.
  std::vector<PostedEvent> takePosted();
  int64_t postedTotal() const;  // over the world's life
  static constexpr size_t kPostedWindow = 4096;

  // -- pasteboard
  std::vector<PasteboardItemState>& pasteboardItems();
  int64_t pasteboardChangeCount() const;
  // What NSPasteboard.accessBehavior answers (NSPasteboardAccessBehavior; default: Default).
  int64_t& pasteboardAccessBehavior();

  // -- workspace and notifications
  std::vector<std::string> takeOpenedURLs();
  // Workspace + distributed observers currently registered. A block queued before its observer
  // was removed still runs, as an operation already on the main queue would.
  int observerCount() const;

  // -- input sources. The list is in the order of the Input menu; TISCreateInputSourceList
  // answers in an order of its own (see setInputSourceListOrder).
  std::vector<InputSourceState>& inputSourceList();
  std::string selectedInputSource() const;  // its id
  // Set-up: the source is selected, with no notification.
  void selectInputSourceById(const std::string& id);
  // The user picks a source from the Input menu: a change of selection posts
  // kTISNotifySelectedKeyboardInputSourceChanged, as every selection does.
  void userSelectInputSource(const std::string& id);
  std::string selectedLayout() const;  // "us" or "ru"
  // The order in which TISCreateInputSourceList answers: these ids first, in this order, then the
  // other sources in menu order. Empty (the default): the menu's order.
  void setInputSourceListOrder(std::vector<std::string> ids);
  const std::vector<std::string>& inputSourceListOrder() const;
  // The id TISCopyCurrentASCIICapableKeyboardLayoutInputSource answers: the ASCII-capable layout
  // selected last, or before any was, the first enabled one in menu order; "" when none.
  std::string asciiCapableLayout() const;

  // -- login item, system, log, window, faults
  LoginItemState& loginItem();
  int64_t loginItemStatus() const;  // as SMAppService reports it now
  // The user switches the app's row in System Settings > Login Items off or on: on approves a
  // registration that waited for it.
  void switchLoginItem(bool on);
  // The app was opened with its download quarantine from where it was downloaded: the system runs
  // it translocated, from a random read-only folder, where it cannot be a login item.
  void setTranslocated(bool translocated);
  std::string bundlePath() const;
  void setOperatingSystemVersion(platform::OperatingSystemVersion version);
  std::vector<std::string> takeLog();
  WindowState& window();
  Faults& faults();
  const CallCounts& callCounts() const;

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

// The process-wide world behind platform::processPlatform() on this backend.
World& processWorld();

}  // namespace sim
