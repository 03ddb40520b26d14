#pragma once
// ServiceManagement: SMAppService.mainAppService (macOS 13 and later only; callers check the
// system version first).

#include <cstdint>
#include <optional>
#include <string>

namespace platform {

// SMAppServiceStatus.
inline constexpr int64_t kSMAppServiceStatusNotRegistered = 0;
inline constexpr int64_t kSMAppServiceStatusEnabled = 1;
inline constexpr int64_t kSMAppServiceStatusRequiresApproval = 2;
inline constexpr int64_t kSMAppServiceStatusNotFound = 3;

// What -registerAndReturnError: / -unregisterAndReturnError: report.
struct LoginItemOutcome {
  bool succeeded = false;
  // The returned NSError's localizedDescription, domain and code; the first two nullopt (and the
  // code 0) when no error object came back.
  std::optional<std::string> errorDescription;
  std::optional<std::string> errorDomain;
  int64_t errorCode = 0;
};

class LoginItems {
 public:
  virtual ~LoginItems() = default;
  [[nodiscard]] virtual int64_t status() = 0;
  [[nodiscard]] virtual LoginItemOutcome registerMainApp() = 0;
  [[nodiscard]] virtual LoginItemOutcome unregisterMainApp() = 0;
  // +[SMAppService openSystemSettingsLoginItems]: System Settings opens at Login Items.
  virtual void openSystemSettingsLoginItems() = 0;
};

}  // namespace platform
