#include "platform/login_items.h"

#import <Foundation/Foundation.h>
#import <ServiceManagement/ServiceManagement.h>

#include "platform/macos/conversions.h"
#include "platform/macos/guard.h"
#include "platform/macos/services.h"

namespace platform::macos {
namespace {

// ServiceManagement is linked weakly and SMAppService exists from macOS 13 on. The core checks
// the system version before it calls any of these, so they are the only places that touch the
// class.
class MacLoginItems final : public LoginItems {
 public:
  API_AVAILABLE(macos(13.0)) int64_t status() override {
    assertMainThread();
    return orOnException(kSMAppServiceStatusNotFound,
                         [] { return static_cast<int64_t>(SMAppService.mainAppService.status); });
  }

  API_AVAILABLE(macos(13.0)) LoginItemOutcome registerMainApp() override {
    assertMainThread();
    return orOnException(LoginItemOutcome{}, [] {
      NSError* error = nil;
      const BOOL succeeded = [SMAppService.mainAppService registerAndReturnError:&error];
      return outcome(succeeded, error);
    });
  }

  API_AVAILABLE(macos(13.0)) LoginItemOutcome unregisterMainApp() override {
    assertMainThread();
    return orOnException(LoginItemOutcome{}, [] {
      NSError* error = nil;
      const BOOL succeeded = [SMAppService.mainAppService unregisterAndReturnError:&error];
      return outcome(succeeded, error);
    });
  }

  API_AVAILABLE(macos(13.0)) void openSystemSettingsLoginItems() override {
    assertMainThread();
    ignoringException([] { [SMAppService openSystemSettingsLoginItems]; });
  }

 private:
  static LoginItemOutcome outcome(BOOL succeeded, NSError* error) {
    LoginItemOutcome result;
    result.succeeded = succeeded;
    if (error != nil) {
      result.errorDescription = toUtf8(error.localizedDescription);
      result.errorDomain = toUtf8(error.domain);
      result.errorCode = static_cast<int64_t>(error.code);
    }
    return result;
  }
};

}  // namespace

std::unique_ptr<LoginItems> makeLoginItems() {
  return std::make_unique<MacLoginItems>();
}

}  // namespace platform::macos
