#pragma once
// The seam's contract suite: what every backend's services must do, as the portable core relies
// on it, written only against the abstract interfaces. Each backend's test binary links
// contract_test.cc and defines makeContractHarness() for its platform; the cases that need a user
// (granting permissions, typing) or knobs only a simulation has live with that backend's tests.

#include <memory>

#include "platform/platform.h"

namespace platform_contract {

class Harness {
 public:
  virtual ~Harness() = default;
  // A platform in a neutral state for one test.
  virtual platform::Platform& platform() = 0;
  // Lets the main loop run for `seconds` (virtual time in a simulation, real time on a device).
  virtual void runLoop(double seconds) = 0;
  // Seconds on the same clock, from any origin.
  virtual double now() = 0;
};

// Defined by the backend under test; called once per test.
std::unique_ptr<Harness> makeContractHarness();

}  // namespace platform_contract
