// Arbitrary scripts for the simulated host: the input's first byte picks the sandbox flag, the
// rest is split into script lines. Whatever the lines say, the player must not crash, leak or
// hang, every call must be answered exactly once (a double or missing answer is reported as a
// programming error, which aborts here), and every output line must be one JSON object.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <string_view>

#include "channel/local_messenger.h"
#include "channel/plugin_registrar.h"
#include "channel/programming_error.h"
#include "runner/tandrel_plugin.h"
#include "sim/world.h"
#include "tools/tandrel_sim.h"
#include "velloc/velloc_plugin.h"

namespace {

// Long scripts add nothing the fuzzer cannot reach with short ones, and a day of virtual
// time per line adds up.
constexpr int kMaxLines = 48;

[[noreturn]] void fail(std::string_view what) {
  std::fprintf(stderr, "tandrel_sim_fuzz: %.*s\n", static_cast<int>(what.size()), what.data());
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  static const bool installed = [] {
    channel::setProgrammingErrorHandler([](std::string_view what) { fail(what); });
    return true;
  }();
  (void)installed;

  const bool sandboxed = (data[0] & 1) != 0;
  std::string_view script(reinterpret_cast<const char*>(data + 1), size - 1);

  sim::World world;
  channel::LocalMessenger messenger;
  channel::PluginRegistry registry(messenger);
  tandrel::TandrelPlugin::installChannels(messenger, world, sandboxed);
  velloc::VellocPlugin::registerWithRegistrar(registry.registrarForPlugin("VellocPlugin"), world);

  std::ostringstream out;
  {
    simhost::ScriptRunner runner({world, messenger, &registry, nullptr}, out);
    int64_t number = 0;
    size_t start = 0;
    while (start <= script.size() && number < kMaxLines) {
      size_t end = script.find('\n', start);
      if (end == std::string_view::npos) end = script.size();
      runner.runLine(script.substr(start, end - start), ++number);
      start = end + 1;
    }
  }

  std::istringstream lines(out.str());
  for (std::string line; std::getline(lines, line);) {
    simhost::Json parsed = simhost::Json::parse(line, nullptr, /*allow_exceptions=*/false);
    if (!parsed.is_object() || parsed.empty()) fail("an output line is not a JSON object");
  }
  return 0;
}
