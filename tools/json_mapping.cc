#include "tools/json_mapping.h"

#include <cmath>
#include <limits>
#include <utility>

#include "text/text.h"

namespace jsonmap {
namespace {

using channel::Value;
using channel::ValueList;
using channel::ValueMap;

constexpr const char* kBytes = "$bytes";
constexpr const char* kInt32s = "$int32s";
constexpr const char* kInt64s = "$int64s";
constexpr const char* kFloat32s = "$float32s";
constexpr const char* kFloat64s = "$float64s";
constexpr const char* kInt64 = "$int64";
constexpr const char* kFloat64 = "$float64";
constexpr const char* kMap = "$map";

bool fail(std::string& error, std::string message) {
  error = std::move(message);
  return false;
}

// Integers of any JSON spelling that fit int64.
bool readInt64(const Json& j, int64_t& out) {
  if (j.is_number_unsigned()) {
    const auto u = j.get<uint64_t>();
    if (u > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) return false;
    out = static_cast<int64_t>(u);
    return true;
  }
  if (j.is_number_integer()) {
    out = j.get<int64_t>();
    return true;
  }
  return false;
}

bool fitsInt32(int64_t v) {
  return v >= std::numeric_limits<int32_t>::min() && v <= std::numeric_limits<int32_t>::max();
}

// A number, or one of the strings that stand for the values JSON lacks.
bool readDouble(const Json& j, double& out) {
  if (j.is_number()) {
    out = j.get<double>();
    return true;
  }
  if (j.is_string()) {
    const auto& s = j.get_ref<const std::string&>();
    if (s == "nan") {
      out = std::numeric_limits<double>::quiet_NaN();
    } else if (s == "inf") {
      out = std::numeric_limits<double>::infinity();
    } else if (s == "-inf") {
      out = -std::numeric_limits<double>::infinity();
    } else {
      return false;
    }
    return true;
  }
  return false;
}

Json doubleToJson(double d) {
  if (std::isnan(d)) return "nan";
  if (std::isinf(d)) return d < 0 ? "-inf" : "inf";
  return d;
}

template <class T, class Read>
bool readArray(const Json& j, const char* tag, std::vector<T>& out, std::string& error, Read read) {
  if (!j.is_array()) return fail(error, std::string(tag) + " needs an array");
  out.reserve(j.size());
  for (const Json& e : j) {
    T v;
    if (!read(e, v)) return fail(error, std::string(tag) + " element out of range: " + e.dump());
    out.push_back(v);
  }
  return true;
}

bool fromJson(const Json& j, Value& out, std::string& error, int depth);

bool fromTagged(const std::string& tag, const Json& body, Value& out, std::string& error,
                int depth) {
  if (tag == kBytes) {
    if (!body.is_string()) return fail(error, "$bytes needs a hex string");
    std::string why;
    auto bytes = fromHex(body.get_ref<const std::string&>(), why);
    if (!bytes) return fail(error, "$bytes: " + why);
    out = std::move(*bytes);
    return true;
  }
  if (tag == kInt32s) {
    std::vector<int32_t> v;
    if (!readArray(body, kInt32s, v, error, [](const Json& e, int32_t& x) {
          int64_t i;
          if (!readInt64(e, i) || !fitsInt32(i)) return false;
          x = static_cast<int32_t>(i);
          return true;
        })) {
      return false;
    }
    out = std::move(v);
    return true;
  }
  if (tag == kInt64s) {
    std::vector<int64_t> v;
    if (!readArray(body, kInt64s, v, error, readInt64)) return false;
    out = std::move(v);
    return true;
  }
  if (tag == kFloat64s) {
    std::vector<double> v;
    if (!readArray(body, kFloat64s, v, error, readDouble)) return false;
    out = std::move(v);
    return true;
  }
  if (tag == kFloat32s) {
    std::vector<float> v;
    if (!readArray(body, kFloat32s, v, error, [](const Json& e, float& x) {
          double d;
          if (!readDouble(e, d)) return false;
          // Finite values beyond float's range would silently become infinities.
          if (std::isfinite(d) && std::fabs(d) > std::numeric_limits<float>::max()) return false;
          x = static_cast<float>(d);
          return true;
        })) {
      return false;
    }
    out = std::move(v);
    return true;
  }
  if (tag == kInt64) {
    int64_t i;
    if (!readInt64(body, i)) return fail(error, "$int64 needs an integer within 64 bits");
    out = i;
    return true;
  }
  if (tag == kFloat64) {
    double d;
    if (!readDouble(body, d))
      return fail(error, "$float64 needs a number, \"nan\", \"inf\" or \"-inf\"");
    out = d;
    return true;
  }
  if (tag == kMap) {
    if (!body.is_array()) return fail(error, "$map needs an array of [key, value] pairs");
    ValueMap map;
    map.reserve(body.size());
    for (const Json& pair : body) {
      if (!pair.is_array() || pair.size() != 2) {
        return fail(error, "$map needs an array of [key, value] pairs");
      }
      Value key, value;
      if (!fromJson(pair[0], key, error, depth + 1) ||
          !fromJson(pair[1], value, error, depth + 1)) {
        return false;
      }
      map.append(std::move(key), std::move(value));
    }
    out = std::move(map);
    return true;
  }
  return fail(error, "unknown tag " + Json(tag).dump());
}

bool fromJson(const Json& j, Value& out, std::string& error, int depth) {
  // Same bound as the wire, so whatever is accepted here can also be decoded back.
  if ((j.is_array() || j.is_object()) && depth >= channel::kMaxNestingDepth) {
    return fail(error, "nested too deeply");
  }
  switch (j.type()) {
    case Json::value_t::null:
      out = std::monostate{};
      return true;
    case Json::value_t::boolean:
      out = j.get<bool>();
      return true;
    case Json::value_t::number_integer:
    case Json::value_t::number_unsigned: {
      int64_t i;
      if (!readInt64(j, i)) return fail(error, "integer out of 64-bit range: " + j.dump());
      if (fitsInt32(i)) {
        out = static_cast<int32_t>(i);
      } else {
        out = i;
      }
      return true;
    }
    case Json::value_t::number_float:
      out = j.get<double>();
      return true;
    case Json::value_t::string:
      out = j.get<std::string>();
      return true;
    case Json::value_t::array: {
      ValueList list;
      list.reserve(j.size());
      for (const Json& e : j) {
        list.emplace_back();
        if (!fromJson(e, list.back(), error, depth + 1)) return false;
      }
      out = std::move(list);
      return true;
    }
    case Json::value_t::object: {
      if (j.size() == 1 && j.begin().key().starts_with('$')) {
        return fromTagged(j.begin().key(), j.begin().value(), out, error, depth);
      }
      ValueMap map;
      map.reserve(j.size());
      for (auto it = j.begin(); it != j.end(); ++it) {
        Value value;
        if (!fromJson(it.value(), value, error, depth + 1)) return false;
        map.append(it.key(), std::move(value));
      }
      out = std::move(map);
      return true;
    }
    default:  // binary and discarded values never come from text
      return fail(error, "unsupported JSON value");
  }
}

// A plain object can stand for a map only when it reads back as the same map.
bool plainObjectFits(const ValueMap& map) {
  for (auto it = map.begin(); it != map.end(); ++it) {
    const auto* key = it->first.get_if<std::string>();
    if (key == nullptr || !text::isValidUtf8(*key)) return false;
    for (auto later = it + 1; later != map.end(); ++later) {
      if (later->first == it->first) return false;  // JSON objects cannot repeat a key
    }
  }
  if (map.size() == 1 && map.begin()->first.get_if<std::string>()->starts_with('$')) {
    return false;  // would read back as a tag
  }
  return true;
}

template <class T, class Convert>
Json arrayToJson(const std::vector<T>& v, Convert convert) {
  Json a = Json::array();
  for (const T& x : v) a.push_back(convert(x));
  return a;
}

Json tagged(const char* tag, Json body) {
  Json j = Json::object();
  j[tag] = std::move(body);
  return j;
}

}  // namespace

std::optional<Value> valueFromJson(const Json& j, std::string& error) {
  Value v;
  if (!fromJson(j, v, error, 0)) return std::nullopt;
  return v;
}

Json valueToJson(const Value& v) {
  if (v.isNull()) return nullptr;
  if (const auto* b = v.get_if<bool>()) return *b;
  if (const auto* i = v.get_if<int32_t>()) return *i;
  if (const auto* l = v.get_if<int64_t>()) return tagged(kInt64, *l);
  if (const auto* d = v.get_if<double>()) {
    return std::isfinite(*d) ? Json(*d) : tagged(kFloat64, doubleToJson(*d));
  }
  if (const auto* s = v.get_if<std::string>()) return text::toValidUtf8(*s);
  if (const auto* bytes = v.get_if<std::vector<uint8_t>>()) return tagged(kBytes, toHex(*bytes));
  if (const auto* i32 = v.get_if<std::vector<int32_t>>()) {
    return tagged(kInt32s, arrayToJson(*i32, [](int32_t x) { return Json(x); }));
  }
  if (const auto* i64 = v.get_if<std::vector<int64_t>>()) {
    return tagged(kInt64s, arrayToJson(*i64, [](int64_t x) { return Json(x); }));
  }
  if (const auto* f64 = v.get_if<std::vector<double>>()) {
    return tagged(kFloat64s, arrayToJson(*f64, doubleToJson));
  }
  if (const auto* f32 = v.get_if<std::vector<float>>()) {
    return tagged(kFloat32s,
                  arrayToJson(*f32, [](float x) { return doubleToJson(static_cast<double>(x)); }));
  }
  if (const auto* list = v.get_if<ValueList>()) {
    Json a = Json::array();
    for (const Value& e : *list) a.push_back(valueToJson(e));
    return a;
  }
  if (const auto* map = v.get_if<ValueMap>()) {
    if (plainObjectFits(*map)) {
      Json o = Json::object();
      for (const auto& [key, value] : *map) o[*key.get_if<std::string>()] = valueToJson(value);
      return o;
    }
    Json pairs = Json::array();
    for (const auto& [key, value] : *map) {
      pairs.push_back(Json::array({valueToJson(key), valueToJson(value)}));
    }
    return tagged(kMap, std::move(pairs));
  }
  return nullptr;
}

std::optional<channel::MethodCall> callFromJson(const Json& j, std::string& error) {
  if (!j.is_object()) {
    error = "a call is an object {\"method\": ..., \"args\": ...}";
    return std::nullopt;
  }
  const auto method = j.find("method");
  if (method == j.end() || !method->is_string()) {
    error = "a call needs \"method\" as a string";
    return std::nullopt;
  }
  for (auto it = j.begin(); it != j.end(); ++it) {
    if (it.key() != "method" && it.key() != "args") {
      error = "unknown key in a call: " + Json(it.key()).dump();
      return std::nullopt;
    }
  }
  channel::MethodCall call;
  call.method = method->get<std::string>();
  if (const auto args = j.find("args"); args != j.end()) {
    auto value = valueFromJson(*args, error);
    if (!value) return std::nullopt;
    call.arguments = std::move(*value);
  }
  return call;
}

Json callToJson(const channel::MethodCall& call) {
  Json j = Json::object();
  j["method"] = text::toValidUtf8(call.method);
  j["args"] = valueToJson(call.arguments);
  return j;
}

std::optional<std::vector<uint8_t>> envelopeFromJson(const Json& j, std::string& error) {
  if (!j.is_object() || j.size() != 1) {
    error = "an envelope is {\"success\": ...}, {\"error\": {...}} or {\"notImplemented\": true}";
    return std::nullopt;
  }
  const std::string& kind = j.begin().key();
  const Json& body = j.begin().value();
  if (kind == "success") {
    auto value = valueFromJson(body, error);
    if (!value) return std::nullopt;
    return channel::encodeSuccessEnvelope(*value);
  }
  if (kind == "notImplemented") {
    if (body != true) {
      error = "\"notImplemented\" must be true";
      return std::nullopt;
    }
    return std::vector<uint8_t>{};
  }
  if (kind != "error") {
    error = "unknown envelope " + Json(kind).dump();
    return std::nullopt;
  }
  if (!body.is_object()) {
    error = "\"error\" needs an object with \"code\", \"message\" and \"details\"";
    return std::nullopt;
  }
  channel::ChannelError e;
  for (auto it = body.begin(); it != body.end(); ++it) {
    const std::string& key = it.key();
    const Json& v = it.value();
    if (key == "code" && v.is_string()) {
      e.code = v.get<std::string>();
    } else if (key == "message" && (v.is_string() || v.is_null())) {
      if (v.is_string()) e.message = v.get<std::string>();
    } else if (key == "details") {
      auto details = valueFromJson(v, error);
      if (!details) return std::nullopt;
      e.details = std::move(*details);
    } else {
      error = "bad error field " + Json(key).dump() + " (code: string, message: string or null)";
      return std::nullopt;
    }
  }
  if (!body.contains("code")) {
    error = "\"error\" needs a \"code\"";
    return std::nullopt;
  }
  return channel::encodeErrorEnvelope(e);
}

std::optional<Json> envelopeToJson(std::span<const uint8_t> bytes, std::string& error) {
  Json j = Json::object();
  if (bytes.empty()) {
    j["notImplemented"] = true;
    return j;
  }
  auto envelope = channel::decodeEnvelope(bytes);
  if (!envelope) {
    error = "not a reply envelope";
    return std::nullopt;
  }
  if (const auto* v = std::get_if<Value>(&*envelope)) {
    j["success"] = valueToJson(*v);
    return j;
  }
  const auto& e = std::get<channel::ChannelError>(*envelope);
  Json body = Json::object();
  body["code"] = e.code;
  body["message"] = e.message ? Json(*e.message) : Json();
  body["details"] = valueToJson(e.details);
  j["error"] = std::move(body);
  return j;
}

std::string toHex(std::span<const uint8_t> bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(bytes.size() * 2);
  for (uint8_t b : bytes) {
    hex.push_back(kDigits[b >> 4]);
    hex.push_back(kDigits[b & 15]);
  }
  return hex;
}

std::optional<std::vector<uint8_t>> fromHex(std::string_view hex, std::string& error) {
  std::vector<uint8_t> bytes;
  bytes.reserve(hex.size() / 2);
  int high = -1;
  for (const char c : hex) {
    int digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else if (c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
      continue;
    } else {
      error = "not a hex digit: " +
              Json(std::string(1, c)).dump(-1, ' ', false, Json::error_handler_t::replace);
      return std::nullopt;
    }
    if (high < 0) {
      high = digit;
    } else {
      bytes.push_back(static_cast<uint8_t>(high * 16 + digit));
      high = -1;
    }
  }
  if (high >= 0) {
    error = "odd number of hex digits";
    return std::nullopt;
  }
  return bytes;
}

}  // namespace jsonmap
