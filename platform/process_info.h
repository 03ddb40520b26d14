#pragma once
// NSProcessInfo.processInfo, and where the application's bundle runs from.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace platform {

// NSActivityOptions.
inline constexpr uint64_t kNSActivitySuddenTerminationDisabled = 1ULL << 14;
inline constexpr uint64_t kNSActivityAutomaticTerminationDisabled = 1ULL << 15;
inline constexpr uint64_t kNSActivityIdleSystemSleepDisabled = 1ULL << 20;
inline constexpr uint64_t kNSActivityUserInitiated = 0x00FFFFFFULL;
inline constexpr uint64_t kNSActivityUserInitiatedAllowingIdleSystemSleep =
    kNSActivityUserInitiated & ~kNSActivityIdleSystemSleepDisabled;

// The token of a process activity (what beginActivityWithOptions:reason: answers).
struct ActivityObject;
using Activity = std::shared_ptr<ActivityObject>;

struct OperatingSystemVersion {
  int64_t majorVersion = 0;
  int64_t minorVersion = 0;
  int64_t patchVersion = 0;
  friend bool operator==(const OperatingSystemVersion&, const OperatingSystemVersion&) = default;
};

class ProcessInfo {
 public:
  virtual ~ProcessInfo() = default;
  // Whether `environment` holds the name (its value, even empty, is not looked at).
  [[nodiscard]] virtual bool environmentContains(std::string_view name) = 0;
  [[nodiscard]] virtual int32_t processIdentifier() = 0;
  [[nodiscard]] virtual OperatingSystemVersion operatingSystemVersion() = 0;
  // -beginActivityWithOptions:reason:; null when the system answers nil.
  [[nodiscard]] virtual Activity beginActivity(uint64_t options, std::string_view reason) = 0;
  // -endActivity: with the token; a null one is ignored.
  virtual void endActivity(const Activity& activity) = 0;
  // NSBundle.mainBundle.bundlePath: where the application runs from (a translocated copy runs
  // from a random read-only folder, not where the user put it).
  [[nodiscard]] virtual std::string mainBundlePath() = 0;
};

}  // namespace platform
