// Flutter's standard message and method codecs, byte for byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "channel/value.h"

namespace channel {

// Nesting deeper than this is refused when decoding, so hostile input cannot exhaust the
// stack.
inline constexpr int kMaxNestingDepth = 128;

struct MethodCall {
  std::string method;
  Value arguments;

  friend bool operator==(const MethodCall&, const MethodCall&) = default;
};

struct ChannelError {
  std::string code;
  std::optional<std::string> message;
  Value details;

  friend bool operator==(const ChannelError&, const ChannelError&) = default;
};
std::ostream& operator<<(std::ostream& os, const ChannelError& e);

// Appends the encoding of `v` to `out`. Alignment padding counts from the start of `out`,
// so `out` must hold exactly the message written so far (e.g. an envelope byte).
// Strings that are not valid UTF-8 are written with U+FFFD in place of the bad parts.
void encodeValue(const Value& v, std::vector<uint8_t>& out);

std::vector<uint8_t> encodeMessage(const Value& v);
// Zero bytes and the single byte 00 are both null; anything malformed (unknown type,
// truncation, invalid UTF-8, bytes left over, nesting too deep) is nullopt.
std::optional<Value> decodeMessage(std::span<const uint8_t> bytes);

std::vector<uint8_t> encodeMethodCall(const MethodCall& call);
std::optional<MethodCall> decodeMethodCall(std::span<const uint8_t> bytes);

std::vector<uint8_t> encodeSuccessEnvelope(const Value& v);
std::vector<uint8_t> encodeErrorEnvelope(const ChannelError& e);
// Buffer-reusing forms: `out` is cleared first and keeps its capacity.
void encodeSuccessEnvelope(const Value& v, std::vector<uint8_t>& out);
void encodeErrorEnvelope(const ChannelError& e, std::vector<uint8_t>& out);

// A success value or an error. The zero-byte reply (not implemented) is not an envelope
// and gives nullopt, like any malformed reply; callers check for it first. A fourth
// error value (stack trace, string or null) is accepted and dropped.
std::optional<std::variant<Value, ChannelError>> decodeEnvelope(std::span<const uint8_t> bytes);

}  // namespace channel
