// The simulated host: the start-up of the real program on the simulated macOS, and a script
// player that acts as the Flutter side (channel calls as real bytes) and as the user and the
// system (key presses, focus changes, permission grants, time passing). One JSON object per
// line in, one JSON object per line out, in the order things happen.
#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <nlohmann/json.hpp>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "channel/local_messenger.h"
#include "channel/plugin_registrar.h"
#include "sim/app/runner_model.h"
#include "sim/world.h"
#include "tools/json_mapping.h"
#include "tools/script_player.h"

namespace simhost {

// The main window on the simulation: its state is the world's window; the plug-in registry is
// one on the engine's messenger, an in-process LocalMessenger.
class SimWindowHost : public sim::app::MainWindowHost {
 public:
  // Installing the Flutter view makes the window take the view's size, as a content view
  // controller does; start-up must put the frame back.
  static constexpr double kFlutterViewWidth = 1280;
  static constexpr double kFlutterViewHeight = 720;

  SimWindowHost(sim::World& world, channel::PluginRegistry& registry)
      : world_(world), registry_(registry) {}

  void createFlutterViewController() override;
  sim::app::Frame frame() override;
  void setContentViewController() override;
  void setFrame(sim::app::Frame frame, bool display) override;
  void registerGeneratedPlugins() override;
  void superAwakeFromNib() override {}
  void orderOut() override;

  bool viewControllerCreated() const { return viewControllerCreated_; }

 private:
  sim::World& world_;
  channel::PluginRegistry& registry_;
  bool viewControllerCreated_ = false;
};

// What the script player drives. The registry and the window are optional (the "registrars"
// view and the "close" action need them).
struct SimContext {
  sim::World& world;
  channel::LocalMessenger& messenger;
  channel::PluginRegistry* registry = nullptr;
  sim::app::MainWindowHost* window = nullptr;
};

// The player's world, user, advance and show verbs on the simulation.
class SimBackend final : public ScriptBackend {
 public:
  explicit SimBackend(SimContext context) : context_(context) {}
  void applyWorld(const Json& settings) override;
  void applyUserAction(const Json& action) override;
  void advance(double seconds) override;
  Json show(std::string_view what) override;
  void runPending() override;
  void schedule(double seconds, bool fromNow, bool isWorld, Json change,
                LateError lateError) override;
  void note(std::string_view kind, std::string_view text) override;

 private:
  SimContext context_;
};

// The script player (script_player.h, shared with tandrel-probe) on the simulation.
class ScriptRunner {
 public:
  // Takes over the messenger's outgoing side: everything the native side sends is printed.
  ScriptRunner(SimContext context, std::ostream& out);

  void runLine(std::string_view line, int64_t lineNumber) { player_.runLine(line, lineNumber); }
  int run(std::istream& in) { return player_.run(in); }
  bool hadScriptErrors() const { return player_.hadScriptErrors(); }

 private:
  SimBackend backend_;
  ScriptPlayer player_;
};

// Parsing and inspecting the world (tandrel_sim_world.cc, tandrel_sim_show.cc); each throws
// ScriptError on input it cannot use and changes nothing then.
void applyWorld(sim::World& world, const Json& settings);
void checkWorld(sim::World& world, const Json& settings);  // applyWorld's checks, changing nothing
void applyUserAction(SimContext& context, const Json& action);
Json showWhat(SimContext& context, std::string_view what);

// Full start-up of the program on `world`: the window's awakeFromNib with the plug-ins, this
// package's (the host channels on the process's singletons) among them.
void startUp(SimWindowHost& host);

}  // namespace simhost
