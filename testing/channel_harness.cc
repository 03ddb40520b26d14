#include "testing/channel_harness.h"

#include <ostream>

namespace channel_test {

MethodReply MethodReply::FromBytes(std::span<const uint8_t> bytes) {
  if (bytes.empty()) return NotImplemented();
  auto envelope = channel::decodeEnvelope(bytes);
  if (!envelope) return {Kind::kMalformed, Value(), {}, {bytes.begin(), bytes.end()}};
  if (auto* v = std::get_if<Value>(&*envelope)) return Success(std::move(*v));
  return {Kind::kError, Value(), std::move(std::get<ChannelError>(*envelope))};
}

std::ostream& operator<<(std::ostream& os, const MethodReply& r) {
  switch (r.kind) {
    case MethodReply::Kind::kSuccess:
      return os << "success(" << r.value << ')';
    case MethodReply::Kind::kError:
      return os << "error(" << r.error << ')';
    case MethodReply::Kind::kNotImplemented:
      return os << "zero bytes (notImplemented, or the end of a stream)";
    case MethodReply::Kind::kPending:
      return os << "pending (no reply yet)";
    case MethodReply::Kind::kMalformed:
      os << "malformed [bytes ";
      for (const uint8_t b : r.bytes)
        os << "0123456789abcdef"[b >> 4] << "0123456789abcdef"[b & 15];
      return os << ']';
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
    if (e.isSuccess()) out.push_back(e.value);
  }
  return out;
}

}  // namespace channel_test
