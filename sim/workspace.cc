// The simulated workspace (running applications, activation notifications, opened URLs) and
// distributed notification center.

#include "sim/workspace.h"

#include "sim/world_impl.h"

namespace sim {

using platform::ObserverToken;
using platform::RunningApplication;

namespace {

RunningApplication runningOf(const AppState& app) {
  return RunningApplication{app.pid, app.bundleIdentifier, app.localizedName};
}

}  // namespace

std::optional<RunningApplication> SimWorkspace::frontmostApplication() {
  w_.requireMainThread("frontmostApplication");
  if (w_.workspaceSnapshot) return w_.workspaceSnapshot->front;
  if (!w_.frontmost) return std::nullopt;
  const AppState* a = w_.app(*w_.frontmost);
  if (!a) return std::nullopt;
  return runningOf(*a);
}

std::vector<RunningApplication> SimWorkspace::runningApplications() {
  w_.requireMainThread("runningApplications");
  if (w_.workspaceSnapshot) return w_.workspaceSnapshot->running;
  std::vector<RunningApplication> out;
  out.reserve(w_.apps.size());
  for (const AppState& a : w_.apps) out.push_back(runningOf(a));
  return out;
}

bool SimWorkspace::openURL(std::string_view url) {
  w_.requireMainThread("openURL");
  w_.openedURLs.push(std::string(url));
  w_.note("openURL", std::string(url));
  return true;
}

ObserverToken SimWorkspace::addDidActivateApplicationObserver(ActivationBlock block) {
  w_.requireMainThread("addDidActivateApplicationObserver");
  if (!block) block = [](const std::optional<RunningApplication>&) {};
  auto token = std::make_shared<platform::ObserverObject>();
  w_.workspaceObservers.push_back({token, std::make_shared<ActivationBlock>(std::move(block))});
  return token;
}

ObserverToken SimWorkspace::addObserver(Notification name, std::function<void()> block) {
  w_.requireMainThread("addObserver");
  if (!block) block = [] {};
  auto token = std::make_shared<platform::ObserverObject>();
  w_.notificationObservers.push_back(
      {token, name, std::make_shared<std::function<void()>>(std::move(block))});
  return token;
}

void SimWorkspace::removeObserver(const ObserverToken& token) {
  w_.requireMainThread("removeObserver");
  std::erase_if(w_.workspaceObservers, [&](const auto& o) { return o.token == token; });
  std::erase_if(w_.notificationObservers, [&](const auto& o) { return o.token == token; });
}

void World::Impl::postWorkspace(platform::Workspace::Notification name) {
  for (const NotificationObserver& o : notificationObservers) {
    if (o.name == name) enqueue(now, [block = o.block] { (*block)(); });
  }
}

ObserverToken SimDistributedNotifications::addObserver(std::string_view name,
                                                       platform::SuspensionBehavior behavior,
                                                       std::function<void()> block) {
  w_.requireMainThread("addObserver");
  if (!block) block = [] {};
  auto token = std::make_shared<platform::ObserverObject>();
  w_.distributedObservers.push_back({token, std::string(name), behavior,
                                     std::make_shared<std::function<void()>>(std::move(block))});
  return token;
}

void SimDistributedNotifications::removeObserver(const ObserverToken& token) {
  w_.requireMainThread("removeObserver");
  std::erase_if(w_.distributedObservers, [&](const auto& o) { return o.token == token; });
}

}  // namespace sim
