// Cost of one "select" on "velloc/input_source" and one "isEnabled" on "tandrel/autostart",
// through the channel bytes on the simulated system.

#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "channel/local_messenger.h"
#include "channel/method_channel.h"
#include "channel/plugin_registrar.h"
#include "channel/standard_codec.h"
#include "runner/autostart/handle_autostart.h"
#include "sim/world.h"
#include "velloc/velloc_plugin.h"

namespace {

std::vector<uint8_t> selectCall(const char* lang) {
  return channel::encodeMethodCall({"select", channel::ValueMap{{"lang", lang}}});
}

// Alternates between the two languages so every call really switches.
void runSelect(benchmark::State& state, sim::World& world) {
  channel::LocalMessenger messenger;
  channel::PluginRegistrar registrar(messenger);
  velloc::VellocPlugin::registerWithRegistrar(registrar, world);
  const std::vector<uint8_t> calls[] = {selectCall("RU"), selectCall("en")};
  size_t i = 0;
  for (auto _ : state) {
    auto reply = messenger.deliver("velloc/input_source", calls[i++ & 1]);
    benchmark::DoNotOptimize(reply);
  }
}

void BM_SelectDefaultSources(benchmark::State& state) {
  sim::World world;
  runSelect(state, world);
}
BENCHMARK(BM_SelectDefaultSources);

// Many enabled sources, the wanted ones last and listing the code only in second place, so the
// whole list is walked every time.
void BM_SelectManySources(benchmark::State& state) {
  sim::World world;
  auto& sources = world.inputSourceList();
  sources.clear();
  for (int i = 0; i < state.range(0); ++i) {
    sim::InputSourceState s;
    s.id = "filler" + std::to_string(i);
    s.languages = std::vector<std::optional<std::string>>{"de", "fr", "it"};
    sources.push_back(std::move(s));
  }
  for (const char* lang : {"ru", "en"}) {
    sim::InputSourceState s;
    s.id = std::string("wanted-") + lang;
    s.languages = std::vector<std::optional<std::string>>{"uk", lang};
    sources.push_back(std::move(s));
  }
  runSelect(state, world);
}
BENCHMARK(BM_SelectManySources)->Arg(8)->Arg(64);

void BM_AutostartIsEnabled(benchmark::State& state) {
  sim::World world;
  channel::LocalMessenger messenger;
  channel::MethodChannel autostart(messenger, "tandrel/autostart");
  autostart.setMethodCallHandler(
      [&world](const channel::MethodCall& call, std::unique_ptr<channel::MethodResult> result) {
        tandrel::TandrelPlugin::handleAutostart(world, call, std::move(result));
      });
  const std::vector<uint8_t> call = channel::encodeMethodCall({"isEnabled", channel::Value()});
  for (auto _ : state) {
    auto reply = messenger.deliver("tandrel/autostart", call);
    benchmark::DoNotOptimize(reply);
  }
}
BENCHMARK(BM_AutostartIsEnabled);

}  // namespace
