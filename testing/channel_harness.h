// Drives channels through real bytes, as the Flutter side would: encodes calls, delivers
// them on a LocalMessenger, decodes the replies, and records what the native side sends.
//
//   channel_test::ChannelHarness h;
//   installMyChannels(h.messenger());
//   EXPECT_EQ(h.call("tandrel/autostart", "isEnabled"), MethodReply::Success(false));
//   EXPECT_EQ(h.listen("tandrel/key_events"), MethodReply::Success());
//   EXPECT_EQ(h.eventValues("tandrel/key_events").size(), 1u);
#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "channel/local_messenger.h"
#include "channel/programming_error.h"
#include "channel/standard_codec.h"
#include "channel/value.h"

namespace channel_test {

using channel::ChannelError;
using channel::Value;
using channel::ValueList;
using channel::ValueMap;

// One message of the native side as the Flutter side decodes it: a method call's reply, or an
// event of a stream, where the zero-byte message (a reply's "not implemented") ends the stream.
struct MethodReply {
  enum class Kind {
    kSuccess,
    kError,
    kNotImplemented,  // the zero-byte message
    kPending,         // the handler kept the result and has not answered yet
    kMalformed,       // bytes that are not an envelope
  };
  MethodReply(Kind k = Kind::kPending, Value v = Value(), ChannelError e = {},
              std::vector<uint8_t> b = {})
      : kind(k), value(std::move(v)), error(std::move(e)), bytes(std::move(b)) {}

  Kind kind;
  Value value;                 // kSuccess
  ChannelError error;          // kError
  std::vector<uint8_t> bytes;  // kMalformed

  static MethodReply Success(Value v = Value()) { return {Kind::kSuccess, std::move(v)}; }
  static MethodReply Error(std::string code, std::optional<std::string> message = std::nullopt,
                           Value details = Value()) {
    return {Kind::kError, Value(), {std::move(code), std::move(message), std::move(details)}};
  }
  static MethodReply NotImplemented() { return {Kind::kNotImplemented}; }
  static MethodReply EndOfStream() { return NotImplemented(); }
  static MethodReply FromBytes(std::span<const uint8_t> bytes);

  bool isSuccess() const { return kind == Kind::kSuccess; }
  bool isError() const { return kind == Kind::kError; }
  // The error code, or "" when the reply is not an error.
  std::string errorCode() const { return isError() ? error.code : std::string(); }

  friend bool operator==(const MethodReply&, const MethodReply&) = default;
};
std::ostream& operator<<(std::ostream& os, const MethodReply& r);
using Event = MethodReply;

// While alive, collects programming-error reports instead of failing the test, for tests
// that provoke them on purpose.
class ProgrammingErrorCapture {
 public:
  ProgrammingErrorCapture();
  ~ProgrammingErrorCapture();
  ProgrammingErrorCapture(const ProgrammingErrorCapture&) = delete;
  ProgrammingErrorCapture& operator=(const ProgrammingErrorCapture&) = delete;

  const std::vector<std::string>& reports() const { return reports_; }

 private:
  std::vector<std::string> reports_;
  channel::ProgrammingErrorHandler previous_;
};

class ChannelHarness {
 public:
  ChannelHarness() {
    messenger_.setOutgoing([this](const std::string& channel, std::span<const uint8_t> bytes) {
      sent_.emplace_back(channel, std::vector<uint8_t>(bytes.begin(), bytes.end()));
    });
  }
  ChannelHarness(const ChannelHarness&) = delete;
  ChannelHarness& operator=(const ChannelHarness&) = delete;

  channel::LocalMessenger& messenger() { return messenger_; }

  MethodReply call(const std::string& channel, const std::string& method,
                   const Value& arguments = Value()) {
    return callBytes(channel, channel::encodeMethodCall({method, arguments}));
  }
  // Delivers raw bytes (malformed calls, hand-written vectors).
  MethodReply callBytes(const std::string& channel, std::span<const uint8_t> message) {
    const auto reply = messenger_.deliver(channel, message);
    return reply ? MethodReply::FromBytes(*reply) : MethodReply();  // else pending
  }
  MethodReply listen(const std::string& channel, const Value& arguments = Value()) {
    return call(channel, "listen", arguments);
  }
  MethodReply cancel(const std::string& channel, const Value& arguments = Value()) {
    return call(channel, "cancel", arguments);
  }

  // Everything sent to the Flutter side on `channel`, decoded, oldest first.
  std::vector<Event> events(const std::string& channel) const;
  // Only the success events' values.
  std::vector<Value> eventValues(const std::string& channel) const;
  void clearEvents() { sent_.clear(); }

 private:
  channel::LocalMessenger messenger_;
  std::vector<std::pair<std::string, std::vector<uint8_t>>> sent_;
};

}  // namespace channel_test
