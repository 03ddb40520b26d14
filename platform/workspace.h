#pragma once
// NSWorkspace: running applications, the frontmost one, opening URLs, and the activation
// notification of its notification center; NSDistributedNotificationCenter.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// NSRunningApplication as plain data.
struct RunningApplication {
  int32_t processIdentifier = 0;
  std::optional<std::string> bundleIdentifier;
  std::optional<std::string> localizedName;
  friend bool operator==(const RunningApplication&, const RunningApplication&) = default;
};

struct ObserverObject;  // the opaque token -addObserverForName:... returns
using ObserverToken = std::shared_ptr<ObserverObject>;

class Workspace {
 public:
  virtual ~Workspace() = default;

  [[nodiscard]] virtual std::optional<RunningApplication> frontmostApplication() = 0;
  [[nodiscard]] virtual std::vector<RunningApplication> runningApplications() = 0;
  // -openURL: with [NSURL URLWithString:url].
  [[nodiscard]] virtual bool openURL(std::string_view url) = 0;

  // NSWorkspaceDidActivateApplicationNotification on the workspace's notification center, object
  // nil, main operation queue. The block receives the NSRunningApplication found in the user info
  // under NSWorkspaceApplicationKey, or nullopt when there is none.
  using ActivationBlock = std::function<void(const std::optional<RunningApplication>&)>;
  [[nodiscard]] virtual ObserverToken addDidActivateApplicationObserver(ActivationBlock block) = 0;
  virtual void removeObserver(const ObserverToken& token) = 0;
};

// NSDistributedNotificationCenter.defaultCenter, object nil, main operation queue.
class DistributedNotifications {
 public:
  virtual ~DistributedNotifications() = default;
  [[nodiscard]] virtual ObserverToken addObserver(std::string_view name,
                                                  std::function<void()> block) = 0;
  virtual void removeObserver(const ObserverToken& token) = 0;
};

}  // namespace platform
