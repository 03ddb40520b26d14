#include "tools/script_player.h"

#include <cmath>
#include <istream>
#include <ostream>
#include <utility>

#include "channel/standard_codec.h"
#include "tools/json_mapping.h"

namespace simhost {
namespace {

const Json& field(const Json& line, const char* key) {
  static const Json kNull;
  auto it = line.find(key);
  return it == line.end() ? kNull : *it;
}

std::string channelName(const Json& line, const char* verb) {
  const Json& name = field(line, verb);
  if (!name.is_string()) throw ScriptError(std::string("\"") + verb + "\" needs a channel name");
  return name.get<std::string>();
}

// Only the named keys may appear: a misspelt key is a mistake in the script, not a default.
void allowOnly(const Json& line, std::initializer_list<std::string_view> keys) {
  for (auto it = line.begin(); it != line.end(); ++it) {
    bool known = false;
    for (std::string_view key : keys) known = known || it.key() == key;
    if (!known) throw ScriptError("unknown key \"" + it.key() + "\"");
  }
}

channel::Value valueOf(const Json& j) {
  std::string error;
  std::optional<channel::Value> value = jsonmap::valueFromJson(j, error);
  if (!value) throw ScriptError("bad value: " + error);
  return std::move(*value);
}

std::string inQuotes(std::string_view text) {
  return "\"" + std::string(text) + "\"";
}

// The timeline's words for a line in or out: the line itself, as printed.
std::string compact(const Json& j) {
  return j.dump(-1, ' ', false, Json::error_handler_t::replace);
}

Json errorJson(const channel::ChannelError& e) {
  Json error = Json::object();
  error["code"] = e.code;
  error["message"] = e.message ? Json(*e.message) : Json();
  error["details"] = jsonmap::valueToJson(e.details);
  return error;
}

// A non-empty envelope: its value under `valueKey` or its error under "error"; bytes that are
// no envelope go under `rawKey` as hex.
void putEnvelope(Json& out, std::span<const uint8_t> bytes, const char* valueKey,
                 const char* rawKey);

}  // namespace

std::string hexOf(std::span<const uint8_t> bytes) {
  return jsonmap::toHex(bytes);
}

std::vector<uint8_t> bytesFromHex(std::string_view hex) {
  std::string error;
  auto bytes = jsonmap::fromHex(hex, error);
  if (!bytes) throw ScriptError(error);
  return std::move(*bytes);
}

ScriptPlayer::ScriptPlayer(channel::LocalMessenger& messenger, ScriptBackend& backend,
                           std::ostream& out)
    : messenger_(messenger), backend_(backend), out_(out), alive_(std::make_shared<bool>(true)) {
  messenger_.setOutgoing([this](const std::string& channel, std::span<const uint8_t> message) {
    printOutgoing(channel, message);
  });
}

ScriptPlayer::~ScriptPlayer() {
  *alive_ = false;
  messenger_.setOutgoing(nullptr);
}

void ScriptPlayer::print(const Json& object) {
  // Text from the simulated applications may hold anything; replacing bad UTF-8 keeps the
  // output one valid JSON object per line.
  out_ << object.dump(-1, ' ', false, Json::error_handler_t::replace) << '\n';
}

int ScriptPlayer::run(std::istream& in) {
  std::string line;
  int64_t number = 0;
  while (std::getline(in, line)) {
    runLine(line, ++number);
    out_.flush();
  }
  return hadScriptErrors() ? 1 : 0;
}

void ScriptPlayer::runLine(std::string_view line, int64_t lineNumber) {
  size_t start = line.find_first_not_of(" \t\r\n");
  if (start == std::string_view::npos || line[start] == '#') return;
  lineNumber_ = lineNumber;
  try {
    Json parsed = Json::parse(line.substr(start));
    if (!parsed.is_object() || parsed.empty()) {
      throw ScriptError("a line must be a JSON object whose first key is the verb");
    }
    dispatch(parsed);
  } catch (const std::exception& e) {
    // ScriptError, a JSON parse error, or a JSON type error from a value of the wrong kind.
    ++scriptErrors_;
    Json report = Json::object();
    report["scriptError"] = e.what();
    report["line"] = lineNumber;
    print(report);
  }
  backend_.runPending();
}

void ScriptPlayer::dispatch(const Json& line) {
  const std::string& verb = line.begin().key();
  if (verb == "call") {
    call(line);
  } else if (verb == "listen" || verb == "cancel") {
    stream(line, verb);
  } else if (verb == "send") {
    send(line);
  } else if (verb == "advance") {
    advance(line);
  } else if (verb == "world") {
    allowOnly(line, {"world"});
    backend_.applyWorld(line.front());
  } else if (verb == "user") {
    allowOnly(line, {"user"});
    backend_.applyUserAction(line.front());
  } else if (verb == "show") {
    show(line);
  } else if (verb == "at" || verb == "after") {
    schedule(line, verb);
  } else {
    throw ScriptError("unknown verb \"" + verb + "\"");
  }
}

void ScriptPlayer::deliver(const std::string& channel, std::span<const uint8_t> message,
                           std::function<void(std::span<const uint8_t>)> printReply) {
  std::weak_ptr<bool> alive = alive_;
  messenger_.deliver(channel, message,
                     [alive, printReply = std::move(printReply)](std::span<const uint8_t> reply) {
                       if (auto token = alive.lock(); token && *token) printReply(reply);
                     });
}

void ScriptPlayer::call(const Json& line) {
  allowOnly(line, {"call", "method", "args"});
  std::string channel = channelName(line, "call");
  const Json& method = field(line, "method");
  if (!method.is_string()) throw ScriptError("\"call\" needs a \"method\" string");
  channel::MethodCall call{method.get<std::string>(), valueOf(field(line, "args"))};
  backend_.note("call", compact(line));
  deliver(channel, channel::encodeMethodCall(call), [this](std::span<const uint8_t> reply) {
    Json out = Json::object();
    if (reply.empty()) {
      out["notImplemented"] = true;
    } else {
      putEnvelope(out, reply, "reply", "badReply");
    }
    backend_.note("answer", compact(out));
    print(out);
  });
}

void ScriptPlayer::stream(const Json& line, const std::string& verb) {
  allowOnly(line, {verb, "args"});
  std::string channel = channelName(line, verb.c_str());
  channel::MethodCall call{verb, valueOf(field(line, "args"))};
  backend_.note(verb, compact(line));
  deliver(channel, channel::encodeMethodCall(call),
          [this, verb, channel](std::span<const uint8_t> reply) {
            Json out = Json::object();
            out[verb] = channel;
            if (reply.empty()) {
              out["notImplemented"] = true;
            } else if (auto envelope = channel::decodeEnvelope(reply)) {
              if (std::holds_alternative<channel::Value>(*envelope)) {
                out["ok"] = true;
              } else {
                out["error"] = errorJson(std::get<channel::ChannelError>(*envelope));
              }
            } else {
              out["badReply"] = hexOf(reply);
            }
            backend_.note("answer", compact(out));
            print(out);
          });
}

void ScriptPlayer::send(const Json& line) {
  allowOnly(line, {"send", "hex"});
  std::string channel = channelName(line, "send");
  const Json& hex = field(line, "hex");
  if (!hex.is_string()) throw ScriptError("\"send\" needs a \"hex\" string");
  std::vector<uint8_t> bytes = bytesFromHex(hex.get<std::string>());
  backend_.note("send", compact(line));
  deliver(channel, bytes, [this](std::span<const uint8_t> reply) {
    Json out = Json::object();
    out["replyHex"] = hexOf(reply);
    backend_.note("answer", compact(out));
    print(out);
  });
}

void ScriptPlayer::advance(const Json& line) {
  allowOnly(line, {"advance"});
  const Json& seconds = line.front();
  if (!seconds.is_number()) throw ScriptError("\"advance\" needs a number of seconds");
  double s = seconds.get<double>();
  if (!std::isfinite(s) || s < 0 || s > kMaxAdvanceSeconds) {
    throw ScriptError("\"advance\" takes 0 to 86400 seconds");
  }
  backend_.advance(s);
}

void ScriptPlayer::schedule(const Json& line, const std::string& verb) {
  const Json& seconds = line.front();
  if (!seconds.is_number()) throw ScriptError(inQuotes(verb) + " needs a number of seconds");
  const double s = seconds.get<double>();
  if (!std::isfinite(s) || s < 0 || s > kMaxAdvanceSeconds) {
    throw ScriptError(inQuotes(verb) + " takes 0 to 86400 seconds");
  }
  const bool isWorld = line.contains("world");
  if (line.size() != 2 || (!isWorld && !line.contains("user"))) {
    throw ScriptError(inQuotes(verb) + " needs one \"world\" or \"user\" line to schedule");
  }
  std::weak_ptr<bool> alive = alive_;
  backend_.schedule(
      s, verb == "after", isWorld, isWorld ? line["world"] : line["user"],
      [this, alive, number = lineNumber_](const std::string& message, const Json& time) {
        if (auto token = alive.lock(); !token || !*token) return;
        ++scriptErrors_;
        Json report = Json::object();
        report["scriptError"] = message;
        report["line"] = number;
        report["time"] = time;
        print(report);
      });
}

void ScriptPlayer::show(const Json& line) {
  allowOnly(line, {"show"});
  const Json& what = line.front();
  if (!what.is_string()) throw ScriptError("\"show\" needs a name");
  Json value = backend_.show(what.get<std::string>());
  Json out = Json::object();
  out["show"] = what;
  out["value"] = std::move(value);
  print(out);
}

void ScriptPlayer::printOutgoing(const std::string& channel, std::span<const uint8_t> message) {
  Json out = Json::object();
  out["event"] = channel;
  if (message.empty()) {
    out["end"] = true;
  } else {
    putEnvelope(out, message, "value", "hex");
  }
  backend_.note("event", compact(out));
  print(out);
}

namespace {

void putEnvelope(Json& out, std::span<const uint8_t> bytes, const char* valueKey,
                 const char* rawKey) {
  if (auto envelope = channel::decodeEnvelope(bytes)) {
    if (auto* value = std::get_if<channel::Value>(&*envelope)) {
      out[valueKey] = jsonmap::valueToJson(*value);
    } else {
      out["error"] = errorJson(std::get<channel::ChannelError>(*envelope));
    }
  } else {
    out[rawKey] = hexOf(bytes);
  }
}

}  // namespace

}  // namespace simhost
