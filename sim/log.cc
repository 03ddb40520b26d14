// The simulated unified log: lines are kept for inspection.

#include "sim/world_impl.h"

namespace sim {

void SimLog::write(std::string_view line) {
  w_.logLines.emplace_back(line);
}

}  // namespace sim
