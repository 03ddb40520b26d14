// The world's clock and loop and its own state (applications, permissions, the inspection and
// set-up API). Each simulated service lives in the file named after its seam header.

#include <algorithm>
#include <cmath>

#include "sim/keyboard_layouts.h"
#include "sim/world_impl.h"

namespace sim {

using platform::RunningApplication;

Micros secondsToMicros(double seconds) {
  constexpr double kMaxSeconds = 1e9;  // ~31 years of virtual time
  if (!(seconds > 0)) return 0;        // also NaN
  if (seconds > kMaxSeconds) seconds = kMaxSeconds;
  return static_cast<Micros>(std::llround(seconds * 1e6));
}

namespace {

RunningApplication runningOf(const AppState& app) {
  return RunningApplication{app.pid, app.bundleIdentifier, app.localizedName};
}

InputSourceState keyboardSource(std::string id, std::string language, std::string layout) {
  InputSourceState s;
  s.id = std::move(id);
  s.languages = std::vector<std::optional<std::string>>{std::move(language)};
  s.layout = std::move(layout);
  return s;
}

// Where the app is when the user moved it to Applications, and where macOS runs a translocated
// copy from (a random folder per launch, read-only).
constexpr std::string_view kInstalledBundlePath = "/Applications/tandrel_example.app";
constexpr std::string_view kTranslocatedBundlePath =
    "/private/var/folders/5k/q1x9rz4n3bd2f8w7c6v0m0lr0000gn/T/AppTranslocation/"
    "3F2B9C1E-7A4D-4E8B-9C0F-6D1A2B3C4D5E/d/tandrel_example.app";

}  // namespace

bool isAsciiCapableLayout(const InputSourceState& source) {
  return source.type == platform::kTISTypeKeyboardLayout && source.layout != "ru";
}

// ---- Impl ---------------------------------------------------------------------------------

World::Impl::Impl() {
  mainRunLoop = std::make_shared<platform::RunLoopObject>();
  mainRunLoop->isMain = true;
  mainRunLoop->running = true;
  currentLoop = mainRunLoop;
  sources.push_back(keyboardSource("com.apple.keylayout.US", "en", "us"));
  sources.push_back(keyboardSource("com.apple.keylayout.Russian", "ru", "ru"));
}

void World::Impl::enqueue(Micros due, std::function<void()> work) {
  queue.emplace(std::pair{std::max(due, now), nextSeq++}, std::move(work));
}

void World::Impl::enqueueSystem(Micros due, std::function<void()> work) {
  systemQueue.emplace(std::pair{std::max(due, now), nextSeq++}, std::move(work));
}

namespace {

// Takes the first item out before it runs, so work may queue or cancel more work freely.
void runFirst(Micros& now, World::Impl::Queue& queue) {
  auto node = queue.extract(queue.begin());
  now = std::max(now, node.key().first);
  node.mapped()();
}

}  // namespace

bool World::Impl::napped() const {
  return appNapPeriod > 0 && !hostActive && !window.visible && activities.empty();
}

Micros World::Impl::mainWake(Micros due) const {
  if (!napped()) return due;
  // Coalesced: the napped process wakes on the period's boundaries only.
  return (due + appNapPeriod - 1) / appNapPeriod * appNapPeriod;
}

void World::Impl::runUntil(Micros limit) {
  // Both queues, in one time order: the main thread is free, and its loop turns.
  workspaceSnapshot.reset();
  for (;;) {
    const std::pair<Micros, uint64_t> mainAt =
        queue.empty()
            ? std::pair<Micros, uint64_t>{}
            : std::pair{mainWake(queue.begin()->first.first), queue.begin()->first.second};
    const bool mainDue = !queue.empty() && mainAt.first <= limit;
    const bool systemDue = !systemQueue.empty() && systemQueue.begin()->first.first <= limit;
    if (!mainDue && !systemDue) return;
    const bool systemFirst = systemDue && (!mainDue || systemQueue.begin()->first < mainAt);
    if (!systemFirst) {
      now = std::max(now, mainAt.first);
      workspaceSnapshot.reset();
    }
    runFirst(now, systemFirst ? systemQueue : queue);
  }
}

void World::Impl::blockMain(Micros duration) {
  const Micros until = now + std::max<Micros>(duration, 0);
  // What the workspace said when the call began is what it says until the loop turns again.
  if (!workspaceSnapshot) {
    workspaceSnapshot.emplace();
    if (frontmost) {
      if (const AppState* a = app(*frontmost)) workspaceSnapshot->front = runningOf(*a);
    }
    for (const AppState& a : apps) workspaceSnapshot->running.push_back(runningOf(a));
  }
  const bool wasBlocked = std::exchange(mainBlocked, true);
  // Whatever the main thread was doing, the rest of the system runs as the main loop's code.
  while (!systemQueue.empty() && systemQueue.begin()->first.first <= until) {
    runFirst(now, systemQueue);
  }
  mainBlocked = wasBlocked;
  now = std::max(now, until);
}

std::optional<int32_t> World::Impl::focusOwner() const {
  return systemWideFocus ? systemWideFocus : frontmost;
}

void World::Impl::promptShown(Permission permission) {
  bool* pending = nullptr;
  std::optional<Micros> after;
  bool granted = false;
  switch (permission) {
    case Permission::kAccessibility:
      pending = &trustAnswerPending, after = promptAnswers.accessibility, granted = trusted;
      break;
    case Permission::kListen:
      pending = &listenAnswerPending, after = promptAnswers.listen, granted = listenAccess;
      break;
    case Permission::kPost:
      pending = &postAnswerPending, after = promptAnswers.post, granted = postAccess;
      break;
  }
  // One dialog at a time: prompts while the user has not answered yet show nothing new.
  if (granted || !after || *pending) return;
  *pending = true;
  enqueueSystem(now + *after, [this, permission, pending] {
    *pending = false;
    switch (permission) {
      case Permission::kAccessibility:
        note("user", "grants accessibility in the prompt");
        if (!trusted || !tapsTrusted) {
          trusted = tapsTrusted = true;
          postDistributed("com.apple.accessibility.api");
        }
        break;
      case Permission::kListen:
        note("user", "grants listen access in the prompt");
        listenAccess = true;
        break;
      case Permission::kPost:
        note("user", "grants post access in the prompt");
        postAccess = true;
        break;
    }
  });
}

void World::Impl::scheduleTimer(const std::shared_ptr<platform::TimerObject>& timer, Micros due) {
  timer->due = due;
  enqueue(due, [this, timer, due] {
    if (!timer->valid) return;
    note("timer.fire", "timer " + std::to_string(timer->id));
    // Copied so that the block may invalidate (or drop the last handle of) its own timer.
    const std::function<void()> block = timer->block;
    if (block) block();
    if (!timer->repeats) {
      timer->valid = false;
      return;
    }
    if (!timer->valid) return;
    // Like NSTimer, a timer that fell behind (the thread slept) skips the fires it missed.
    Micros next = due + timer->interval;
    if (next <= now) next += ((now - next) / timer->interval + 1) * timer->interval;
    scheduleTimer(timer, next);
  });
}

AppState* World::Impl::app(int32_t pid) {
  for (AppState& a : apps) {
    if (a.pid == pid) return &a;
  }
  return nullptr;
}

ElementState* World::Impl::focusedOf(int32_t pid) {
  AppState* a = app(pid);
  return a && a->focused ? &*a->focused : nullptr;
}

void World::Impl::postDistributed(const std::string& name) {
  note("notification", name);
  using platform::SuspensionBehavior;
  // A deliver-immediately observer makes the center deliver what it held first.
  const bool immediate =
      std::any_of(distributedObservers.begin(), distributedObservers.end(), [&](const auto& o) {
        return o.name == name && o.behavior == SuspensionBehavior::kDeliverImmediately;
      });
  if (!hostActive && immediate) flushSuspended();
  for (const DistributedObserver& o : distributedObservers) {
    if (o.name != name) continue;
    if (hostActive || o.behavior == SuspensionBehavior::kDeliverImmediately) {
      enqueue(now, [block = o.block] { (*block)(); });
      continue;
    }
    switch (o.behavior) {
      case SuspensionBehavior::kDrop:
      case SuspensionBehavior::kDeliverImmediately:
        break;
      case SuspensionBehavior::kCoalesce:
        std::erase_if(suspended, [&](const auto& held) {
          return held.first.lock() == o.token && held.second == name;
        });
        suspended.emplace_back(o.token, name);
        break;
      case SuspensionBehavior::kHold:
        suspended.emplace_back(o.token, name);
        break;
    }
  }
}

void World::Impl::flushSuspended() {
  for (const auto& [weak, name] : std::exchange(suspended, {})) {
    const platform::ObserverToken token = weak.lock();
    for (const DistributedObserver& o : distributedObservers) {
      if (o.token == token) enqueue(now, [block = o.block] { (*block)(); });
    }
  }
}

InputSourceState* World::Impl::source(const std::string& id) {
  for (InputSourceState& s : sources) {
    if (s.id == id) return &s;
  }
  return nullptr;
}

std::string World::Impl::layout() {
  const InputSourceState* s = source(selectedSource);
  return s ? s->layout : "us";
}

void World::Impl::selectSource(const std::string& id, bool notify) {
  const bool changed = selectedSource != id;
  selectedSource = id;
  const InputSourceState* s = source(id);
  if (s && isAsciiCapableLayout(*s)) lastAsciiLayout = id;
  if (changed && notify) {
    postDistributed(std::string(platform::kTISNotifySelectedKeyboardInputSourceChanged));
  }
}

std::string World::Impl::bundlePath() const {
  return std::string(translocated ? kTranslocatedBundlePath : kInstalledBundlePath);
}

std::string World::Impl::asciiCapableLayout() {
  const InputSourceState* last = source(lastAsciiLayout);
  if (last && last->enabled && isAsciiCapableLayout(*last)) return last->id;
  for (const InputSourceState& s : sources) {
    if (s.enabled && isAsciiCapableLayout(s)) return s.id;
  }
  return "";
}

// ---- World --------------------------------------------------------------------------------

World::World() : impl_(std::make_unique<Impl>()) {}
World::~World() = default;

platform::Accessibility& World::accessibility() {
  return impl_->tracedAccessibility;
}
platform::Events& World::events() {
  return impl_->events;
}
platform::Pasteboard& World::pasteboard() {
  return impl_->tracedPasteboard;
}
platform::Workspace& World::workspace() {
  return impl_->workspace;
}
platform::DistributedNotifications& World::distributedNotifications() {
  return impl_->distributed;
}
platform::MainLoop& World::mainLoop() {
  return impl_->mainLoop;
}
platform::ProcessInfo& World::processInfo() {
  return impl_->processInfo;
}
platform::LoginItems& World::loginItems() {
  return impl_->loginItems;
}
platform::InputSources& World::inputSources() {
  return impl_->tracedInputSources;
}
platform::Log& World::log() {
  return impl_->log;
}

Micros World::now() const {
  return impl_->now;
}

void World::runPending() {
  impl_->runUntil(impl_->now);
}

void World::advance(Micros duration) {
  const Micros target = impl_->now + std::max<Micros>(duration, 0);
  impl_->runUntil(target);
  impl_->now = std::max(impl_->now, target);
}

std::vector<Micros> World::takePauses() {
  return impl_->pauses.take();
}

std::vector<PendingWork> World::pendingWork() const {
  std::vector<PendingWork> out;
  for (const auto& weak : impl_->timers) {
    const std::shared_ptr<platform::TimerObject> timer = weak.lock();
    if (!timer || !timer->valid) continue;
    out.push_back(
        {true, timer->id, timer->scheduledAt, timer->due, timer->interval, timer->repeats});
  }
  for (const auto& [id, block] : impl_->delayedBlocks) {
    out.push_back({false, id, block.scheduledAt, block.due, 0, false});
  }
  return out;
}

void World::note(std::string kind, std::string detail) {
  impl_->note(std::move(kind), std::move(detail));
}

std::vector<TraceEntry> World::takeTrace() {
  return impl_->trace.take();
}

void World::forgetTraceSince(uint64_t total) {
  impl_->trace.forgetSince(total);
}

Records World::records() const {
  const auto totals = [](const auto& record) {
    return RecordTotals{record.total(), record.dropped()};
  };
  Records r;
  r.window = impl_->trace.window();
  r.pauses = totals(impl_->pauses);
  r.log = totals(impl_->logLines);
  r.urls = totals(impl_->openedURLs);
  r.trace = totals(impl_->trace);
  r.pausedMicros = impl_->pausedMicros;
  return r;
}

void World::setRecordWindow(size_t entries) {
  impl_->pauses.setWindow(entries);
  impl_->logLines.setWindow(entries);
  impl_->openedURLs.setWindow(entries);
  impl_->trace.setWindow(entries);
}

void World::later(Micros delay, std::function<void()> action) {
  if (action) impl_->enqueueSystem(impl_->now + std::max<Micros>(delay, 0), std::move(action));
}

void World::addApplication(AppState app) {
  impl_->workspaceChanged();
  impl_->apps.push_back(std::move(app));
}

AppState* World::application(int32_t pid) {
  impl_->workspaceChanged();  // its properties may change through the pointer
  return impl_->app(pid);
}

void World::removeApplication(int32_t pid) {
  impl_->workspaceChanged();
  std::erase_if(impl_->apps, [pid](const AppState& a) { return a.pid == pid; });
  if (impl_->frontmost == pid) impl_->frontmost.reset();
  if (impl_->systemWideFocus == pid) impl_->systemWideFocus.reset();
}

void World::setSystemWideFocus(std::optional<int32_t> pid) {
  impl_->systemWideFocus = pid;
}

std::optional<int32_t> World::systemWideFocus() const {
  return impl_->systemWideFocus;
}

std::optional<int32_t> World::focusOwner() const {
  return impl_->focusOwner();
}

void World::at(Micros when, std::function<void()> change) {
  if (!change) return;
  // The rest of the world goes on while the main thread is blocked: its changes run with the
  // system's work, not the main loop's.
  ++impl_->pendingChanges;
  impl_->enqueueSystem(when, [impl = impl_.get(), change = std::move(change)] {
    --impl->pendingChanges;
    change();
  });
}

int World::scheduledChangeCount() const {
  return impl_->pendingChanges;
}

void World::setFrontmost(std::optional<int32_t> pid) {
  impl_->workspaceChanged();
  impl_->frontmost = pid;
}

std::optional<int32_t> World::frontmost() const {
  return impl_->frontmost;
}

void World::activate(int32_t pid) {
  const AppState* a = impl_->app(pid);
  if (!a) return;
  impl_->workspaceChanged();
  impl_->frontmost = pid;
  impl_->note("activation", "app " + std::to_string(pid));
  std::optional<RunningApplication> info;
  if (!impl_->faults.activationWithoutApplication) info = runningOf(*a);
  for (const Impl::WorkspaceObserver& o : impl_->workspaceObservers) {
    impl_->enqueue(impl_->now, [block = o.block, info] { (*block)(info); });
  }
}

ElementState* World::focusedElement() {
  const std::optional<int32_t> owner = impl_->focusOwner();
  return owner ? impl_->focusedOf(*owner) : nullptr;
}

void World::selectRange(platform::AXRange range) {
  if (ElementState* element = focusedElement()) text_edit::select(*element, range, impl_->now);
}

void World::setHostPid(int32_t pid) {
  impl_->hostPid = pid;
}

void World::setTrusted(bool trusted) {
  Impl& w = *impl_;
  const bool changed = w.trusted != trusted || w.tapsTrusted != trusted;
  w.trusted = w.tapsTrusted = trusted;
  if (changed) w.postDistributed("com.apple.accessibility.api");
}

void World::deleteAccessibilityRow() {
  impl_->tapsTrusted = false;
}

void World::resignApp() {
  impl_->trusted = true;
  impl_->tapsTrusted = false;
}

bool World::tapsTrusted() const {
  return impl_->tapsTrusted;
}

void World::setListenAccess(bool granted) {
  impl_->listenAccess = granted;
}
void World::setPostAccess(bool granted) {
  impl_->postAccess = granted;
}
bool World::trusted() const {
  return impl_->trusted;
}
bool World::listenAccess() const {
  return impl_->listenAccess;
}
bool World::postAccess() const {
  return impl_->postAccess;
}
int World::trustPrompts() const {
  return impl_->trustPrompts;
}
int World::listenRequests() const {
  return impl_->listenRequests;
}
int World::postRequests() const {
  return impl_->postRequests;
}

void World::setPromptAnswers(PromptAnswers answers) {
  impl_->promptAnswers = answers;
}

void World::postDistributedNotification(const std::string& name) {
  impl_->postDistributed(name);
}

void World::setHostActive(bool active) {
  impl_->hostActive = active;
  if (active) impl_->flushSuspended();
}

bool World::hostActive() const {
  return impl_->hostActive;
}

void World::setLocalEventsSuppression(bool on) {
  impl_->localEventsSuppression = on;
}

void World::setAppNap(Micros period) {
  impl_->appNapPeriod = std::max<Micros>(period, 0);
}

bool World::napped() const {
  return impl_->napped();
}

std::vector<ActivityInfo> World::activities() const {
  std::vector<ActivityInfo> out;
  for (const auto& a : impl_->activities) out.push_back({a->options, a->reason, a->since});
  return out;
}

Micros World::messagingTimeout() const {
  return impl_->messagingTimeout > 0 ? impl_->messagingTimeout : Impl::kDefaultMessagingTimeout;
}

std::optional<std::pair<uint16_t, bool>> World::keyFor(const std::string& layout, char16_t ch) {
  return keys::keyFor(layout, ch);
}

std::u16string World::charactersFor(const std::string& layout, uint16_t keycode, bool shift,
                                    bool capsLock) {
  return keys::characters(layout, keycode, shift, capsLock);
}

std::vector<PasteboardItemState>& World::pasteboardItems() {
  return impl_->pasteboardItems;
}

int64_t World::pasteboardChangeCount() const {
  return impl_->changeCount;
}

int64_t& World::pasteboardAccessBehavior() {
  return impl_->pasteboardAccessBehavior;
}

std::vector<std::string> World::takeOpenedURLs() {
  return impl_->openedURLs.take();
}

int World::observerCount() const {
  return static_cast<int>(impl_->workspaceObservers.size() + impl_->notificationObservers.size() +
                          impl_->distributedObservers.size());
}

std::vector<InputSourceState>& World::inputSourceList() {
  return impl_->sources;
}

std::string World::selectedInputSource() const {
  return impl_->selectedSource;
}

void World::selectInputSourceById(const std::string& id) {
  impl_->selectSource(id, false);
}

void World::userSelectInputSource(const std::string& id) {
  impl_->selectSource(id, true);
}

std::string World::selectedLayout() const {
  return impl_->layout();
}

void World::setInputSourceListOrder(std::vector<std::string> ids) {
  impl_->listOrder = std::move(ids);
}

const std::vector<std::string>& World::inputSourceListOrder() const {
  return impl_->listOrder;
}

std::string World::asciiCapableLayout() const {
  return impl_->asciiCapableLayout();
}

LoginItemState& World::loginItem() {
  return impl_->loginItem;
}

int64_t World::loginItemStatus() const {
  return impl_->loginItemStatus();
}

void World::setTranslocated(bool translocated) {
  impl_->translocated = translocated;
}

std::string World::bundlePath() const {
  return impl_->bundlePath();
}

void World::setOperatingSystemVersion(platform::OperatingSystemVersion version) {
  impl_->osVersion = version;
}

std::vector<std::string> World::takeLog() {
  return impl_->logLines.take();
}

WindowState& World::window() {
  return impl_->window;
}

Faults& World::faults() {
  return impl_->faults;
}

const CallCounts& World::callCounts() const {
  return impl_->calls;
}

World& processWorld() {
  static World* const world = new World();  // never destroyed: handles may outlive static exit
  return *world;
}

}  // namespace sim

namespace platform {

Platform& processPlatform() {
  return sim::processWorld();
}

}  // namespace platform
