#include "channel/event_channel.h"

#include <cstdint>
#include <utility>
#include <vector>

namespace channel {
namespace {

constexpr const char* kListen = "listen";
constexpr const char* kCancel = "cancel";

// Lives as long as the handler installed on the messenger; sinks reach it weakly so a sink
// that outlives its channel or messenger is silent instead of dangling.
struct StreamState {
  StreamState(BinaryMessenger& m, std::string n, std::shared_ptr<StreamHandler> h)
      : messenger(m), name(std::move(n)), handler(std::move(h)) {}

  BinaryMessenger& messenger;
  const std::string name;
  const std::shared_ptr<StreamHandler> handler;
  bool active = false;
  uint64_t generation = 0;  // one per listen, so a sink from an earlier stream stays silent
};

class ChannelEventSink : public EventSink {
 public:
  ChannelEventSink(const std::shared_ptr<StreamState>& state, uint64_t generation)
      : state_(state), generation_(generation) {}

  // One buffer per sink, reused for every event: no allocation per key press.
  void success(const Value& event) override {
    const auto state = live();
    if (!state) return;
    encodeSuccessEnvelope(event, buffer_);
    state->messenger.send(state->name, buffer_);
  }

  void error(const ChannelError& e) override {
    const auto state = live();
    if (!state) return;
    encodeErrorEnvelope(e, buffer_);
    state->messenger.send(state->name, buffer_);
  }

  void endOfStream() override {
    const auto state = live();
    if (!state) return;
    ended_ = true;
    state->messenger.send(state->name, {});
  }

 private:
  std::shared_ptr<StreamState> live() const {
    if (ended_) return nullptr;
    auto state = state_.lock();
    if (!state || !state->active || state->generation != generation_) return nullptr;
    return state;
  }

  std::weak_ptr<StreamState> state_;
  uint64_t generation_;
  bool ended_ = false;
  std::vector<uint8_t> buffer_;
};

void replyWith(const BinaryMessenger::Reply& reply, const std::optional<ChannelError>& error) {
  if (!reply) return;
  reply(error ? encodeErrorEnvelope(*error) : encodeSuccessEnvelope(Value()));
}

void handleMessage(const std::shared_ptr<StreamState>& state, std::span<const uint8_t> message,
                   const BinaryMessenger::Reply& reply) {
  const std::optional<MethodCall> call = decodeMethodCall(message);
  if (call && call->method == kListen) {
    if (state->active) {
      // The Flutter side listened again without cancelling: end the old stream first. Its
      // error, if any, has nobody to go to.
      state->active = false;
      (void)state->handler->onCancel(Value());
    }
    // Like the embeddings, the stream counts as active even when the handler refuses it,
    // so the cancel the Flutter side sends next reaches the handler and succeeds.
    state->active = true;
    ++state->generation;
    auto sink = std::make_unique<ChannelEventSink>(state, state->generation);
    const std::shared_ptr<StreamHandler> handler = state->handler;
    replyWith(reply, handler->onListen(call->arguments, std::move(sink)));
  } else if (call && call->method == kCancel) {
    if (!state->active) {
      if (reply) reply(encodeErrorEnvelope({"error", "No active stream to cancel", Value()}));
      return;
    }
    state->active = false;
    const std::shared_ptr<StreamHandler> handler = state->handler;
    replyWith(reply, handler->onCancel(call->arguments));
  } else if (reply) {
    reply({});
  }
}

}  // namespace

EventChannel::EventChannel(BinaryMessenger& messenger, std::string name)
    : messenger_(messenger), name_(std::move(name)) {}

void EventChannel::setStreamHandler(std::shared_ptr<StreamHandler> handler) {
  if (!handler) {
    messenger_.setMessageHandler(name_, nullptr);
    return;
  }
  auto state = std::make_shared<StreamState>(messenger_, name_, std::move(handler));
  messenger_.setMessageHandler(
      name_, [state](std::span<const uint8_t> message, BinaryMessenger::Reply reply) {
        handleMessage(state, message, reply);
      });
}

}  // namespace channel
