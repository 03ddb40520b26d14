// The world's clock and loop, applications, permissions, workspace and notifications, input
// sources, login item, process info and log. Events, accessibility and the pasteboard have files
// of their own.

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "sim/keyboard_layouts.h"
#include "sim/world_impl.h"

namespace sim {

using platform::ObserverToken;
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

}  // namespace

// ---- Impl ---------------------------------------------------------------------------------

World::Impl::Impl() {
  sources.push_back(keyboardSource("com.apple.keylayout.US", "en", "us"));
  sources.push_back(keyboardSource("com.apple.keylayout.Russian", "ru", "ru"));
}

void World::Impl::enqueue(Micros due, std::function<void()> work) {
  queue.emplace(std::pair{std::max(due, now), nextSeq++}, std::move(work));
}

void World::Impl::runUntil(Micros limit) {
  // Each item is taken out before it runs, so work may queue or cancel more work freely.
  while (!queue.empty() && queue.begin()->first.first <= limit) {
    auto node = queue.extract(queue.begin());
    now = std::max(now, node.key().first);
    node.mapped()();
  }
}

void World::Impl::scheduleTimer(const std::shared_ptr<platform::TimerObject>& timer, Micros due) {
  enqueue(due, [this, timer, due] {
    if (!timer->valid) return;
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
  for (const DistributedObserver& o : distributedObservers) {
    if (o.name != name) continue;
    enqueue(now, [block = o.block] { (*block)(); });
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

// ---- MainLoop -----------------------------------------------------------------------------

platform::Timer SimMainLoop::scheduledTimer(double intervalSeconds, bool repeats,
                                            std::function<void()> block) {
  auto timer = std::make_shared<platform::TimerObject>();
  // NSTimer replaces a non-positive interval with 0.1 ms.
  timer->interval = std::max<Micros>(secondsToMicros(intervalSeconds), 100);
  timer->repeats = repeats;
  timer->block = std::move(block);
  w_.scheduleTimer(timer, w_.now + timer->interval);
  return timer;
}

void SimMainLoop::invalidate(const platform::Timer& timer) {
  if (timer) timer->valid = false;
}

void SimMainLoop::dispatchAfter(double delaySeconds, std::function<void()> block) {
  if (!block) return;
  w_.enqueue(w_.now + secondsToMicros(delaySeconds), std::move(block));
}

void SimMainLoop::sleepMicroseconds(uint32_t microseconds) {
  w_.now += microseconds;
  w_.pauses.push_back(microseconds);
}

// ---- Workspace and notifications ----------------------------------------------------------

std::optional<RunningApplication> SimWorkspace::frontmostApplication() {
  if (!w_.frontmost) return std::nullopt;
  const AppState* a = w_.app(*w_.frontmost);
  if (!a) return std::nullopt;
  return runningOf(*a);
}

std::vector<RunningApplication> SimWorkspace::runningApplications() {
  std::vector<RunningApplication> out;
  out.reserve(w_.apps.size());
  for (const AppState& a : w_.apps) out.push_back(runningOf(a));
  return out;
}

bool SimWorkspace::openURL(std::string_view url) {
  w_.openedURLs.emplace_back(url);
  return true;
}

ObserverToken SimWorkspace::addDidActivateApplicationObserver(ActivationBlock block) {
  if (!block) block = [](const std::optional<RunningApplication>&) {};
  auto token = std::make_shared<platform::ObserverObject>();
  w_.workspaceObservers.push_back({token, std::make_shared<ActivationBlock>(std::move(block))});
  return token;
}

void SimWorkspace::removeObserver(const ObserverToken& token) {
  std::erase_if(w_.workspaceObservers, [&](const auto& o) { return o.token == token; });
}

ObserverToken SimDistributedNotifications::addObserver(std::string_view name,
                                                       std::function<void()> block) {
  if (!block) block = [] {};
  auto token = std::make_shared<platform::ObserverObject>();
  w_.distributedObservers.push_back(
      {token, std::string(name), std::make_shared<std::function<void()>>(std::move(block))});
  return token;
}

void SimDistributedNotifications::removeObserver(const ObserverToken& token) {
  std::erase_if(w_.distributedObservers, [&](const auto& o) { return o.token == token; });
}

// ---- Input sources ------------------------------------------------------------------------

std::optional<std::vector<platform::InputSource>> SimInputSources::createInputSourceList(
    const platform::InputSourceFilter& filter, bool includeAllInstalled) {
  if (w_.faults.inputSourceListNil) return std::nullopt;
  std::vector<platform::InputSource> out;
  for (const InputSourceState& s : w_.sources) {
    // Without includeAllInstalled only enabled sources are candidates at all.
    if (!includeAllInstalled && !s.enabled) continue;
    if (filter.category && *filter.category != s.category) continue;
    if (filter.isEnabled && *filter.isEnabled != s.enabled) continue;
    if (filter.isSelectCapable && *filter.isSelectCapable != s.selectCapable) continue;
    out.push_back(std::make_shared<platform::InputSourceObject>(platform::InputSourceObject{s.id}));
  }
  return out;
}

std::optional<std::vector<std::optional<std::string>>> SimInputSources::languages(
    const platform::InputSource& source) {
  const InputSourceState* s = source ? w_.source(source->id) : nullptr;
  if (!s) return std::nullopt;
  return s->languages;
}

std::optional<std::string> SimInputSources::sourceID(const platform::InputSource& source) {
  const InputSourceState* s = source ? w_.source(source->id) : nullptr;
  if (!s) return std::nullopt;
  return s->id;
}

int32_t SimInputSources::select(const platform::InputSource& source) {
  constexpr int32_t kParamErr = -50;
  const InputSourceState* s = source ? w_.source(source->id) : nullptr;
  if (!s) return kParamErr;
  if (s->selectStatus != 0) return s->selectStatus;
  w_.selectedSource = s->id;
  return 0;
}

// ---- Login item, process info, log --------------------------------------------------------

int64_t SimLoginItems::status() {
  return w_.loginItem.status;
}

platform::LoginItemOutcome SimLoginItems::registerMainApp() {
  if (w_.loginItem.refuse) return {false, w_.loginItem.refusalDescription};
  w_.loginItem.status = platform::kSMAppServiceStatusEnabled;
  return {true, std::nullopt};
}

platform::LoginItemOutcome SimLoginItems::unregisterMainApp() {
  if (w_.loginItem.refuse) return {false, w_.loginItem.refusalDescription};
  w_.loginItem.status = platform::kSMAppServiceStatusNotRegistered;
  return {true, std::nullopt};
}

bool SimProcessInfo::environmentContains(std::string_view name) {
  // A name with a NUL in it cannot be in the environment (and must not be cut short).
  if (name.empty() || name.find('\0') != std::string_view::npos) return false;
  return std::getenv(std::string(name).c_str()) != nullptr;
}

int32_t SimProcessInfo::processIdentifier() {
  return w_.hostPid;
}

platform::OperatingSystemVersion SimProcessInfo::operatingSystemVersion() {
  return w_.osVersion;
}

void SimLog::write(std::string_view line) {
  w_.logLines.emplace_back(line);
}

// ---- World --------------------------------------------------------------------------------

World::World() : impl_(std::make_unique<Impl>()) {}
World::~World() = default;

platform::Accessibility& World::accessibility() {
  return impl_->accessibility;
}
platform::Events& World::events() {
  return impl_->events;
}
platform::Pasteboard& World::pasteboard() {
  return impl_->pasteboard;
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
  return impl_->inputSources;
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
  return std::exchange(impl_->pauses, {});
}

void World::addApplication(AppState app) {
  impl_->apps.push_back(std::move(app));
}

AppState* World::application(int32_t pid) {
  return impl_->app(pid);
}

void World::removeApplication(int32_t pid) {
  std::erase_if(impl_->apps, [pid](const AppState& a) { return a.pid == pid; });
  if (impl_->frontmost == pid) impl_->frontmost.reset();
}

void World::setFrontmost(std::optional<int32_t> pid) {
  impl_->frontmost = pid;
}

std::optional<int32_t> World::frontmost() const {
  return impl_->frontmost;
}

void World::activate(int32_t pid) {
  const AppState* a = impl_->app(pid);
  if (!a) return;
  impl_->frontmost = pid;
  std::optional<RunningApplication> info;
  if (!impl_->faults.activationWithoutApplication) info = runningOf(*a);
  for (const Impl::WorkspaceObserver& o : impl_->workspaceObservers) {
    impl_->enqueue(impl_->now, [block = o.block, info] { (*block)(info); });
  }
}

ElementState* World::focusedElement() {
  return impl_->frontmost ? impl_->focusedOf(*impl_->frontmost) : nullptr;
}

void World::setHostPid(int32_t pid) {
  impl_->hostPid = pid;
}

void World::setTrusted(bool trusted) {
  if (impl_->trusted == trusted) return;
  impl_->trusted = trusted;
  impl_->postDistributed("com.apple.accessibility.api");
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

void World::postDistributedNotification(const std::string& name) {
  impl_->postDistributed(name);
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

std::vector<std::string> World::takeOpenedURLs() {
  return std::exchange(impl_->openedURLs, {});
}

int World::observerCount() const {
  return static_cast<int>(impl_->workspaceObservers.size() + impl_->distributedObservers.size());
}

std::vector<InputSourceState>& World::inputSourceList() {
  return impl_->sources;
}

std::string World::selectedInputSource() const {
  return impl_->selectedSource;
}

void World::selectInputSourceById(const std::string& id) {
  impl_->selectedSource = id;
}

std::string World::selectedLayout() const {
  return impl_->layout();
}

LoginItemState& World::loginItem() {
  return impl_->loginItem;
}

void World::setOperatingSystemVersion(platform::OperatingSystemVersion version) {
  impl_->osVersion = version;
}

std::vector<std::string> World::takeLog() {
  return std::exchange(impl_->logLines, {});
}

WindowState& World::window() {
  return impl_->window;
}

Faults& World::faults() {
  return impl_->faults;
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
