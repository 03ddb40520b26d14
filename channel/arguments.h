// Reading method arguments. Handlers treat anything unexpected as absent and fall back to
// their defaults, so these never fail: they answer nullopt (or an empty map).
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "channel/value.h"

namespace channel {

// The arguments when they are a map whose keys are all strings, otherwise an empty map.
const ValueMap& argumentsMap(const Value& arguments);

// The value under `key`; nullptr when missing or null.
const Value* valueArg(const ValueMap& args, std::string_view key);
// Strings only.
std::optional<std::string_view> stringArg(const ValueMap& args, std::string_view key);
// 32- and 64-bit integers only; bools and doubles are not integers.
std::optional<int64_t> intArg(const ValueMap& args, std::string_view key);
// Bools only.
std::optional<bool> boolArg(const ValueMap& args, std::string_view key);

}  // namespace channel
