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
#include "runner/main_flutter_window.h"
#include "sim/world.h"
#include "tools/json_mapping.h"

namespace simhost {

// Script lines and output keep their keys in the order written.
using Json = nlohmann::ordered_json;
static_assert(std::is_same_v<Json, jsonmap::Json>);

// The main window on the simulation: its state is the world's window; the engine's messenger
// is an in-process LocalMessenger, the plug-in registry one on top of it.
class SimWindowHost : public tandrel::MainWindowHost {
 public:
  // Installing the Flutter view makes the window take the view's size, as a content view
  // controller does; start-up must put the frame back.
  static constexpr double kFlutterViewWidth = 1280;
  static constexpr double kFlutterViewHeight = 720;

  SimWindowHost(sim::World& world, channel::LocalMessenger& messenger,
                channel::PluginRegistry& registry)
      : world_(world), messenger_(messenger), registry_(registry) {}

  void createFlutterViewController() override;
  tandrel::Frame frame() override;
  void setContentViewController() override;
  void setFrame(tandrel::Frame frame, bool display) override;
  void registerGeneratedPlugins() override;
  channel::BinaryMessenger& engineMessenger() override { return messenger_; }
  void superAwakeFromNib() override {}
  void orderOut() override;

  bool viewControllerCreated() const { return viewControllerCreated_; }

 private:
  sim::World& world_;
  channel::LocalMessenger& messenger_;
  channel::PluginRegistry& registry_;
  bool viewControllerCreated_ = false;
};

// A script line that cannot be carried out; reported as {"scriptError": ..., "line": N}.
class ScriptError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// What the script player drives. The registry and the window are optional (the "registrars"
// view and the "close" action need them).
struct SimContext {
  sim::World& world;
  channel::LocalMessenger& messenger;
  channel::PluginRegistry* registry = nullptr;
  tandrel::MainWindowHost* window = nullptr;
};

class ScriptRunner {
 public:
  // Takes over the messenger's outgoing side: everything the native side sends is printed.
  ScriptRunner(SimContext context, std::ostream& out);
  ~ScriptRunner();
  ScriptRunner(const ScriptRunner&) = delete;
  ScriptRunner& operator=(const ScriptRunner&) = delete;

  // One script line (1-based number, for error reports). Blank lines and "#" comments are
  // skipped. Afterwards the main loop runs whatever is due now.
  void runLine(std::string_view line, int64_t lineNumber);
  // Every line of `in`; the exit status: 0, or 1 when any line was a script error.
  int run(std::istream& in);

  bool hadScriptErrors() const { return scriptErrors_ > 0; }

 private:
  void dispatch(const Json& line);
  void call(const Json& line);
  void stream(const Json& line, const std::string& verb);
  void send(const Json& line);
  void advance(const Json& line);
  void show(const Json& line);
  void schedule(const Json& line, const std::string& verb);

  // Delivers an encoded call and prints the reply when it comes, shaped by `print`.
  void deliver(const std::string& channel, std::span<const uint8_t> message,
               std::function<void(std::span<const uint8_t>)> print);
  void printOutgoing(const std::string& channel, std::span<const uint8_t> message);
  void print(const Json& object);

  SimContext context_;
  std::ostream& out_;
  int64_t scriptErrors_ = 0;
  int64_t lineNumber_ = 0;  // of the line being played
  // Replies that arrive after the runner is gone are dropped, not printed.
  std::shared_ptr<bool> alive_;
};

// Parsing and inspecting the world (tandrel_sim_world.cc, tandrel_sim_show.cc); each throws
// ScriptError on input it cannot use and changes nothing then.
void applyWorld(sim::World& world, const Json& settings);
void checkWorld(sim::World& world, const Json& settings);  // applyWorld's checks, changing nothing
void applyUserAction(SimContext& context, const Json& action);
Json showWhat(SimContext& context, std::string_view what);

// Small readers shared by the parts of the player.
std::string hexOf(std::span<const uint8_t> bytes);
std::vector<uint8_t> bytesFromHex(std::string_view hex);  // throws ScriptError

// Full start-up of the program on `world`: the window's awakeFromNib with the plug-ins and the
// host channels registered through the process's singletons.
void startUp(SimWindowHost& host);

}  // namespace simhost
