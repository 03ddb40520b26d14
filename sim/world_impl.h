#pragma once
// Internals of the simulated world, shared by its source files only.

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "channel/programming_error.h"
#include "sim/accessibility.h"
#include "sim/events.h"
#include "sim/input_sources.h"
#include "sim/log.h"
#include "sim/login_items.h"
#include "sim/main_loop.h"
#include "sim/pasteboard.h"
#include "sim/process_info.h"
#include "sim/trace.h"
#include "sim/workspace.h"
#include "sim/world.h"

namespace sim {

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
  // tap makes before it switches itself back on: the two reads and a tap made and released) belongs
  // to the main thread, as the macOS adapters assert; a call from another thread is a programming
  // error.
  void requireMainThread(const char* call) const {
    if (!runsOnMain()) {
      channel::reportProgrammingError(std::string(call) + " was called off the main thread");
    }
  }
  // The first creation or translation of a key event in a process may set up the system's key
  // translation through the input-source services, which assert that they run on the main thread:
  // a first one made elsewhere is a programming error.
  bool keyTranslationSetUp = false;
  void translatesKeys(const char* call) {
    if (std::exchange(keyTranslationSetUp, true) || runsOnMain()) return;
    channel::reportProgrammingError(
        std::string(call) + " made the process's first key translation off the main thread");
  }
  template <class F>
  void onLoop(const std::shared_ptr<platform::RunLoopObject>& loop, F&& f) {
    auto saved = std::exchange(currentLoop, loop);
    f();
    currentLoop = std::move(saved);
  }

  // -- the workspace answers from a snapshot taken when the main loop turns: inside one blocking
  // call (from its first blocking pause or accessibility wait until the loop next runs) the host
  // sees the running applications and the frontmost one as they were when it began.
  struct WorkspaceSnapshot {
    std::optional<platform::RunningApplication> front;
    std::vector<platform::RunningApplication> running;
  };
  std::optional<WorkspaceSnapshot> workspaceSnapshot;
  bool mainBlocked = false;
  // A change made while the main thread is free is seen at the next look: the loop turns before.
  void workspaceChanged() {
    if (!mainBlocked) workspaceSnapshot.reset();
  }

  // -- applications
  std::vector<AppState> apps;
  std::optional<int32_t> frontmost;
  std::optional<int32_t> systemWideFocus;
  std::optional<int32_t> focusOwner() const;
  int32_t hostPid = 4242;
  AppState* app(int32_t pid);
  ElementState* focusedOf(int32_t pid);

  // -- permissions. `trusted` is what AXIsProcessTrusted answers; `tapsTrusted` is the
  // accessibility grant as the window server applies it to taps. They part when the user deletes
  // the host's row from the list, or once the host was signed again since the grant: the first
  // stays true, the second is false.
  bool trusted = false, tapsTrusted = false, listenAccess = false, postAccess = false;
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
  // Whether the process holds the permission the tap's kind needs, as taps see it: trust for an
  // active tap, trust or listen access for a listen-only one.
  bool tapPermitted(platform::TapOptions options) const;
  void disableTaps(platform::EventType reason);
  // Every tap is disabled, or its port invalidated, without any notice.
  void killTaps(World::SleepEffect effect);
  bool screenLocked = false;
  std::vector<std::weak_ptr<platform::ThreadObject>> threads;
  // The running run loop that services the tap, or null when none does.
  platform::RunLoop tapLoop(const TapState& tap) const;
  bool tapDelivers(const TapState& tap) const { return tapLoop(tap) != nullptr; }
  // The tap is on and its mask covers this event (which secure input does not hide from it).
  bool tapCovers(const TapState& tap, const platform::EventObject& event) const;
  // ... and the process holds the permission it needs: its callback gets the event.
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
  // The window server waits for the answer of the tap the front event is at, at most the tap
  // timeout.
  void waitForTap();
  void answerFromMain(uint64_t epoch);
  void timeOutWait(uint64_t epoch);
  // A tap switched off, or no longer on a running loop, holds nothing: the event it held goes on.
  void letGoOfStoppedTap();
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

  // -- input sources, in menu order
  std::vector<InputSourceState> sources;
  std::string selectedSource = "com.apple.keylayout.US";
  std::vector<std::string> listOrder;  // TISCreateInputSourceList's order (see World)
  std::string lastAsciiLayout;         // the ASCII-capable layout selected last
  InputSourceState* source(const std::string& id);
  std::string layout();
  // Makes `id` the selected source; a change posts the selection notification when `notify`.
  void selectSource(const std::string& id, bool notify);
  std::string asciiCapableLayout();

  // -- the rest
  LoginItemState loginItem;
  bool translocated = false;  // the app runs from a translocated copy (see World)
  std::string bundlePath() const;
  int64_t loginItemStatus() const;
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

  // -- Chromium's accessibility switches (sim/accessibility.cc)
  static constexpr Micros kSwitchDebounce = 2000000;  // Chrome's and Electron's kTwoSecondDelay
  // Whether an application shows no tree now (a Chromium one whose accessibility is off, or whose
  // tree is still being built).
  bool treeHidden(const AppState& app) const;
  void switchAccessibility(AppState& app, AccessibilityMode mode);
  // enableScreenReaderCompleteModeAfterDelay: Chrome's and Electron 37's debounce of a request.
  void debounceSwitch(AppState& app, bool enable);
  // A change of the application's switches at `due`, unless a later set overtook it meanwhile.
  void scheduleSwitch(AppState& app, Micros due, std::function<void(AppState&)> change);
  // What the application does with a set of either switch; its answer.
  platform::AXError setSwitch(AppState& app, std::string_view attribute, bool on);
};

// Edits of a text element, in UTF-16 units, shared by typing and accessibility writes. `now` is
// when the page makes the change, from which a chromium element's accessibility lags.
namespace text_edit {
// The element's text as the user sees it (an element without a value edits as empty).
std::u16string& textOf(ElementState& element);
// The selection clamped to the text (a caret at the end when none is known).
platform::AXRange clampedSelection(const ElementState& element);
// Every edit of the text goes through here: the styles of a rich element and the model of a web
// element follow it. `range` must lie within the text.
void replaceRange(ElementState& element, platform::AXRange range, std::u16string_view replacement,
                  Micros now);
void replaceSelection(ElementState& element, std::u16string_view replacement, Micros now);
void deleteBackward(ElementState& element, Micros now);
// The page selects `range` (clamped to the text).
void select(ElementState& element, platform::AXRange range, Micros now);
// What accessibility reads now when a change has not reached it yet; null when it reads the page.
const ElementState::Published* lagging(ElementState& element, Micros now);
}  // namespace text_edit

}  // namespace sim
