#pragma once
// The simulated workspace (running applications, activation, wake and session notices) and
// the distributed notification center.

#include <functional>

#include "sim/world.h"

namespace platform {

struct ObserverObject {
  int unused = 0;
};

}  // namespace platform

namespace sim {

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

}  // namespace sim
