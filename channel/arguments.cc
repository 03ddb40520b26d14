#include "channel/arguments.h"

#include <algorithm>

namespace channel {

const ValueMap& argumentsMap(const Value& arguments) {
  static const ValueMap kEmpty;
  const auto* map = arguments.get_if<ValueMap>();
  if (map == nullptr) return kEmpty;
  const bool stringKeys = std::all_of(
      map->begin(), map->end(), [](const ValueMap::Entry& e) { return e.first.is<std::string>(); });
  return stringKeys ? *map : kEmpty;
}

const Value* valueArg(const ValueMap& args, std::string_view key) {
  const Value* v = args.find(key);
  return v != nullptr && !v->isNull() ? v : nullptr;
}

std::optional<std::string_view> stringArg(const ValueMap& args, std::string_view key) {
  const Value* v = args.find(key);
  if (v == nullptr) return std::nullopt;
  if (const auto* s = v->get_if<std::string>()) return std::string_view(*s);
  return std::nullopt;
}

std::optional<int64_t> intArg(const ValueMap& args, std::string_view key) {
  const Value* v = args.find(key);
  if (v == nullptr) return std::nullopt;
  if (const auto* i = v->get_if<int32_t>()) return *i;
  if (const auto* l = v->get_if<int64_t>()) return *l;
  return std::nullopt;
}

std::optional<bool> boolArg(const ValueMap& args, std::string_view key) {
  const Value* v = args.find(key);
  if (v == nullptr) return std::nullopt;
  if (const auto* b = v->get_if<bool>()) return *b;
  return std::nullopt;
}

}  // namespace channel
