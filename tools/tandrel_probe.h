// tandrel-probe: the script player of tandrel-sim on the process's own platform instead of a
// simulated world. On a Mac that is the real system, which a script can only watch: the verbs
// that set up the world or act as the user answer a script error, "advance" lets real time pass
// with the main run loop running, and "show" offers the views the real system can answer. On
// other systems the process's platform is the simulated macOS, so the same player, backend and
// scripts run in the test suite.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "channel/local_messenger.h"
#include "channel/plugin_registrar.h"
#include "platform/platform.h"
#include "tools/script_player.h"

namespace probe {

using simhost::Json;

inline constexpr std::string_view kNotOnRealSystem = "not available on a real system";

// What the probe needs of the system beyond the seam, defined once per backend
// (probe_system_macos.mm, probe_system_sim.cc).
struct SystemHooks {
  // Runs the main run loop for `seconds`; 0 runs what is due now without waiting.
  void (*runMainLoop)(double seconds);
  // The identifier of the selected keyboard input source; nullopt when none can be read.
  std::optional<std::string> (*selectedInputSourceID)();
};
SystemHooks processSystemHooks();

class ProbeBackend final : public simhost::ScriptBackend {
 public:
  ProbeBackend(platform::Platform& platform, SystemHooks hooks)
      : platform_(platform), hooks_(hooks) {}

  void applyWorld(const Json& settings) override;
  void applyUserAction(const Json& action) override;
  void advance(double seconds) override;
  // "pasteboard" (as tandrel-sim prints it), "inputSource" ({"id"}), "loginItem" ({"status"},
  // null before macOS 13).
  Json show(std::string_view what) override;
  void runPending() override;
  // Scheduled world changes and user actions are set-up too: not available.
  void schedule(double seconds, bool fromNow, bool isWorld, Json change,
                LateError lateError) override;
  // The real system keeps no timeline.
  void note(std::string_view, std::string_view) override {}

 private:
  platform::Platform& platform_;
  SystemHooks hooks_;
};

// The general pasteboard through the seam, in tandrel-sim's "pasteboard" view form.
Json pasteboardView(platform::Pasteboard& pasteboard);

// This package's plug-in (the input-source channel and the host's five channels) on the
// registry's messenger, served by the process's handler singletons, as the application's start-up
// registers it (without a window and without the outside Flutter plug-ins).
void installHost(channel::PluginRegistry& registry);

}  // namespace probe
