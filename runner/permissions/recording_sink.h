#pragma once
// Test support: an event sink that keeps what a stream handler pushes, for tests that drive a
// handler directly (calls the channel layer would never make, handlers outliving their channel).

#include <gtest/gtest.h>

#include <functional>
#include <utility>
#include <vector>

#include "channel/event_channel.h"
#include "channel/standard_codec.h"

namespace tandrel_test {

class RecordingSink : public channel::EventSink {
 public:
  explicit RecordingSink(std::vector<channel::Value>& events, std::function<void()> onEvent = {})
      : events_(events), onEvent_(std::move(onEvent)) {}

  void success(const channel::Value& event) override {
    // Through the codec, so the tests see what the Flutter side would decode.
    const auto decoded = channel::decodeMessage(channel::encodeMessage(event));
    if (!decoded) ADD_FAILURE() << "event does not survive the codec: " << event;
    events_.push_back(decoded.value_or(channel::Value()));
    if (onEvent_) onEvent_();
  }
  void error(const channel::ChannelError& e) override {
    ADD_FAILURE() << "unexpected error event " << e;
  }
  void endOfStream() override { ADD_FAILURE() << "unexpected end of stream"; }

 private:
  std::vector<channel::Value>& events_;
  std::function<void()> onEvent_;
};

inline std::unique_ptr<channel::EventSink> recordInto(std::vector<channel::Value>& events,
                                                      std::function<void()> onEvent = {}) {
  return std::make_unique<RecordingSink>(events, std::move(onEvent));
}

}  // namespace tandrel_test
