// JSON form of channel values, method calls and reply envelopes, for the command-line
// tools (see JSON_MAPPING.md). Every channel value has exactly one JSON form, so
// value -> JSON -> value is exact.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <span>
#include <string>

#include "channel/standard_codec.h"
#include "channel/value.h"

namespace jsonmap {

// nullopt with `error` set when the JSON uses a tag wrongly or holds an unrepresentable
// number.
std::optional<channel::Value> valueFromJson(const nlohmann::json& j, std::string& error);
nlohmann::json valueToJson(const channel::Value& v);

// {"method": string, "args": value}; "args" may be left out (null).
std::optional<channel::MethodCall> callFromJson(const nlohmann::json& j, std::string& error);
nlohmann::json callToJson(const channel::MethodCall& call);

// {"success": value} | {"error": {"code", "message", "details"}} | {"notImplemented": true}
// The wire form of the last is the zero-byte reply.
std::optional<std::vector<uint8_t>> envelopeFromJson(const nlohmann::json& j, std::string& error);
// nullopt with `error` set when the bytes are neither an envelope nor the zero-byte reply.
std::optional<nlohmann::json> envelopeToJson(std::span<const uint8_t> bytes, std::string& error);

}  // namespace jsonmap
