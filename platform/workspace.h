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
  // NSWorkspaceDidWakeNotification / NSWorkspaceSessionDidBecomeActiveNotification on the same
  // center, object nil, main operation queue.
  enum class Notification { kDidWake, kSessionDidBecomeActive };
  [[nodiscard]] virtual ObserverToken addObserver(Notification name,
                                                  std::function<void()> block) = 0;
  virtual void removeObserver(const ObserverToken& token) = 0;
};

// NSNotificationSuspensionBehavior: what the distributed center does with a notification for an
// observer while delivery is suspended (AppKit suspends it whenever the application is not
// active).
enum class SuspensionBehavior : uint32_t {
  kDrop = 1,                // not queued
  kCoalesce = 2,            // only the last one is queued
  kHold = 3,                // all are queued
  kDeliverImmediately = 4,  // delivered at once, after what was queued
};

// NSDistributedNotificationCenter.defaultCenter, object nil, delivered on the main thread.
class DistributedNotifications {
 public:
  virtual ~DistributedNotifications() = default;
  // -addObserver:selector:name:object:suspensionBehavior: with an observer object whose selector
  // calls `block`.
  [[nodiscard]] virtual ObserverToken addObserver(std::string_view name,
                                                  SuspensionBehavior behavior,
                                                  std::function<void()> block) = 0;
  virtual void removeObserver(const ObserverToken& token) = 0;
};

}  // namespace platform
