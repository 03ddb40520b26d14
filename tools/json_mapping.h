// JSON form of channel values, method calls and reply envelopes, for the command-line
// tools (see "JSON mapping" in README.md). Every channel value has exactly one JSON form, so
// value -> JSON -> value is exact. Objects keep their key order, which becomes the order
// of the map on the wire.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "channel/standard_codec.h"
#include "channel/value.h"

namespace jsonmap {

using Json = nlohmann::ordered_json;

// nullopt with `error` set when the JSON uses a tag wrongly or holds a number no channel
// type can carry.
std::optional<channel::Value> valueFromJson(const Json& j, std::string& error);
Json valueToJson(const channel::Value& v);

// {"method": string, "args": value}; "args" may be left out (null).
std::optional<channel::MethodCall> callFromJson(const Json& j, std::string& error);
Json callToJson(const channel::MethodCall& call);

// {"success": value} | {"error": {"code", "message", "details"}} | {"notImplemented": true},
// the last being the zero-byte reply. Returns the envelope's bytes.
std::optional<std::vector<uint8_t>> envelopeFromJson(const Json& j, std::string& error);
// nullopt with `error` set when the bytes are neither an envelope nor the zero-byte reply.
std::optional<Json> envelopeToJson(std::span<const uint8_t> bytes, std::string& error);

// Bytes as lowercase hex, and back; white space may separate the digits anywhere, as in
// hand-written dumps. On a bad digit or an odd count, nullopt and a one-line reason.
std::string toHex(std::span<const uint8_t> bytes);
std::optional<std::vector<uint8_t>> fromHex(std::string_view hex, std::string& error);

}  // namespace jsonmap
