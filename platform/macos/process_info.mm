#include "platform/process_info.h"

#import <Foundation/Foundation.h>

#include "platform/macos/conversions.h"
#include "platform/macos/guard.h"
#include "platform/macos/services.h"

namespace platform {

struct ActivityObject {
  id<NSObject> token;
};

}  // namespace platform

namespace platform::macos {
namespace {

// The core names the options by value; they must be the SDK's.
static_assert(kNSActivitySuddenTerminationDisabled == NSActivitySuddenTerminationDisabled);
static_assert(kNSActivityAutomaticTerminationDisabled == NSActivityAutomaticTerminationDisabled);
static_assert(kNSActivityIdleSystemSleepDisabled == NSActivityIdleSystemSleepDisabled);
static_assert(kNSActivityUserInitiatedAllowingIdleSystemSleep ==
              NSActivityUserInitiatedAllowingIdleSystemSleep);

class MacProcessInfo final : public ProcessInfo {
 public:
  bool environmentContains(std::string_view name) override {
    assertMainThread();
    return [[NSProcessInfo processInfo].environment objectForKey:toNSString(name)] != nil;
  }

  int32_t processIdentifier() override {
    assertMainThread();
    return static_cast<int32_t>([NSProcessInfo processInfo].processIdentifier);
  }

  OperatingSystemVersion operatingSystemVersion() override {
    assertMainThread();
    const NSOperatingSystemVersion version = [NSProcessInfo processInfo].operatingSystemVersion;
    return {static_cast<int64_t>(version.majorVersion), static_cast<int64_t>(version.minorVersion),
            static_cast<int64_t>(version.patchVersion)};
  }

  Activity beginActivity(uint64_t options, std::string_view reason) override {
    assertMainThread();
    id<NSObject> token = orOnException<id<NSObject>>(nil, [&] {
      return [[NSProcessInfo processInfo] beginActivityWithOptions:(NSActivityOptions)options
                                                            reason:toNSString(reason)];
    });
    if (!token) return nullptr;
    return std::make_shared<ActivityObject>(ActivityObject{token});
  }

  void endActivity(const Activity& activity) override {
    assertMainThread();
    if (!activity) return;
    ignoringException([&] { [[NSProcessInfo processInfo] endActivity:activity->token]; });
  }

  std::string mainBundlePath() override {
    assertMainThread();
    return toUtf8([NSBundle mainBundle].bundlePath);
  }
};

}  // namespace

std::unique_ptr<ProcessInfo> makeProcessInfo() {
  return std::make_unique<MacProcessInfo>();
}

}  // namespace platform::macos
