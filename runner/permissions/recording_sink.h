#pragma once
// Test support: a sink for driving a stream handler directly, keeping each event as the Flutter
// side would decode it.

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "channel/event_channel.h"
#include "channel/standard_codec.h"

namespace tandrel_test {

class RecordingSink : public channel::EventSink {
 public:
  explicit RecordingSink(std::vector<channel::Value>& events) : events_(events) {}
  void success(const channel::Value& e) override {
    events_.push_back(channel::decodeMessage(channel::encodeMessage(e)).value_or("undecodable"));
  }
  void error(const channel::ChannelError& e) override { ADD_FAILURE() << "error event " << e; }
  void endOfStream() override { ADD_FAILURE() << "end of stream"; }

 private:
  std::vector<channel::Value>& events_;
};

inline std::unique_ptr<channel::EventSink> recordInto(std::vector<channel::Value>& events) {
  return std::make_unique<RecordingSink>(events);
}

}  // namespace tandrel_test
