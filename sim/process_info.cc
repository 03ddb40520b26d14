// The simulated process information: environment, pid, OS version.

#include "sim/process_info.h"

#include <cstdlib>
#include <string>

#include "sim/world_impl.h"

namespace sim {

bool SimProcessInfo::environmentContains(std::string_view name) {
  w_.requireMainThread("environmentContains");
  // A name with a NUL in it cannot be in the environment (and must not be cut short).
  if (name.empty() || name.find('\0') != std::string_view::npos) return false;
  return std::getenv(std::string(name).c_str()) != nullptr;
}

int32_t SimProcessInfo::processIdentifier() {
  w_.requireMainThread("processIdentifier");
  return w_.hostPid;
}

platform::OperatingSystemVersion SimProcessInfo::operatingSystemVersion() {
  w_.requireMainThread("operatingSystemVersion");
  return w_.osVersion;
}

std::string SimProcessInfo::mainBundlePath() {
  w_.requireMainThread("mainBundlePath");
  return w_.bundlePath();
}

}  // namespace sim

namespace sim {

platform::Activity SimProcessInfo::beginActivity(uint64_t options, std::string_view reason) {
  w_.requireMainThread("beginActivity");
  auto activity = std::make_shared<platform::ActivityObject>();
  activity->options = options;
  activity->reason = std::string(reason);
  activity->since = w_.now;
  w_.activities.push_back(activity);
  w_.note("activity", "begin: " + activity->reason);
  return activity;
}

void SimProcessInfo::endActivity(const platform::Activity& activity) {
  w_.requireMainThread("endActivity");
  if (std::erase(w_.activities, activity) > 0) w_.note("activity", "end: " + activity->reason);
}

}  // namespace sim
