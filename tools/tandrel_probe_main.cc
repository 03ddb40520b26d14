// tandrel-probe [FILE]: the host's channels on this system's platform, driven by the JSON-lines
// script in FILE (or standard input). See "tandrel-probe" in README.md.
#include <fstream>
#include <iostream>

#include "channel/local_messenger.h"
#include "channel/plugin_registrar.h"
#include "platform/platform.h"
#include "tools/script_player.h"
#include "tools/tandrel_probe.h"

int main(int argc, char** argv) {
  if (argc > 2) {
    std::cerr << "usage: tandrel-probe [FILE]\n";
    return 2;
  }
  std::ifstream file;
  if (argc == 2) {
    file.open(argv[1]);
    if (!file) {
      std::cerr << "tandrel-probe: cannot open " << argv[1] << "\n";
      return 2;
    }
  }
  std::istream& in = argc == 2 ? static_cast<std::istream&>(file) : std::cin;

  channel::LocalMessenger messenger;
  channel::PluginRegistry registry(messenger);
  probe::ProbeBackend backend(platform::processPlatform(), probe::processSystemHooks());
  // The player prints from the first message on, so it is in place before the host starts.
  simhost::ScriptPlayer player(messenger, backend, std::cout);
  probe::installHost(registry);
  backend.runPending();
  return player.run(in);
}
