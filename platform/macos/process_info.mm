#include "platform/process_info.h"

#import <Foundation/Foundation.h>

#include "platform/macos/conversions.h"
#include "platform/macos/guard.h"
#include "platform/macos/services.h"

namespace platform::macos {
namespace {

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
};

}  // namespace

std::unique_ptr<ProcessInfo> makeProcessInfo() {
  return std::make_unique<MacProcessInfo>();
}

}  // namespace platform::macos
