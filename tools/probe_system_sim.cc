// The probe's system hooks on the simulated macOS, the process's platform off Apple.
#include <cmath>

#include "sim/world.h"
#include "tools/tandrel_probe.h"

namespace probe {
namespace {

void runMainLoop(double seconds) {
  sim::World& world = sim::processWorld();
  if (seconds > 0) world.advance(static_cast<sim::Micros>(std::llround(seconds * 1e6)));
  world.runPending();
}

std::optional<std::string> selectedInputSourceID() {
  return sim::processWorld().selectedInputSource();
}

}  // namespace

SystemHooks processSystemHooks() {
  return {runMainLoop, selectedInputSourceID};
}

}  // namespace probe
