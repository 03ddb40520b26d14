// Cost of one tapped event on its way to the Flutter side, in its two parts:
// - the tap's thread: the callback alone (drop the host's own events, copy the record, hand it to
//   the main thread). The whole session waits for this part.
// - the main thread: a record taken from the hand-off, turned into the event map, encoded by the
//   event sink, and the bytes handed to the messenger.
// Each benchmark also reports the heap allocations made per event. Run with repetitions to read
// the medians: --benchmark_repetitions=9 --benchmark_report_aggregates_only=true.

#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <new>
#include <span>
#include <string>
#include <vector>

#include "bench/heap_counter.h"
#include "channel/event_channel.h"
#include "channel/local_messenger.h"
#include "channel/standard_codec.h"
#include "platform/delegating_platform.h"
#include "runner/automation/automation_handler.h"
#include "runner/keytap/key_event_tap_handler.h"
#include "sim/world.h"

namespace {

using tandrel::KeyEventTapHandler;

// The main loop's signal as the OS has it: raising it only marks the source (CFRunLoopSourceSignal)
// and the main loop later calls its perform. Everything else is the simulation's.
class SignalledMainLoop final : public platform::DelegatingMainLoop {
 public:
  using DelegatingMainLoop::DelegatingMainLoop;
  platform::SignalSource addSignalSource(std::function<void()> perform) override {
    perform_ = std::move(perform);
    return DelegatingMainLoop::addSignalSource([] {});
  }
  void signal(const platform::SignalSource&) override { raised_ = true; }
  // The main loop's turn.
  void runSignalled() {
    if (raised_) {
      raised_ = false;
      perform_();
    }
  }

 private:
  std::function<void()> perform_;
  bool raised_ = false;
};

class BenchPlatform final : public platform::DelegatingPlatform {
 public:
  BenchPlatform() : DelegatingPlatform(world) {}
  platform::MainLoop& mainLoop() override { return loop; }

  sim::World world;
  SignalledMainLoop loop{world.mainLoop()};
};

// A trusted world with a handler listening on "tandrel/key_events" through a messenger whose
// Flutter side only counts the bytes it is handed.
struct Listening {
  Listening() {
    p.world.setTrusted(true);
    p.world.runPending();
    messenger.setOutgoing([this](const std::string&, std::span<const uint8_t> bytes) {
      benchmark::DoNotOptimize(bytes.data());
      bytesSent += bytes.size();
    });
    handler = KeyEventTapHandler::create(p, false);
    channel::EventChannel(messenger, std::string(tandrel::kKeyEventsChannel))
        .setStreamHandler(handler);
    const auto reply = messenger.deliver(std::string(tandrel::kKeyEventsChannel),
                                         channel::encodeMethodCall({"listen", channel::Value()}));
    if (!reply || *reply != channel::encodeSuccessEnvelope(channel::Value())) std::abort();
    userInfo = handler->tapUserInfo();
  }

  platform::Event keyEvent(uint16_t keycode, const std::u16string& units,
                           platform::EventFlags flags = 0) {
    auto event = p.world.events().createKeyboardEvent(nullptr, keycode, true);
    p.world.events().keyboardSetUnicodeString(event, units.size(), units.data());
    p.world.events().setFlags(event, flags);
    return event;
  }
  void tap(platform::EventType type, const platform::Event& event) {
    benchmark::DoNotOptimize(KeyEventTapHandler::tapCallback(type, event.get(), userInfo));
  }

  BenchPlatform p;
  channel::LocalMessenger messenger;
  std::shared_ptr<KeyEventTapHandler> handler;
  void* userInfo = nullptr;
  size_t bytesSent = 0;
};

// Records the hand-off takes before the main thread drains it, here and in the main part.
constexpr int64_t kBatch = 1024;

// The tap's thread: the callback alone. The main thread drains between batches, outside the
// timing, so the hand-off never fills up.
void tapSide(benchmark::State& state, platform::EventType type, const platform::Event& event) {
  Listening l;
  l.tap(type, event);
  l.p.loop.runSignalled();
  uint64_t drainAllocations = 0;
  int64_t inBatch = 0;
  const uint64_t before = bench::heap.allocations;
  for (auto _ : state) {
    l.tap(type, event);
    if (++inBatch == kBatch) {
      state.PauseTiming();
      const uint64_t drainBefore = bench::heap.allocations;
      l.p.loop.runSignalled();
      drainAllocations += bench::heap.allocations - drainBefore;
      inBatch = 0;
      state.ResumeTiming();
    }
  }
  const uint64_t allocations = bench::heap.allocations - before - drainAllocations;
  state.counters["allocs/event"] =
      static_cast<double>(allocations) / static_cast<double>(state.iterations());
}

// The main thread: a batch of records drained into bytes for the messenger; time per event.
void mainSide(benchmark::State& state, platform::EventType type, const platform::Event& event) {
  Listening l;
  // Warm the reused buffers first: the steady state is what every later key press costs.
  l.tap(type, event);
  l.p.loop.runSignalled();
  const size_t bytesBefore = l.bytesSent;
  uint64_t allocations = 0;
  for (auto _ : state) {
    state.PauseTiming();
    for (int64_t i = 0; i < kBatch; ++i) l.tap(type, event);
    const uint64_t before = bench::heap.allocations;
    state.ResumeTiming();
    l.p.loop.runSignalled();
    allocations += bench::heap.allocations - before;
  }
  const double events = static_cast<double>(state.iterations() * kBatch);
  state.counters["ns/event"] =
      benchmark::Counter(static_cast<double>(state.iterations() * kBatch),
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["allocs/event"] = static_cast<double>(allocations) / events;
  state.counters["bytes/event"] = static_cast<double>(l.bytesSent - bytesBefore) / events;
}

struct Case {
  platform::EventType type;
  uint16_t keycode;
  std::u16string units;
  platform::EventFlags flags = 0;
  bool own = false;  // from the host's own marked source
};

platform::Event eventFor(Listening& l, const Case& c) {
  if (!c.own) return l.keyEvent(c.keycode, c.units, c.flags);
  auto source = l.p.world.events().createSource(platform::kCGEventSourceStateHIDSystemState);
  l.p.world.events().sourceSetUserData(source, tandrel::kOwnEventMarker);
  return l.p.world.events().createKeyboardEvent(source, c.keycode, true);
}

const Case kKeyPress{platform::kCGEventKeyDown, 5, u"g"};
// Eight units take the characters past the short-string buffer.
const Case kEightUnits{platform::kCGEventKeyDown, 5,
                       u"\u4e2d\u6587\u4e2d\u6587\u4e2d\u6587\u4e2d\u6587"};
const Case kModifier{platform::kCGEventFlagsChanged, 56, u"", platform::kCGEventFlagMaskShift};
const Case kClick{platform::kCGEventLeftMouseDown, 0, u""};
// The host's own typing: dropped on the tap's thread after one field read.
const Case kOwn{platform::kCGEventKeyDown, 5, u"", 0, true};

void BM_TapCallback(benchmark::State& state, const Case& c) {
  Listening events;  // only to make the event
  tapSide(state, c.type, eventFor(events, c));
}
void BM_MainThread(benchmark::State& state, const Case& c) {
  Listening events;
  mainSide(state, c.type, eventFor(events, c));
}

BENCHMARK_CAPTURE(BM_TapCallback, KeyPress, kKeyPress);
BENCHMARK_CAPTURE(BM_TapCallback, KeyPressEightUnits, kEightUnits);
BENCHMARK_CAPTURE(BM_TapCallback, ModifierChange, kModifier);
BENCHMARK_CAPTURE(BM_TapCallback, Click, kClick);
BENCHMARK_CAPTURE(BM_TapCallback, OwnEventDropped, kOwn);
BENCHMARK_CAPTURE(BM_MainThread, KeyPress, kKeyPress);
BENCHMARK_CAPTURE(BM_MainThread, KeyPressEightUnits, kEightUnits);
BENCHMARK_CAPTURE(BM_MainThread, ModifierChange, kModifier);
BENCHMARK_CAPTURE(BM_MainThread, Click, kClick);

}  // namespace
