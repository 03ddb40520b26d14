// Memory and time of a long scenario on the simulated host: 1,000 "backspace" calls of 10,000
// keys each (10^7 keystrokes, 2 x 10^7 posted events) played line by line through the script
// player, as tandrel-sim plays a file. The world's records keep totals and a bounded window, so
// peak memory should depend on the window, not on the number of keys.
//
// Reported counters: peakHeapMB (heap high-water mark during the run), maxRssMB (the process's
// peak resident set so far; run one benchmark at a time for a clean figure), keys.
//

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <ostream>
#include <streambuf>
#include <string>

#include "bench/heap_counter.h"
#include "channel/local_messenger.h"
#include "channel/plugin_registrar.h"
#include "runner/tandrel_plugin.h"
#include "sim/world.h"
#include "tools/tandrel_sim.h"

namespace {

constexpr int64_t kKeysPerCall = 10000;

class NullBuffer : public std::streambuf {
 protected:
  int overflow(int c) override { return c; }
};

double megabytes(size_t bytes) {
  return static_cast<double>(bytes) / (1024.0 * 1024.0);
}

double maxRssMegabytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;  // kilobytes on Linux
}

void BM_BackspaceScript(benchmark::State& state) {
  const int64_t calls = state.range(0);
  for (auto _ : state) {
    state.PauseTiming();
    bench::resetPeak();
    {
      sim::World world;
      channel::LocalMessenger messenger;
      channel::PluginRegistry registry(messenger);
      tandrel::TandrelPlugin::installChannels(messenger, world, false);
      NullBuffer buffer;
      std::ostream out(&buffer);
      simhost::ScriptRunner runner({world, messenger, &registry, nullptr}, out);
      int64_t line = 0;
      runner.runLine(
          R"({"world": {"trusted": true, "postAccess": true, "apps": [{"pid": 501, "frontmost": true, "focused": {"value": "x"}}]}})",
          ++line);
      runner.runLine(R"({"listen": "tandrel/key_events"})", ++line);
      const std::string call =
          R"({"call": "tandrel/automation", "method": "backspace", "args": {"count": )" +
          std::to_string(kKeysPerCall) + "}}";
      state.ResumeTiming();
      for (int64_t i = 0; i < calls; ++i) {
        runner.runLine(call, ++line);
      }
      runner.runLine(R"({"show": "records"})", ++line);
      state.PauseTiming();
      if (runner.hadScriptErrors()) state.SkipWithError("the script had errors");
    }
    state.ResumeTiming();
  }
  state.counters["keys"] = static_cast<double>(calls * kKeysPerCall);
  state.counters["peakHeapMB"] = megabytes(bench::heap.peakBytes);
  state.counters["maxRssMB"] = maxRssMegabytes();
}

BENCHMARK(BM_BackspaceScript)
    ->ArgName("calls")
    ->Arg(10)
    ->Arg(100)
    ->Arg(1000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
}  // namespace
