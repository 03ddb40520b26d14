// The automation channel's own work, on the simulated system whose sleeps are virtual: what
// typing and Backspace cost beyond their fixed pauses, and how fast (and in how much memory) a
// large clipboard is saved and put back.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "bench/heap_counter.h"
#include "runner/automation/automation_handler.h"
#include "sim/world.h"

namespace {

using tandrel::AutomationHandler;

// Everything the posted events left behind, dropped outside the timed region.
void drain(benchmark::State& state, sim::World& world) {
  state.PauseTiming();
  world.runPending();
  world.takePosted();
  world.takePauses();
  state.ResumeTiming();
}

void BM_TypeText(benchmark::State& state) {
  sim::World world;
  AutomationHandler handler(world);
  std::u16string text;
  for (int64_t i = 0; i < state.range(0); ++i) {
    text.push_back(i % 7 == 6 ? u' ' : static_cast<char16_t>(u'а' + i % 32));
  }
  const int64_t chunks = (state.range(0) + 19) / 20;
  for (auto _ : state) {
    handler.typeText(text);
    drain(state, world);
  }
  state.counters["per_chunk"] = benchmark::Counter(
      static_cast<double>(chunks),
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_TypeText)->Arg(10000)->Unit(benchmark::kMicrosecond);

void BM_Backspace(benchmark::State& state) {
  sim::World world;
  AutomationHandler handler(world);
  for (auto _ : state) {
    handler.backspace(state.range(0));
    drain(state, world);
  }
  state.counters["per_key_pair"] = benchmark::Counter(
      static_cast<double>(state.range(0)),
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_Backspace)->Arg(1000)->Unit(benchmark::kMicrosecond);

// One corrected word ("ghbdtn" to "привет" in a sentence), with the virtual time the call holds
// the main thread for (its pauses and waits): in an AppKit field (range(0) 0), which takes the
// selected-text write at once, and in a Chromium page (1), where the span is typed and read back
// until the page shows it a frame later.
void BM_CorrectionVirtualTime(benchmark::State& state) {
  sim::World world;
  world.setTrusted(true);
  sim::AppState app;
  app.pid = 100;
  app.focused.emplace();
  if (state.range(0) == 1) app.focused->kind = sim::ElementKind::kChromium;
  world.addApplication(std::move(app));
  world.setFrontmost(100);
  AutomationHandler handler(world);
  sim::Micros held = 0;
  for (auto _ : state) {
    state.PauseTiming();
    sim::ElementState& field = *world.focusedElement();
    field.value = field.model = u"Hello ghbdtn world";
    field.selection = platform::AXRange{12, 0};
    const sim::Micros start = world.now();
    state.ResumeTiming();
    benchmark::DoNotOptimize(handler.axSetFocusedText(u"Hello привет world", 12, 0));
    state.PauseTiming();
    held += world.now() - start;
    world.advance(1000000);
    world.takePosted();
    world.takePauses();
    state.ResumeTiming();
  }
  state.counters["virtual_us"] =
      static_cast<double>(held) / static_cast<double>(std::max<int64_t>(state.iterations(), 1));
}
BENCHMARK(BM_CorrectionVirtualTime)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// Snapshot and restore of a clipboard of `range(0)` MiB in `range(1)` items of two types each, as
// an application copying large images offers them. The snapshot holds the pasteboard's own
// buffers, so the cost follows the number of items, not the bytes: "per_item" should stay flat as
// the items grow smaller, and bytes_per_second is the equivalent copying rate.
void BM_ClipboardSnapshotRestore(benchmark::State& state) {
  const size_t total = static_cast<size_t>(state.range(0)) << 20;
  const auto itemCount = static_cast<size_t>(state.range(1));
  const size_t each = total / (2 * itemCount);
  sim::World world;
  AutomationHandler handler(world);
  for (size_t item = 0; item < itemCount; ++item) {
    sim::PasteboardItemState contents;
    contents.types.emplace_back("public.tiff", platform::Bytes(each, static_cast<uint8_t>(item)));
    contents.types.emplace_back("public.png", platform::Bytes(each, static_cast<uint8_t>(~item)));
    world.pasteboardItems().push_back(std::move(contents));
  }
  const size_t before = bench::heap.liveBytes;
  bench::resetPeak();
  for (auto _ : state) {
    handler.saveClipboard();
    handler.restoreClipboard();
  }
  const double peak = static_cast<double>(bench::heap.peakBytes);
  const double growth = static_cast<double>(bench::heap.liveBytes) - static_cast<double>(before);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(total));
  // The whole heap at its highest, against the data: the clipboard itself is 1x.
  state.counters["peak_over_data"] = peak / static_cast<double>(total);
  state.counters["heap_growth_bytes"] = growth;
  state.counters["per_item"] = benchmark::Counter(
      static_cast<double>(itemCount),
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_ClipboardSnapshotRestore)
    ->Args({64, 4})
    ->Args({64, 8})
    ->Args({64, 32})
    ->Args({256, 8})
    ->Unit(benchmark::kMicrosecond);

}  // namespace
