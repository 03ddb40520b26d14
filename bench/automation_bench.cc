// The automation channel's own work, on the simulated system whose sleeps are virtual: what
// typing and Backspace cost beyond their fixed pauses, and how fast (and in how much memory) a
// large clipboard is saved and put back.

#include <benchmark/benchmark.h>
#include <malloc.h>

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

// Snapshot and restore of a clipboard of `range(0)` MiB in eight items of two types each, as an
// application copying a large image offers it. With `range(1)` set, the allocator keeps freed
// pages instead of handing them back to the system, which takes the kernel's page faults out of
// the figure and leaves the copying and moving.
void BM_ClipboardSnapshotRestore(benchmark::State& state) {
  if (state.range(1)) {
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
  }
  const size_t total = static_cast<size_t>(state.range(0)) << 20;
  const size_t each = total / 16;
  sim::World world;
  AutomationHandler handler(world);
  for (int item = 0; item < 8; ++item) {
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
  // The whole heap at its highest, against the data: the clipboard plus one snapshot is 2x.
  state.counters["peak_over_data"] = peak / static_cast<double>(total);
  state.counters["heap_growth_bytes"] = growth;
}
BENCHMARK(BM_ClipboardSnapshotRestore)->Args({64, 0})->Args({64, 1})->Unit(benchmark::kMillisecond);

}  // namespace
