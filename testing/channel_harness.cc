#include "testing/channel_harness.h"

#include <ostream>

namespace channel_test {
namespace {

std::ostream& printBytes(std::ostream& os, const std::vector<uint8_t>& bytes) {
  static const char* kHex = "0123456789abcdef";
  os << " [bytes ";
  for (uint8_t b : bytes) os << kHex[b >> 4] << kHex[b & 15];
  return os << ']';
}

}  // namespace

MethodReply MethodReply::Success(Value v) {
  MethodReply r;
  r.kind = Kind::kSuccess;
  r.value = std::move(v);
  return r;
}

MethodReply MethodReply::Error(std::string code, std::optional<std::string> message,
                               Value details) {
  MethodReply r;
  r.kind = Kind::kError;
  r.error = ChannelError{std::move(code), std::move(message), std::move(details)};
  return r;
}

MethodReply MethodReply::NotImplemented() {
  MethodReply r;
  r.kind = Kind::kNotImplemented;
  return r;
}

MethodReply MethodReply::FromBytes(std::span<const uint8_t> bytes) {
  MethodReply r;
  r.bytes.assign(bytes.begin(), bytes.end());
  if (bytes.empty()) {
    r.kind = Kind::kNotImplemented;
    return r;
  }
  auto envelope = channel::decodeEnvelope(bytes);
  if (!envelope) {
    r.kind = Kind::kMalformed;
  } else if (auto* v = std::get_if<Value>(&*envelope)) {
    r.kind = Kind::kSuccess;
    r.value = std::move(*v);
  } else {
    r.kind = Kind::kError;
    r.error = std::move(std::get<ChannelError>(*envelope));
  }
  return r;
}

bool operator==(const MethodReply& a, const MethodReply& b) {
  if (a.kind != b.kind) return false;
  switch (a.kind) {
    case MethodReply::Kind::kSuccess:
      return a.value == b.value;
    case MethodReply::Kind::kError:
      return a.error == b.error;
    case MethodReply::Kind::kMalformed:
      return a.bytes == b.bytes;
    default:
      return true;
  }
}

std::ostream& operator<<(std::ostream& os, const MethodReply& r) {
  switch (r.kind) {
    case MethodReply::Kind::kSuccess:
      os << "success(" << r.value << ')';
      break;
    case MethodReply::Kind::kError:
      os << "error(" << r.error << ')';
      break;
    case MethodReply::Kind::kNotImplemented:
      os << "notImplemented";
      break;
    case MethodReply::Kind::kPending:
      return os << "pending (no reply yet)";
    case MethodReply::Kind::kMalformed:
      os << "malformed reply";
      break;
  }
  if (!r.bytes.empty()) printBytes(os, r.bytes);
  return os;
}

Event Event::Success(Value v) {
  Event e;
  e.kind = Kind::kValue;
  e.value = std::move(v);
  return e;
}

Event Event::Error(std::string code, std::optional<std::string> message, Value details) {
  Event e;
  e.kind = Kind::kError;
  e.error = ChannelError{std::move(code), std::move(message), std::move(details)};
  return e;
}

Event Event::EndOfStream() {
  Event e;
  e.kind = Kind::kEndOfStream;
  return e;
}

Event Event::FromBytes(std::span<const uint8_t> bytes) {
  const MethodReply r = MethodReply::FromBytes(bytes);
  Event e;
  e.bytes = r.bytes;
  switch (r.kind) {
    case MethodReply::Kind::kSuccess:
      e.kind = Kind::kValue;
      e.value = r.value;
      break;
    case MethodReply::Kind::kError:
      e.kind = Kind::kError;
      e.error = r.error;
      break;
    case MethodReply::Kind::kNotImplemented:  // zero bytes
      e.kind = Kind::kEndOfStream;
      break;
    default:
      e.kind = Kind::kMalformed;
      break;
  }
  return e;
}

bool operator==(const Event& a, const Event& b) {
  if (a.kind != b.kind) return false;
  switch (a.kind) {
    case Event::Kind::kValue:
      return a.value == b.value;
    case Event::Kind::kError:
      return a.error == b.error;
    case Event::Kind::kMalformed:
      return a.bytes == b.bytes;
    default:
      return true;
  }
}

std::ostream& operator<<(std::ostream& os, const Event& e) {
  switch (e.kind) {
    case Event::Kind::kValue:
      return os << "event(" << e.value << ')';
    case Event::Kind::kError:
      return os << "errorEvent(" << e.error << ')';
    case Event::Kind::kEndOfStream:
      return os << "endOfStream";
    case Event::Kind::kMalformed:
      return printBytes(os << "malformed event", e.bytes);
  }
  return os;
}

ProgrammingErrorCapture::ProgrammingErrorCapture() {
  previous_ = channel::setProgrammingErrorHandler(
      [this](std::string_view what) { reports_.emplace_back(what); });
}

ProgrammingErrorCapture::~ProgrammingErrorCapture() {
  channel::setProgrammingErrorHandler(std::move(previous_));
}

ChannelHarness::ChannelHarness() {
  messenger_.setOutgoing([this](const std::string& channel, std::span<const uint8_t> bytes) {
    sent_.emplace_back(channel, std::vector<uint8_t>(bytes.begin(), bytes.end()));
  });
}

MethodReply ChannelHarness::callBytes(const std::string& channel,
                                      std::span<const uint8_t> message) {
  const std::optional<std::vector<uint8_t>> reply = messenger_.deliver(channel, message);
  if (!reply) return MethodReply{};  // pending
  return MethodReply::FromBytes(*reply);
}

MethodReply ChannelHarness::call(const std::string& channel, const std::string& method,
                                 const Value& arguments) {
  return callBytes(channel, channel::encodeMethodCall({method, arguments}));
}

MethodReply ChannelHarness::listen(const std::string& channel, const Value& arguments) {
  return call(channel, "listen", arguments);
}

MethodReply ChannelHarness::cancel(const std::string& channel, const Value& arguments) {
  return call(channel, "cancel", arguments);
}

std::vector<Event> ChannelHarness::events(const std::string& channel) const {
  std::vector<Event> out;
  for (const auto& [name, bytes] : sent_) {
    if (name == channel) out.push_back(Event::FromBytes(bytes));
  }
  return out;
}

std::vector<Value> ChannelHarness::eventValues(const std::string& channel) const {
  std::vector<Value> out;
  for (const Event& e : events(channel)) {
    if (e.kind == Event::Kind::kValue) out.push_back(e.value);
  }
  return out;
}

}  // namespace channel_test
