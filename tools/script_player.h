// The JSON-lines script player shared by tandrel-sim (on the simulated macOS) and tandrel-probe
// (on the real system): it reads one JSON object per line, acts as the Flutter side (channel
// calls as real bytes through a messenger) and prints one JSON object per line, in the order
// things happen. What the world, the user and time are is up to a backend.
#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <nlohmann/json.hpp>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "channel/local_messenger.h"
#include "tools/json_mapping.h"

namespace simhost {

// Script lines and output keep their keys in the order written.
using Json = nlohmann::ordered_json;
static_assert(std::is_same_v<Json, jsonmap::Json>);

// A script line that cannot be carried out; reported as {"scriptError": ..., "line": N}.
class ScriptError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The verbs that are not channel traffic. Each throws ScriptError on input it cannot use and
// changes nothing then.
class ScriptBackend {
 public:
  virtual ~ScriptBackend() = default;
  // {"world": settings}: sets up the world.
  virtual void applyWorld(const Json& settings) = 0;
  // {"user": action}: the user or the system acts.
  virtual void applyUserAction(const Json& action) = 0;
  // {"advance": seconds}, already checked to lie within 0 to kMaxAdvanceSeconds.
  virtual void advance(double seconds) = 0;
  // {"show": what}: the value printed.
  virtual Json show(std::string_view what) = 0;
  // After every line: the main loop runs what is due now.
  virtual void runPending() = 0;
  // {"at"/"after": seconds, "world"|"user": change}: the change lands at that time (from the
  // start, or from now), even while the main thread is blocked. A change that turns out to be
  // impossible only when it is due goes to `lateError` with the time it was due.
  using LateError = std::function<void(const std::string& message, const Json& time)>;
  virtual void schedule(double seconds, bool fromNow, bool isWorld, Json change,
                        LateError lateError) = 0;
  // One entry of the backend's timeline of what happened (the script's lines and the answers).
  virtual void note(std::string_view kind, std::string_view text) = 0;
};

// Longest time one "advance" line may cover. The permission poll alone fires every two seconds;
// a day of it is still quick on the virtual clock, a century would hang the player.
inline constexpr double kMaxAdvanceSeconds = 86400;

class ScriptPlayer {
 public:
  // Takes over the messenger's outgoing side: everything the native side sends is printed.
  ScriptPlayer(channel::LocalMessenger& messenger, ScriptBackend& backend, std::ostream& out);
  ~ScriptPlayer();
  ScriptPlayer(const ScriptPlayer&) = delete;
  ScriptPlayer& operator=(const ScriptPlayer&) = delete;

  // One script line (1-based number, for error reports). Blank lines and "#" comments are
  // skipped. Afterwards the main loop runs whatever is due now.
  void runLine(std::string_view line, int64_t lineNumber);
  // Every line of `in`; the exit status: 0, or 1 when any line was a script error.
  int run(std::istream& in);

  bool hadScriptErrors() const { return scriptErrors_ > 0; }

 private:
  void dispatch(const Json& line);
  void call(const Json& line);
  void stream(const Json& line, const std::string& verb);
  void send(const Json& line);
  void advance(const Json& line);
  void show(const Json& line);
  void schedule(const Json& line, const std::string& verb);

  // Delivers an encoded call and prints the reply when it comes, shaped by `print`.
  void deliver(const std::string& channel, std::span<const uint8_t> message,
               std::function<void(std::span<const uint8_t>)> print);
  void printOutgoing(const std::string& channel, std::span<const uint8_t> message);
  void print(const Json& object);

  channel::LocalMessenger& messenger_;
  ScriptBackend& backend_;
  std::ostream& out_;
  int64_t scriptErrors_ = 0;
  int64_t lineNumber_ = 0;  // of the line being played
  // Replies that arrive after the player is gone are dropped, not printed.
  std::shared_ptr<bool> alive_;
};

// Small readers shared by the parts of the player.
std::string hexOf(std::span<const uint8_t> bytes);
std::vector<uint8_t> bytesFromHex(std::string_view hex);  // throws ScriptError

}  // namespace simhost
