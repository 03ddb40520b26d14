// Other keyboard-layout switching utilities that are running: they fight the corrections, so the
// Flutter side warns about them. Recognised by keywords in the bundle identifier or display name.

#include <array>

#include "runner/automation/automation_handler.h"
#include "text/text.h"

namespace tandrel {

namespace {

constexpr std::array<std::string_view, 6> switcherKeywords{"punto",     "caramba", "keyswitcher",
                                                           "everylang", "mahou",   "dotswitcher"};

bool containsKeyword(std::string_view lowered) {
  for (std::string_view keyword : switcherKeywords) {
    if (lowered.find(keyword) != std::string_view::npos) return true;
  }
  return false;
}

}  // namespace

std::vector<std::string> AutomationHandler::runningLayoutSwitchers(platform::Platform& platform) {
  const int32_t self = platform.processInfo().processIdentifier();
  std::vector<std::string> found;
  for (const platform::RunningApplication& app : platform.workspace().runningApplications()) {
    if (app.processIdentifier == self) continue;
    std::string id = text::lowercase(app.bundleIdentifier.value_or(std::string()));
    const std::string& name = app.localizedName ? *app.localizedName : std::string();
    if (!containsKeyword(id) && !containsKeyword(text::lowercase(name))) continue;
    // The name as the system shows it; the identifier stands in when there is none.
    found.push_back(name.empty() ? std::move(id) : name);
  }
  return found;
}

}  // namespace tandrel
