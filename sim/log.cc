// The simulated unified log: lines are kept for inspection.

#include "sim/log.h"

#include "sim/world_impl.h"

namespace sim {

void SimLog::write(std::string_view line) {
  w_.logLines.push(std::string(line));
  w_.note("log", std::string(line));
}

}  // namespace sim
