// Start-up of the host on the simulation: the main window's awakeFromNib with the eight
// plug-ins and the five host channels, as tandrel-sim runs it; and one script line through
// the player, the unit of work of the simulated host.

#include <benchmark/benchmark.h>

#include <ostream>
#include <sstream>
#include <streambuf>

#include "channel/local_messenger.h"
#include "channel/plugin_registrar.h"
#include "sim/world.h"
#include "tools/tandrel_sim.h"

namespace {

// The very first start-up of the process also builds the three handler singletons. It can
// happen once only, so it is one iteration, and it must be registered first. Every later one
// is a further engine of the process, which gets handlers of its own.
void BM_FirstStartUp(benchmark::State& state) {
  sim::World& world = sim::processWorld();
  for (auto _ : state) {
    channel::LocalMessenger messenger;
    channel::PluginRegistry registry(messenger);
    simhost::SimWindowHost window(world, registry);
    simhost::startUp(window);
    benchmark::DoNotOptimize(registry.registrarNames());
  }
}
BENCHMARK(BM_FirstStartUp)->Iterations(1)->Unit(benchmark::kMicrosecond);

// Every later start-up: a fresh engine messenger and plug-in registry each time.
void BM_StartUp(benchmark::State& state) {
  sim::World& world = sim::processWorld();
  for (auto _ : state) {
    channel::LocalMessenger messenger;
    channel::PluginRegistry registry(messenger);
    simhost::SimWindowHost window(world, registry);
    world.window().visible = true;
    simhost::startUp(window);
    benchmark::DoNotOptimize(world.window().visible);
  }
}
BENCHMARK(BM_StartUp)->Unit(benchmark::kMicrosecond);

class NullBuffer : public std::streambuf {
 protected:
  int overflow(int c) override { return c; }
};

// One "call" line: parse, encode, deliver, handle, decode, print.
void BM_ScriptCallLine(benchmark::State& state) {
  sim::World& world = sim::processWorld();
  channel::LocalMessenger messenger;
  channel::PluginRegistry registry(messenger);
  simhost::SimWindowHost window(world, registry);
  simhost::startUp(window);
  NullBuffer buffer;
  std::ostream out(&buffer);
  simhost::ScriptRunner runner({world, messenger, &registry, &window}, out);
  int64_t line = 0;
  for (auto _ : state) {
    runner.runLine(R"({"call": "tandrel/permissions", "method": "check"})", ++line);
  }
}
BENCHMARK(BM_ScriptCallLine);

}  // namespace
