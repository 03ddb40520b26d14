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

using jsonmap::fromHex;
using jsonmap::toHex;

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
