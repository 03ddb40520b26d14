#pragma once
// Internals of the simulated world, shared by its source files only.

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "channel/programming_error.h"
#include "sim/world.h"

// The backend's definitions of the seam's opaque handle objects.
namespace platform {

struct AXElementObject {
  enum class Kind { kSystemWide, kApplication, kFocused };
  Kind kind = Kind::kSystemWide;
  int32_t pid = 0;
  sim::Micros messagingTimeout = 0;  // this element's own; 0: the process's
};

struct EventObject {
  EventType type = 0;
  uint16_t keycode = 0;
  bool autorepeat = false;
  EventFlags flags = 0;
  std::u16string unicode;
  bool unicodeSet = false;  // replaced with CGEventKeyboardSetUnicodeString
  int64_t userData = 0;     // field 42
  bool hadSource = false;
  int64_t postedIndex = -1;  // the world's record of it, for a posted event
  std::weak_ptr<EventSourceObject> source;
};

struct EventSourceObject {
  EventSourceStateID state = 0;
  int64_t userData = 0;
  double suppressionInterval = 0.25;
  // Which local events pass during suppression, by CGEventSuppressionState.
  std::array<EventFilterMask, 2> filters{kCGEventFilterMaskPermitAllEvents,
                                         kCGEventFilterMaskPermitAllEvents};
};

}  // namespace platform

namespace sim {

// A tap as the system keeps it. Owned by its mach port: when the port is released the tap is gone,
// and everything else (the world's list, run-loop sources) holds it weakly.
struct TapState {
  platform::TapLocation location = 0;
  platform::TapPlacement placement = 0;
  platform::TapOptions options = 0;
  uint64_t mask = 0;
  platform::TapCallback callback = nullptr;
  void* userInfo = nullptr;
  bool enabled = true;  // CGEventTapCreate hands out an enabled tap
  bool valid = true;    // false once the system invalidated its port
  int inCallback = 0;   // its callback is running (nested calls counted)
};

}  // namespace sim

namespace platform {

struct MachPortObject {
  explicit MachPortObject(std::shared_ptr<sim::TapState> state) : tap(std::move(state)) {}
  MachPortObject(const MachPortObject&) = delete;
  MachPortObject& operator=(const MachPortObject&) = delete;
  // Releasing the port ends the tap; doing so inside the tap's own callback leaves CoreGraphics
  // running on a port that is gone, so the simulation reports it as a programming error.
  ~MachPortObject();
  std::shared_ptr<sim::TapState> tap;
};

// A run loop: the main thread's, or a thread's own, serviced from CFRunLoopRun until stopped.
struct RunLoopObject {
  bool isMain = false;
  bool running = false;
  bool stopped = false;
};

struct ThreadObject {
  std::shared_ptr<RunLoopObject> loop;  // its run loop, made on first CFRunLoopGetCurrent
  bool joined = false;
  QosClass qos = kQosClassDefault;  // a new thread does not inherit the main thread's class
};

struct SignalSourceObject {
  std::function<void()> perform;
  bool pending = false;
  bool valid = true;
};

struct RunLoopSourceObject {
  std::weak_ptr<sim::TapState> tap;
};

struct TimerObject {
  uint64_t id = 0;
  sim::Micros scheduledAt = 0;
  sim::Micros due = 0;  // of its next fire
  sim::Micros interval = 0;
  bool repeats = false;
  bool valid = true;
  std::function<void()> block;
};

struct ActivityObject {
  uint64_t options = 0;
  std::string reason;
  sim::Micros since = 0;
};

struct ObserverObject {
  int unused = 0;
};

struct PasteboardItemObject {
  // Detached: built with createItem and not yet written; the data lives here. Attached: the
  // pasteboard's item at `index`, valid only while the pasteboard's change count is `generation`.
  bool detached = true;
  sim::PasteboardItemState state;
  int64_t generation = 0;
  size_t index = 0;
};

struct InputSourceObject {
  std::string id;
};

struct KeyLayoutDataObject {
  std::string layout;  // the key table's name (sim::keys::layoutTable)
};

}  // namespace platform

namespace sim {

class SimAccessibility final : public platform::Accessibility {
 public:
  explicit SimAccessibility(World::Impl& w) : w_(w) {}
  bool isProcessTrusted() override;
  bool isProcessTrustedWithOptions(bool prompt) override;
  platform::AXElement createApplication(int32_t pid) override;
  platform::AXElement createSystemWide() override;
  platform::AXError copyAttributeValue(const platform::AXElement& element,
                                       std::string_view attribute,
                                       platform::AXAttributeValue& value) override;
  platform::AXError setAttributeValue(const platform::AXElement& element,
                                      std::string_view attribute,
                                      const platform::AXAttributeValue& value) override;
  platform::AXError isAttributeSettable(const platform::AXElement& element,
                                        std::string_view attribute, bool& settable) override;
  platform::AXError setMessagingTimeout(const platform::AXElement& element,
                                        float timeoutInSeconds) override;
  std::optional<platform::AXValueBox> createRangeValue(platform::AXRange range) override;

 private:
  // A hung application (or the host itself) answers nothing: the call blocks for the messaging
  // timeout, then fails. A slow one blocks for its delay first.
  bool timesOut(const platform::AXElement& element, int32_t pid);
  // The application's focused element, unless its tree is hidden now.
  ElementState* focusedInTree(int32_t pid);
  World::Impl& w_;
};

class SimEvents final : public platform::Events {
 public:
  explicit SimEvents(World::Impl& w) : w_(w) {}
  platform::MachPort tapCreate(platform::TapLocation location, platform::TapPlacement placement,
                               platform::TapOptions options, uint64_t eventsOfInterest,
                               platform::TapCallback callback, void* userInfo) override;
  void tapEnable(const platform::MachPort& tap, bool enable) override;
  bool tapIsEnabled(const platform::MachPort& tap) override;
  bool machPortIsValid(const platform::MachPort& tap) override;
  platform::RunLoopSource createRunLoopSource(const platform::MachPort& tap) override;
  platform::RunLoop mainRunLoop() override;
  platform::RunLoop currentRunLoop() override;
  void addSource(const platform::RunLoop& loop, const platform::RunLoopSource& source) override;
  void removeSource(const platform::RunLoop& loop, const platform::RunLoopSource& source) override;
  void runCurrentRunLoop() override;
  void stopRunLoop(const platform::RunLoop& loop) override;
  void performBlock(const platform::RunLoop& loop, std::function<void()> block) override;
  platform::Thread startThread(std::function<void()> body) override;
  void joinThread(const platform::Thread& thread) override;
  int setThreadQosClassSelf(platform::QosClass qos) override;
  int64_t integerValueField(platform::EventObject& event, platform::EventField field) override;
  platform::EventFlags flags(platform::EventObject& event) override;
  void keyboardGetUnicodeString(platform::EventObject& event, size_t maxLength,
                                size_t& actualLength, char16_t* buffer) override;
  platform::EventSource createSource(platform::EventSourceStateID state) override;
  void sourceSetUserData(const platform::EventSource& source, int64_t userData) override;
  void sourceSetLocalEventsSuppressionInterval(const platform::EventSource& source,
                                               double seconds) override;
  double sourceLocalEventsSuppressionInterval(const platform::EventSource& source) override;
  void sourceSetLocalEventsFilterDuringSuppressionState(
      const platform::EventSource& source, platform::EventFilterMask filter,
      platform::EventSuppressionState state) override;
  platform::EventFilterMask sourceLocalEventsFilterDuringSuppressionState(
      const platform::EventSource& source, platform::EventSuppressionState state) override;
  platform::Event createKeyboardEvent(const platform::EventSource& source, uint16_t keycode,
                                      bool keyDown) override;
  void setFlags(const platform::Event& event, platform::EventFlags flags) override;
  void keyboardSetUnicodeString(const platform::Event& event, size_t length,
                                const char16_t* units) override;
  void post(platform::TapLocation location, const platform::Event& event) override;
  bool preflightListenEventAccess() override;
  bool requestListenEventAccess() override;
  bool preflightPostEventAccess() override;
  bool requestPostEventAccess() override;
  bool isSecureEventInputEnabled() override;

 private:
  World::Impl& w_;
};

class SimPasteboard final : public platform::Pasteboard {
 public:
  explicit SimPasteboard(World::Impl& w) : w_(w) {}
  int64_t changeCount() override;
  int64_t accessBehavior() override;
  int64_t clearContents() override;
  std::optional<std::string> stringForType(std::string_view type) override;
  bool setStringForType(std::string_view text, std::string_view type) override;
  std::optional<std::vector<platform::PasteboardItem>> pasteboardItems() override;
  bool writeObjects(const std::vector<platform::PasteboardItem>& items) override;
  platform::PasteboardItem createItem() override;
  std::vector<std::string> types(const platform::PasteboardItem& item) override;
  std::optional<platform::SharedBytes> dataForType(const platform::PasteboardItem& item,
                                                   std::string_view type) override;
  bool setDataForType(const platform::PasteboardItem& item, platform::SharedBytes data,
                      std::string_view type) override;

 private:
  // The item's state, or nullptr when the handle no longer refers to a live item.
  PasteboardItemState* resolve(const platform::PasteboardItem& item);
  // The next write of Faults::pasteboardWritesDuringRead, if any.
  // Another application writes the next of `pending` (if any) as one plain-text item.
  void writeByAnotherApplication(std::vector<std::string>& pending);
  World::Impl& w_;
};

class SimWorkspace final : public platform::Workspace {
 public:
  explicit SimWorkspace(World::Impl& w) : w_(w) {}
  std::optional<platform::RunningApplication> frontmostApplication() override;
  std::vector<platform::RunningApplication> runningApplications() override;
  bool openURL(std::string_view url) override;
  platform::ObserverToken addDidActivateApplicationObserver(ActivationBlock block) override;
  platform::ObserverToken addObserver(Notification name, std::function<void()> block) override;
  void removeObserver(const platform::ObserverToken& token) override;

 private:
  World::Impl& w_;
};

class SimDistributedNotifications final : public platform::DistributedNotifications {
 public:
  explicit SimDistributedNotifications(World::Impl& w) : w_(w) {}
  platform::ObserverToken addObserver(std::string_view name, platform::SuspensionBehavior behavior,
                                      std::function<void()> block) override;
  void removeObserver(const platform::ObserverToken& token) override;

 private:
  World::Impl& w_;
};

class SimMainLoop final : public platform::MainLoop {
 public:
  explicit SimMainLoop(World::Impl& w) : w_(w) {}
  platform::Timer scheduledTimer(double intervalSeconds, bool repeats,
                                 std::function<void()> block) override;
  void invalidate(const platform::Timer& timer) override;
  void dispatchAfter(double delaySeconds, std::function<void()> block) override;
  platform::SignalSource addSignalSource(std::function<void()> perform) override;
  void signal(const platform::SignalSource& source) override;
  void invalidateSignalSource(const platform::SignalSource& source) override;
  void sleepMicroseconds(uint32_t microseconds) override;

 private:
  World::Impl& w_;
};

class SimProcessInfo final : public platform::ProcessInfo {
 public:
  explicit SimProcessInfo(World::Impl& w) : w_(w) {}
  bool environmentContains(std::string_view name) override;
  int32_t processIdentifier() override;
  platform::OperatingSystemVersion operatingSystemVersion() override;
  platform::Activity beginActivity(uint64_t options, std::string_view reason) override;
  void endActivity(const platform::Activity& activity) override;

 private:
  World::Impl& w_;
};

class SimLoginItems final : public platform::LoginItems {
 public:
  explicit SimLoginItems(World::Impl& w) : w_(w) {}
  int64_t status() override;
  platform::LoginItemOutcome registerMainApp() override;
  platform::LoginItemOutcome unregisterMainApp() override;
  void openSystemSettingsLoginItems() override;

 private:
  World::Impl& w_;
};

class SimInputSources final : public platform::InputSources {
 public:
  explicit SimInputSources(World::Impl& w) : w_(w) {}
  std::optional<std::vector<platform::InputSource>> createInputSourceList(
      const platform::InputSourceFilter& filter, bool includeAllInstalled) override;
  std::optional<std::vector<std::optional<std::string>>> languages(
      const platform::InputSource& source) override;
  std::optional<std::string> sourceID(const platform::InputSource& source) override;
  int32_t select(const platform::InputSource& source) override;
  platform::InputSource copyCurrentKeyboardLayoutInputSource() override;
  platform::KeyLayoutData unicodeKeyLayoutData(const platform::InputSource& source) override;
  uint32_t keyboardType() override;
  platform::KeyTranslation keyTranslate(const platform::KeyLayoutData& layout,
                                        uint16_t virtualKeyCode, uint16_t keyAction,
                                        uint32_t modifierKeyState, uint32_t keyboardType,
                                        uint32_t keyTranslateOptions) override;

 private:
  World::Impl& w_;
};

class SimLog final : public platform::Log {
 public:
  explicit SimLog(World::Impl& w) : w_(w) {}
  void write(std::string_view line) override;

 private:
  World::Impl& w_;
};

// The services the host reaches through World: the simulated ones, with each call the trace
// shows (accessibility reads and writes, pasteboard writes, input-source selections) noted on
// the way. The simulation itself calls the services directly, untraced.
class TracingAccessibility final : public platform::Accessibility {
 public:
  TracingAccessibility(World::Impl& w, platform::Accessibility& inner) : w_(w), inner_(inner) {}
  bool isProcessTrusted() override;
  bool isProcessTrustedWithOptions(bool prompt) override;
  platform::AXElement createApplication(int32_t pid) override;
  platform::AXElement createSystemWide() override;
  platform::AXError copyAttributeValue(const platform::AXElement& element,
                                       std::string_view attribute,
                                       platform::AXAttributeValue& value) override;
  platform::AXError setAttributeValue(const platform::AXElement& element,
                                      std::string_view attribute,
                                      const platform::AXAttributeValue& value) override;
  platform::AXError isAttributeSettable(const platform::AXElement& element,
                                        std::string_view attribute, bool& settable) override;
  std::optional<platform::AXValueBox> createRangeValue(platform::AXRange range) override;

  platform::AXError setMessagingTimeout(const platform::AXElement& element,
                                        float timeoutInSeconds) override {
    return inner_.setMessagingTimeout(element, timeoutInSeconds);
  }

 private:
  World::Impl& w_;
  platform::Accessibility& inner_;
};

class TracingPasteboard final : public platform::Pasteboard {
 public:
  TracingPasteboard(World::Impl& w, platform::Pasteboard& inner) : w_(w), inner_(inner) {}
  int64_t changeCount() override;
  int64_t accessBehavior() override { return inner_.accessBehavior(); }
  int64_t clearContents() override;
  std::optional<std::string> stringForType(std::string_view type) override;
  bool setStringForType(std::string_view text, std::string_view type) override;
  std::optional<std::vector<platform::PasteboardItem>> pasteboardItems() override;
  bool writeObjects(const std::vector<platform::PasteboardItem>& items) override;
  platform::PasteboardItem createItem() override;
  std::vector<std::string> types(const platform::PasteboardItem& item) override;
  std::optional<platform::SharedBytes> dataForType(const platform::PasteboardItem& item,
                                                   std::string_view type) override;
  bool setDataForType(const platform::PasteboardItem& item, platform::SharedBytes data,
                      std::string_view type) override;

 private:
  World::Impl& w_;
  platform::Pasteboard& inner_;
};

class TracingInputSources final : public platform::InputSources {
 public:
  TracingInputSources(World::Impl& w, platform::InputSources& inner) : w_(w), inner_(inner) {}
  std::optional<std::vector<platform::InputSource>> createInputSourceList(
      const platform::InputSourceFilter& filter, bool includeAllInstalled) override;
  std::optional<std::vector<std::optional<std::string>>> languages(
      const platform::InputSource& source) override;
  std::optional<std::string> sourceID(const platform::InputSource& source) override;
  int32_t select(const platform::InputSource& source) override;

  // The key table is read, not changed: no entry in the trace.
  platform::InputSource copyCurrentKeyboardLayoutInputSource() override {
    return inner_.copyCurrentKeyboardLayoutInputSource();
  }
  platform::KeyLayoutData unicodeKeyLayoutData(const platform::InputSource& source) override {
    return inner_.unicodeKeyLayoutData(source);
  }
  uint32_t keyboardType() override { return inner_.keyboardType(); }
  platform::KeyTranslation keyTranslate(const platform::KeyLayoutData& layout,
                                        uint16_t virtualKeyCode, uint16_t keyAction,
                                        uint32_t modifierKeyState, uint32_t keyboardType,
                                        uint32_t keyTranslateOptions) override {
    return inner_.keyTranslate(layout, virtualKeyCode, keyAction, modifierKeyState, keyboardType,
                               keyTranslateOptions);
  }

 private:
  World::Impl& w_;
  platform::InputSources& inner_;
};

// The trace's words for a posted event.
std::string describePosted(platform::TapLocation location, const platform::EventObject& event);
// The trace's words for a key press of the user (or another device) reaching application `pid`.
std::string describeUserKey(const platform::EventObject& event, std::optional<int32_t> pid);

// Seconds as the OS APIs take them, to whole microseconds; negative, NaN or infinite delays mean
// "now", and absurdly long ones are capped so the clock cannot overflow.
Micros secondsToMicros(double seconds);

struct World::Impl {
  Impl();

  SimAccessibility accessibility{*this};
  SimEvents events{*this};
  SimPasteboard pasteboard{*this};
  SimWorkspace workspace{*this};
  SimDistributedNotifications distributed{*this};
  SimMainLoop mainLoop{*this};
  SimProcessInfo processInfo{*this};
  SimLoginItems loginItems{*this};
  SimInputSources inputSources{*this};
  SimLog log{*this};
  TracingAccessibility tracedAccessibility{*this, accessibility};
  TracingPasteboard tracedPasteboard{*this, pasteboard};
  TracingInputSources tracedInputSources{*this, inputSources};

  // -- the loops, on one clock, each ordered by (due time, insertion order). The main thread's
  // work (timers, delayed calls, notification blocks, signals, taps on the main run loop) runs
  // only when the main loop runs. The rest of the system (the window server, the other
  // applications, the threads' own run loops) never waits for the main thread: it also runs
  // while the main thread is blocked.
  using Queue = std::map<std::pair<Micros, uint64_t>, std::function<void()>>;
  Micros now = 0;
  uint64_t nextSeq = 0;
  Queue queue;        // the main thread's
  Queue systemQueue;  // everyone else's
  RecentRecords<Micros> pauses;
  Micros pausedMicros = 0;
  // Live timers (weakly: the queue keeps them) and delayed blocks not yet run, for inspection.
  std::vector<std::weak_ptr<platform::TimerObject>> timers;
  uint64_t nextTimerId = 1;
  struct DelayedBlock {
    Micros scheduledAt = 0;
    Micros due = 0;
  };
  std::map<uint64_t, DelayedBlock> delayedBlocks;
  uint64_t nextBlockId = 1;
  void enqueue(Micros due, std::function<void()> work);
  void enqueueSystem(Micros due, std::function<void()> work);
  int pendingChanges = 0;  // scheduled with World::at, not yet happened
  void runUntil(Micros limit);
  // The main thread is blocked (usleep, a synchronous call) for `duration`.
  void blockMain(Micros duration);
  void scheduleTimer(const std::shared_ptr<platform::TimerObject>& timer, Micros due);
  // App Nap: a hidden, inactive host that holds no process activity has its main loop woken
  // only at whole multiples of this period (0: never napped).
  Micros appNapPeriod = 0;
  std::vector<platform::Activity> activities;  // begun and not yet ended
  bool napped() const;
  // When the main loop gets to work that is due at `due`.
  Micros mainWake(Micros due) const;

  // -- threads (virtual: a thread's body runs at once; its run loop then serves from the system
  // queue until stopped, so a body ends with CFRunLoopRun)
  std::shared_ptr<platform::RunLoopObject> mainRunLoop;
  std::shared_ptr<platform::RunLoopObject> currentLoop;  // of the code running now
  bool runsOnMain() const { return currentLoop == mainRunLoop; }
  // Every service but the tap's own calls (the run loops', and the permission checks a disabled
  // tap makes before it switches itself back on) belongs to the main thread, as
  // the macOS adapters assert; a call from another thread is a programming error.
  void requireMainThread(const char* call) const {
    if (!runsOnMain()) {
      channel::reportProgrammingError(std::string(call) + " was called off the main thread");
    }
  }
  template <class F>
  void onLoop(const std::shared_ptr<platform::RunLoopObject>& loop, F&& f) {
    auto saved = std::exchange(currentLoop, loop);
    f();
    currentLoop = std::move(saved);
  }

  // -- applications
  std::vector<AppState> apps;
  std::optional<int32_t> frontmost;
  std::optional<int32_t> systemWideFocus;
  std::optional<int32_t> focusOwner() const;
  int32_t hostPid = 4242;
  AppState* app(int32_t pid);
  ElementState* focusedOf(int32_t pid);

  // -- permissions
  bool trusted = false, listenAccess = false, postAccess = false;
  int trustPrompts = 0, listenRequests = 0, postRequests = 0;
  PromptAnswers promptAnswers;
  bool trustAnswerPending = false, listenAnswerPending = false, postAnswerPending = false;
  // A prompt for the permission appeared: the user's answer is scheduled as promptAnswers says.
  enum class Permission { kAccessibility, kListen, kPost };
  void promptShown(Permission permission);

  // -- events
  struct LoopSource {
    platform::RunLoop loop;
    platform::RunLoopSource source;
  };
  std::vector<std::weak_ptr<TapState>> taps;                       // creation order
  std::vector<LoopSource> loopSources;                             // sources added to run loops
  std::vector<bool> heldModifiers = std::vector<bool>(64, false);  // by key code
  bool capsLock = false;
  int64_t keyboardEventCalls = 0;
  platform::EventFlags heldFlags() const;
  bool secureInput = false;  // some process has secure keyboard entry on
  // New event sources permit no local events during suppression (as some systems were seen to
  // do), instead of the documented default of permitting every one.
  bool localEventsSuppression = false;
  // After a synthetic event from a source with a suppression interval: until when, and which
  // local events still pass meanwhile.
  Micros suppressLocalUntil = 0;
  platform::EventFilterMask suppressionPermits = platform::kCGEventFilterMaskPermitAllEvents;
  // Whether a local (hardware) event of this kind is held back now.
  bool localEventSuppressed(bool keyboard) const;
  bool hiddenBySecureInput(const platform::EventObject& event) const;
  // Whether the process holds the permission the tap's kind needs: trust for an active tap, trust
  // or listen access for a listen-only one.
  bool tapPermitted(platform::TapOptions options) const;
  void disableTaps(platform::EventType reason);
  // Every tap is disabled, or its port invalidated, without any notice.
  void killTaps(World::SleepEffect effect);
  bool screenLocked = false;
  std::vector<std::weak_ptr<platform::ThreadObject>> threads;
  // The running run loop that services the tap, or null when none does.
  platform::RunLoop tapLoop(const TapState& tap) const;
  bool tapDelivers(const TapState& tap) const { return tapLoop(tap) != nullptr; }
  // The tap is on and asks for this event.
  bool tapWants(const TapState& tap, const platform::EventObject& event) const;
  // Calls the tap's callback on its own loop's thread: at once from a thread's run loop, or as
  // work for the main thread when its source is on the main run loop.
  void callTapLater(const std::weak_ptr<TapState>& tap, platform::EventType type);
  platform::EventObject* callTap(TapState& tap, const platform::RunLoop& loop,
                                 platform::EventType type, platform::EventObject* event);

  // The window server passes events on one at a time, in order; an active tap holds them all
  // until it answers, or until the answer is later than `tapTimeout` and the tap is disabled.
  struct InFlight {
    platform::Event event;
    platform::EventObject* current = nullptr;    // what the last tap passed on; null: dropped
    size_t nextTap = 0;                          // the next tap of `route` to pass
    std::vector<std::weak_ptr<TapState>> route;  // the taps as they were when it came in
  };
  std::deque<InFlight> windowServer;
  bool windowServerWaits = false;  // on a tap of the main run loop
  uint64_t waitEpoch = 0;          // which wait a time-out or an answer belongs to
  bool pumpScheduled = false;
  Micros tapTimeout = 1000000;
  void queueDelivery(platform::Event event);
  void schedulePump();
  // Takes the front event on through its taps; false when it now waits for the main thread.
  bool advanceFront();
  void answerFromMain(uint64_t epoch);
  void timeOutWait(uint64_t epoch);
  void finishFront();  // the front event reaches the front application

  // Posted synthetic events: totals, and the most recent records.
  std::deque<PostedEvent> posted;  // records postedTotal - posted.size() .. postedTotal - 1
  int64_t postedTotal = 0;
  int64_t postedTaken = 0;  // takePosted's cursor
  PostedEvent* postedRecord(int64_t index);
  void applyToFocusedElement(const platform::EventObject& event);
  platform::Event userKeyEvent(platform::EventType type, uint16_t keycode, bool autorepeat);

  // -- pasteboard
  std::vector<PasteboardItemState> pasteboardItems;
  int64_t changeCount = 0;
  int64_t pasteboardAccessBehavior = platform::kNSPasteboardAccessBehaviorDefault;

  // -- workspace and notifications
  struct WorkspaceObserver {
    platform::ObserverToken token;
    std::shared_ptr<platform::Workspace::ActivationBlock> block;
  };
  struct DistributedObserver {
    platform::ObserverToken token;
    std::string name;
    platform::SuspensionBehavior behavior;
    std::shared_ptr<std::function<void()>> block;
  };
  std::vector<WorkspaceObserver> workspaceObservers;
  struct NotificationObserver {
    platform::ObserverToken token;
    platform::Workspace::Notification name;
    std::shared_ptr<std::function<void()>> block;
  };
  std::vector<NotificationObserver> notificationObservers;
  std::vector<DistributedObserver> distributedObservers;
  RecentRecords<std::string> openedURLs;
  void postWorkspace(platform::Workspace::Notification name);
  // Distributed notifications reach an inactive host as each observer registered: the queued
  // ones (observer, notification) wait for activation or a deliver-immediately one.
  bool hostActive = false;
  std::vector<std::pair<std::weak_ptr<platform::ObserverObject>, std::string>> suspended;
  void postDistributed(const std::string& name);
  void flushSuspended();

  // -- input sources
  std::vector<InputSourceState> sources;
  std::string selectedSource = "com.apple.keylayout.US";
  InputSourceState* source(const std::string& id);
  std::string layout();

  // -- the rest
  LoginItemState loginItem;
  platform::OperatingSystemVersion osVersion{14, 0, 0};
  RecentRecords<std::string> logLines;
  RecentRecords<TraceEntry> trace;
  void note(std::string kind, std::string detail);
  WindowState window;
  Faults faults;
  CallCounts calls;

  // -- accessibility messaging
  static constexpr Micros kDefaultMessagingTimeout = 6000000;
  Micros messagingTimeout = 0;  // 0: the system's default
};

// Edits of a text element, in UTF-16 units, shared by typing and accessibility writes.
namespace text_edit {
// The element's text as the user sees it (an element without a value edits as empty).
std::u16string& textOf(ElementState& element);
// The selection clamped to the text (a caret at the end when none is known).
platform::AXRange clampedSelection(const ElementState& element);
// Every edit of the text goes through here: the styles of a rich element and the model of a web
// element follow it. `range` must lie within the text.
void replaceRange(ElementState& element, platform::AXRange range, std::u16string_view replacement);
void replaceSelection(ElementState& element, std::u16string_view replacement);
void deleteBackward(ElementState& element);
}  // namespace text_edit

}  // namespace sim
