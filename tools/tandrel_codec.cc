#include "tools/tandrel_codec.h"

#include <cctype>
#include <istream>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "channel/standard_codec.h"
#include "tools/json_mapping.h"

namespace codectool {
namespace {

using jsonmap::Json;

std::string toHex(const std::vector<uint8_t>& bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(bytes.size() * 2);
  for (uint8_t b : bytes) {
    hex.push_back(kDigits[b >> 4]);
    hex.push_back(kDigits[b & 15]);
  }
  return hex;
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Whitespace may separate the digits anywhere, as in hand-written dumps.
std::optional<std::vector<uint8_t>> fromHex(const std::string& line, std::string& error) {
  std::vector<uint8_t> bytes;
  int high = -1;
  for (char c : line) {
    if (std::isspace(static_cast<unsigned char>(c))) continue;
    const int d = hexDigit(c);
    if (d < 0) {
      error = "not a hex digit: " +
              Json(std::string(1, c)).dump(-1, ' ', false, Json::error_handler_t::replace);
      return std::nullopt;
    }
    if (high < 0) {
      high = d;
    } else {
      bytes.push_back(static_cast<uint8_t>(high * 16 + d));
      high = -1;
    }
  }
  if (high >= 0) {
    error = "odd number of hex digits";
    return std::nullopt;
  }
  return bytes;
}

void printError(std::ostream& out, const char* key, const std::string& message) {
  Json j = Json::object();
  j[key] = message;
  out << j.dump(-1, ' ', false, Json::error_handler_t::replace) << '\n';
}

std::optional<std::vector<uint8_t>> encodeLine(Form form, const Json& j, std::string& error) {
  switch (form) {
    case Form::kValue: {
      auto v = jsonmap::valueFromJson(j, error);
      if (!v) return std::nullopt;
      return channel::encodeMessage(*v);
    }
    case Form::kCall: {
      auto call = jsonmap::callFromJson(j, error);
      if (!call) return std::nullopt;
      return channel::encodeMethodCall(*call);
    }
    case Form::kEnvelope:
      return jsonmap::envelopeFromJson(j, error);
  }
  return std::nullopt;
}

std::optional<Json> decodeLine(Form form, const std::vector<uint8_t>& bytes, std::string& error) {
  switch (form) {
    case Form::kValue: {
      auto v = channel::decodeMessage(bytes);
      if (!v) {
        error = "not a valid standard-codec message";
        return std::nullopt;
      }
      return jsonmap::valueToJson(*v);
    }
    case Form::kCall: {
      auto call = channel::decodeMethodCall(bytes);
      if (!call) {
        error = "not a valid method call";
        return std::nullopt;
      }
      return jsonmap::callToJson(*call);
    }
    case Form::kEnvelope:
      return jsonmap::envelopeToJson(bytes, error);
  }
  return std::nullopt;
}

}  // namespace

int run(Direction direction, Form form, std::istream& in, std::ostream& out) {
  bool failed = false;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::string error;
    if (direction == Direction::kEncode) {
      if (line.find_first_not_of(" \t") == std::string::npos) continue;  // blank line
      Json j;
      try {
        j = Json::parse(line);
      } catch (const Json::exception& e) {
        printError(out, "encodeError", std::string("bad JSON: ") + e.what());
        failed = true;
        continue;
      }
      if (auto bytes = encodeLine(form, j, error)) {
        out << toHex(*bytes) << '\n';
      } else {
        printError(out, "encodeError", error);
        failed = true;
      }
    } else {
      // An empty line is a zero-byte message: null, or the not-implemented reply.
      auto bytes = fromHex(line, error);
      std::optional<Json> j;
      if (bytes) j = decodeLine(form, *bytes, error);
      if (j) {
        out << j->dump(-1, ' ', false, Json::error_handler_t::replace) << '\n';
      } else {
        printError(out, "decodeError", error);
        failed = true;
      }
    }
  }
  out.flush();
  return failed ? 1 : 0;
}

}  // namespace codectool
