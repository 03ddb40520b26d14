// Cost of one tapped event on its way to the Flutter side: the tap callback, the translation into
// an event map, the event sink's encoding, and the bytes handed to the messenger. Each benchmark
// also reports the heap allocations made per event.

#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>
#include <span>
#include <string>
#include <vector>

#include "bench/heap_counter.h"
#include "channel/event_channel.h"
#include "channel/local_messenger.h"
#include "channel/standard_codec.h"
#include "runner/automation/automation_handler.h"
#include "runner/keytap/key_event_tap_handler.h"
#include "sim/world.h"

namespace {

using tandrel::KeyEventTapHandler;

// A trusted world with a handler listening on "tandrel/key_events" through a messenger whose
// Flutter side only counts the bytes it is handed.
struct Listening {
  Listening() {
    world.setTrusted(true);
    world.runPending();
    messenger.setOutgoing([this](const std::string&, std::span<const uint8_t> bytes) {
      benchmark::DoNotOptimize(bytes.data());
      bytesSent += bytes.size();
    });
    handler = KeyEventTapHandler::create(world, false);
    channel::EventChannel(messenger, std::string(tandrel::kKeyEventsChannel))
        .setStreamHandler(handler);
    const auto reply = messenger.deliver(std::string(tandrel::kKeyEventsChannel),
                                         channel::encodeMethodCall({"listen", channel::Value()}));
    if (!reply || *reply != channel::encodeSuccessEnvelope(channel::Value())) std::abort();
  }

  platform::Event keyEvent(uint16_t keycode, const std::u16string& units,
                           platform::EventFlags flags = 0) {
    auto event = world.events().createKeyboardEvent(nullptr, keycode, true);
    world.events().keyboardSetUnicodeString(event, units.size(), units.data());
    world.events().setFlags(event, flags);
    return event;
  }

  sim::World world;
  channel::LocalMessenger messenger;
  std::shared_ptr<KeyEventTapHandler> handler;
  size_t bytesSent = 0;
};

void runEvents(benchmark::State& state, platform::EventType type, const platform::Event& event,
               Listening& l) {
  // Warm the reused buffers first: the steady state is what every later key press costs.
  KeyEventTapHandler::tapCallback(type, event.get(), l.handler.get());
  const size_t bytesBefore = l.bytesSent;
  const uint64_t allocationsBefore = bench::heap.allocations;
  for (auto _ : state) {
    benchmark::DoNotOptimize(KeyEventTapHandler::tapCallback(type, event.get(), l.handler.get()));
  }
  const auto events = static_cast<double>(state.iterations());
  state.counters["allocs/event"] =
      static_cast<double>(bench::heap.allocations - allocationsBefore) / events;
  state.counters["bytes/event"] = static_cast<double>(l.bytesSent - bytesBefore) / events;
}

void BM_KeyPress(benchmark::State& state) {
  Listening l;
  const auto event = l.keyEvent(5, u"g");
  runEvents(state, platform::kCGEventKeyDown, event, l);
}
BENCHMARK(BM_KeyPress);

// Eight units take the characters past the short-string buffer.
void BM_KeyPressEightUnits(benchmark::State& state) {
  Listening l;
  const auto event = l.keyEvent(5, u"\u4e2d\u6587\u4e2d\u6587\u4e2d\u6587\u4e2d\u6587");
  runEvents(state, platform::kCGEventKeyDown, event, l);
}
BENCHMARK(BM_KeyPressEightUnits);

void BM_ModifierChange(benchmark::State& state) {
  Listening l;
  const auto event = l.keyEvent(56, u"", platform::kCGEventFlagMaskShift);
  runEvents(state, platform::kCGEventFlagsChanged, event, l);
}
BENCHMARK(BM_ModifierChange);

void BM_Click(benchmark::State& state) {
  Listening l;
  const auto event = l.keyEvent(0, u"");
  runEvents(state, platform::kCGEventLeftMouseDown, event, l);
}
BENCHMARK(BM_Click);

// The host's own typing: dropped after one field read.
void BM_OwnEventDropped(benchmark::State& state) {
  Listening l;
  auto source = l.world.events().createSource(platform::kCGEventSourceStateHIDSystemState);
  l.world.events().sourceSetUserData(source, tandrel::kOwnEventMarker);
  const auto event = l.world.events().createKeyboardEvent(source, 5, true);
  runEvents(state, platform::kCGEventKeyDown, event, l);
}
BENCHMARK(BM_OwnEventDropped);

}  // namespace
