// The seam's contract suite, run against the simulated world.

#include "platform/contract_test.h"
#include "sim/world.h"

namespace platform_contract {
namespace {

// Trusted, as the Mac suite runs from a terminal with Accessibility.
class SimHarness final : public Harness {
 public:
  SimHarness() {
    world_.setTrusted(true);
    world_.runPending();
  }
  platform::Platform& platform() override { return world_; }
  void runLoop(double seconds) override { world_.advance(static_cast<sim::Micros>(seconds * 1e6)); }
  double now() override { return static_cast<double>(world_.now()) / 1e6; }

 private:
  sim::World world_;
};

}  // namespace

std::unique_ptr<Harness> makeContractHarness() {
  return std::make_unique<SimHarness>();
}

}  // namespace platform_contract
