// The seam's contract suite (platform/contract_test.cc) on the real macOS services. Run it on a
// Mac first: it shows the adapters do what the core relies on. It writes to the clipboard.
#include "platform/contract_test.h"

#import <Foundation/Foundation.h>

namespace platform_contract {
namespace {

class MacHarness final : public Harness {
 public:
  platform::Platform& platform() override { return platform::processPlatform(); }

  // The test runs on the main thread, so timers and the main dispatch queue are served here.
  void runLoop(double seconds) override {
    NSDate* until = [NSDate dateWithTimeIntervalSinceNow:seconds];
    while (until.timeIntervalSinceNow > 0) {
      [[NSRunLoop currentRunLoop] runMode:NSDefaultRunLoopMode beforeDate:until];
    }
  }
};

}  // namespace

std::unique_ptr<Harness> makeContractHarness() {
  return std::make_unique<MacHarness>();
}

}  // namespace platform_contract
