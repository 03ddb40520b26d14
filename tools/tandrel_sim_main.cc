// tandrel-sim [FILE]: the host program started on the simulated macOS, then driven by the
// JSON-lines script in FILE (or standard input). See "tandrel-sim" in README.md.
#include <fstream>
#include <iostream>

#include "channel/local_messenger.h"
#include "channel/plugin_registrar.h"
#include "sim/world.h"
#include "tools/tandrel_sim.h"

int main(int argc, char** argv) {
  if (argc > 2) {
    std::cerr << "usage: tandrel-sim [FILE]\n";
    return 2;
  }
  std::ifstream file;
  if (argc == 2) {
    file.open(argv[1]);
    if (!file) {
      std::cerr << "tandrel-sim: cannot open " << argv[1] << "\n";
      return 2;
    }
  }
  std::istream& in = argc == 2 ? static_cast<std::istream&>(file) : std::cin;

  sim::World& world = sim::processWorld();
  channel::LocalMessenger messenger;
  channel::PluginRegistry registry(messenger);
  simhost::SimWindowHost window(world, registry);
  // The player prints from the first message on, so it is in place before start-up.
  simhost::ScriptRunner runner({world, messenger, &registry, &window}, std::cout);
  simhost::startUp(window);
  world.runPending();
  return runner.run(in);
}
