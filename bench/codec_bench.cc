// Standard codec costs on the paths that matter: the key event map sent on every key
// press, a method call carrying a 1 KiB string, and a 1 MiB byte list.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "channel/event_channel.h"
#include "channel/local_messenger.h"
#include "channel/standard_codec.h"

namespace {

using channel::Value;
using channel::ValueMap;

Value keyEvent() {
  return ValueMap{{"type", "keyDown"}, {"keycode", 5},   {"repeat", false}, {"chars", "g"},
                  {"control", false},  {"shift", false}, {"alt", false},    {"meta", false}};
}

void BM_EncodeKeyEvent(benchmark::State& state) {
  const Value event = keyEvent();
  std::vector<uint8_t> buffer;
  for (auto _ : state) {
    channel::encodeSuccessEnvelope(event, buffer);
    benchmark::DoNotOptimize(buffer.data());
  }
}
BENCHMARK(BM_EncodeKeyEvent);

void BM_EncodeKeyEventFreshBuffer(benchmark::State& state) {
  const Value event = keyEvent();
  for (auto _ : state) benchmark::DoNotOptimize(channel::encodeMessage(event));
}
BENCHMARK(BM_EncodeKeyEventFreshBuffer);

// Building the map alone, for comparison with the send path below.
void BM_BuildKeyEvent(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(keyEvent());
}
BENCHMARK(BM_BuildKeyEvent);

void BM_DecodeKeyEvent(benchmark::State& state) {
  const std::vector<uint8_t> bytes = channel::encodeMessage(keyEvent());
  for (auto _ : state) benchmark::DoNotOptimize(channel::decodeMessage(bytes));
}
BENCHMARK(BM_DecodeKeyEvent);

// The whole per-key-press path: build the map, encode it into the sink's buffer, hand it
// to the messenger.
class Keeper : public channel::StreamHandler {
 public:
  std::optional<channel::ChannelError> onListen(const Value&,
                                                std::unique_ptr<channel::EventSink> s) override {
    sink = std::move(s);
    return std::nullopt;
  }
  std::optional<channel::ChannelError> onCancel(const Value&) override { return std::nullopt; }
  std::unique_ptr<channel::EventSink> sink;
};

void BM_SendKeyEvent(benchmark::State& state) {
  channel::LocalMessenger messenger;
  std::size_t sent = 0;
  messenger.setOutgoing(
      [&sent](const std::string&, std::span<const uint8_t> b) { sent += b.size(); });
  auto keeper = std::make_shared<Keeper>();
  channel::EventChannel(messenger, "tandrel/key_events").setStreamHandler(keeper);
  messenger.deliver("tandrel/key_events", channel::encodeMethodCall({"listen", Value()}));
  int keycode = 0;
  for (auto _ : state) {
    keeper->sink->success(ValueMap{{"type", "keyDown"},
                                   {"keycode", keycode++ & 127},
                                   {"repeat", false},
                                   {"chars", "g"},
                                   {"control", false},
                                   {"shift", false},
                                   {"alt", false},
                                   {"meta", false}});
  }
  benchmark::DoNotOptimize(sent);
}
BENCHMARK(BM_SendKeyEvent);

channel::MethodCall callWith1KiB() {
  return {"typeText", ValueMap{{"text", std::string(1024, 'x')}}};
}

void BM_EncodeCall1KiB(benchmark::State& state) {
  const channel::MethodCall call = callWith1KiB();
  for (auto _ : state) benchmark::DoNotOptimize(channel::encodeMethodCall(call));
  state.SetBytesProcessed(state.iterations() * 1024);
}
BENCHMARK(BM_EncodeCall1KiB);

void BM_DecodeCall1KiB(benchmark::State& state) {
  const std::vector<uint8_t> bytes = channel::encodeMethodCall(callWith1KiB());
  for (auto _ : state) benchmark::DoNotOptimize(channel::decodeMethodCall(bytes));
  state.SetBytesProcessed(state.iterations() * 1024);
}
BENCHMARK(BM_DecodeCall1KiB);

constexpr std::size_t kMiB = 1 << 20;

void BM_EncodeBytes1MiB(benchmark::State& state) {
  const Value bytes = std::vector<uint8_t>(kMiB, 0x5a);
  std::vector<uint8_t> buffer;
  for (auto _ : state) {
    buffer.clear();
    channel::encodeValue(bytes, buffer);
    benchmark::DoNotOptimize(buffer.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kMiB));
}
BENCHMARK(BM_EncodeBytes1MiB);

void BM_DecodeBytes1MiB(benchmark::State& state) {
  const std::vector<uint8_t> bytes = channel::encodeMessage(std::vector<uint8_t>(kMiB, 0x5a));
  for (auto _ : state) benchmark::DoNotOptimize(channel::decodeMessage(bytes));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kMiB));
}
BENCHMARK(BM_DecodeBytes1MiB);

}  // namespace
