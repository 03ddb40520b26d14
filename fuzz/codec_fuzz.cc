// Arbitrary bytes through the standard codec and through a method channel and an event
// channel. Whatever decodes must re-encode to bytes that decode to the same bytes again;
// every message delivered must be answered exactly once, with zero bytes or an envelope.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "channel/event_channel.h"
#include "channel/local_messenger.h"
#include "channel/method_channel.h"
#include "channel/programming_error.h"
#include "channel/standard_codec.h"
#include "text/text.h"

namespace {

using channel::ChannelError;
using channel::Value;

void require(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "codec_fuzz: %s\n", what);
  std::abort();
}

void checkMessage(std::span<const uint8_t> bytes) {
  const auto v = channel::decodeMessage(bytes);
  if (!v) return;
  const auto once = channel::encodeMessage(*v);
  const auto again = channel::decodeMessage(once);
  require(again.has_value(), "re-encoded message does not decode");
  require(channel::encodeMessage(*again) == once, "message does not round-trip");
}

void checkCall(std::span<const uint8_t> bytes) {
  const auto call = channel::decodeMethodCall(bytes);
  if (!call) return;
  const auto once = channel::encodeMethodCall(*call);
  const auto again = channel::decodeMethodCall(once);
  require(again.has_value(), "re-encoded call does not decode");
  require(again->method == call->method, "method name changed");
  require(channel::encodeMethodCall(*again) == once, "call does not round-trip");
}

std::vector<uint8_t> encodeEnvelope(const std::variant<Value, ChannelError>& e) {
  if (const auto* v = std::get_if<Value>(&e)) return channel::encodeSuccessEnvelope(*v);
  return channel::encodeErrorEnvelope(std::get<ChannelError>(e));
}

void checkEnvelope(std::span<const uint8_t> bytes) {
  const auto envelope = channel::decodeEnvelope(bytes);
  if (!envelope) return;
  const auto once = encodeEnvelope(*envelope);
  const auto again = channel::decodeEnvelope(once);
  require(again.has_value(), "re-encoded envelope does not decode");
  require(encodeEnvelope(*again) == once, "envelope does not round-trip");
}

// Arbitrary bytes as a string value: what goes out must decode, with the text repaired
// and the double after it still aligned.
void checkRawString(std::span<const uint8_t> bytes) {
  const std::string raw(bytes.begin(), bytes.end());
  const auto decoded = channel::decodeMessage(channel::encodeMessage(channel::ValueList{raw, 0.5}));
  require(decoded.has_value(), "encoded raw string does not decode");
  const auto* list = decoded->get_if<channel::ValueList>();
  require(list != nullptr && list->size() == 2, "raw string list changed shape");
  require((*list)[0] == Value(text::toValidUtf8(raw)), "raw string not repaired as expected");
  require((*list)[1] == Value(0.5), "value after a raw string misread");
}

// Replies and events must be the zero-byte reply or a well-formed envelope.
void requireReplyShape(std::span<const uint8_t> bytes) {
  require(bytes.empty() || channel::decodeEnvelope(bytes).has_value(), "malformed reply");
}

// Echoes its arguments back as events, and refuses to listen when they are the string
// "no".
class EchoStream : public channel::StreamHandler {
 public:
  std::optional<ChannelError> onListen(const Value& args,
                                       std::unique_ptr<channel::EventSink> sink) override {
    if (const auto* s = args.get_if<std::string>(); s != nullptr && *s == "no") {
      return ChannelError{"no_permission", "refused", args};
    }
    sink_ = std::move(sink);
    sink_->success(args);
    sink_->error({"event_error", std::nullopt, args});
    return std::nullopt;
  }
  std::optional<ChannelError> onCancel(const Value&) override {
    if (sink_) sink_->endOfStream();
    sink_.reset();
    return std::nullopt;
  }

 private:
  std::unique_ptr<channel::EventSink> sink_;
};

void checkChannels(std::span<const uint8_t> bytes) {
  channel::LocalMessenger messenger;
  messenger.setOutgoing(
      [](const std::string&, std::span<const uint8_t> event) { requireReplyShape(event); });

  channel::MethodChannel methods(messenger, "fuzz/methods");
  methods.setMethodCallHandler(
      [](const channel::MethodCall& call, std::unique_ptr<channel::MethodResult> result) {
        switch (call.method.size() % 3) {
          case 0:
            result->success(call.arguments);
            break;
          case 1:
            result->error("fuzz_error", call.method, call.arguments);
            break;
          default:
            result->notImplemented();
            break;
        }
      });
  channel::EventChannel events(messenger, "fuzz/events");
  events.setStreamHandler(std::make_shared<EchoStream>());

  for (const char* name : {"fuzz/methods", "fuzz/events", "fuzz/events"}) {
    int replies = 0;
    messenger.deliver(name, bytes, [&replies](std::span<const uint8_t> reply) {
      ++replies;
      requireReplyShape(reply);
    });
    require(replies == 1, "message not answered exactly once");
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // In a fuzz run a programming error is a finding.
  channel::setProgrammingErrorHandler([](std::string_view what) {
    std::fprintf(stderr, "programming error: %.*s\n", static_cast<int>(what.size()), what.data());
    std::abort();
  });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> bytes(data, size);
  checkMessage(bytes);
  checkCall(bytes);
  checkEnvelope(bytes);
  checkRawString(bytes);
  checkChannels(bytes);
  return 0;
}
