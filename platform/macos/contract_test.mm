// The seam's contract suite (platform/contract_test.cc) on the real macOS services. Run it on a
// Mac first: it shows the adapters do what the core relies on. The pasteboard cases run on a
// private pasteboard, so what the user copied stays on the general one.
#include "platform/contract_test.h"

#import <AppKit/AppKit.h>

#include <chrono>

#include "platform/delegating_platform.h"
#include "platform/macos/services.h"

namespace platform_contract {
namespace {

// The process's services, but a uniquely named pasteboard of the test's own instead of the
// general one; it is released when the test ends.
class PrivatePasteboardPlatform final : public platform::DelegatingPlatform {
 public:
  PrivatePasteboardPlatform()
      : DelegatingPlatform(platform::processPlatform()),
        board_([NSPasteboard pasteboardWithUniqueName]),
        pasteboard_(platform::macos::makePasteboard(board_)) {}
  ~PrivatePasteboardPlatform() override { [board_ releaseGlobally]; }

  platform::Pasteboard& pasteboard() override { return *pasteboard_; }

 private:
  NSPasteboard* board_;
  std::unique_ptr<platform::Pasteboard> pasteboard_;
};

class MacHarness final : public Harness {
 public:
  platform::Platform& platform() override { return platform_; }

  // The test runs on the main thread, so timers and the main dispatch queue are served here.
  void runLoop(double seconds) override {
    NSDate* until = [NSDate dateWithTimeIntervalSinceNow:seconds];
    while (until.timeIntervalSinceNow > 0) {
      [[NSRunLoop currentRunLoop] runMode:NSDefaultRunLoopMode beforeDate:until];
    }
  }

  double now() override {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }

 private:
  PrivatePasteboardPlatform platform_;
};

}  // namespace

std::unique_ptr<Harness> makeContractHarness() {
  return std::make_unique<MacHarness>();
}

}  // namespace platform_contract
