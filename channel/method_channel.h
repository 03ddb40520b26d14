// Method channels: calls from the Flutter side, each answered exactly once.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "channel/binary_messenger.h"
#include "channel/standard_codec.h"
#include "channel/value.h"

namespace channel {

// The answer to one method call. Answering twice is a handler bug: it is reported and the
// second answer is dropped. A result destroyed unanswered is reported too, and sends the
// zero-byte reply so the Flutter side is never left waiting.
class MethodResult {
 public:
  // `context` names the call in programming-error reports.
  explicit MethodResult(BinaryMessenger::Reply reply, std::string context = "a method call");
  ~MethodResult();
  MethodResult(const MethodResult&) = delete;
  MethodResult& operator=(const MethodResult&) = delete;

  void success(const Value& value = Value());
  void error(const ChannelError& e);
  void error(std::string code, std::optional<std::string> message = std::nullopt,
             Value details = Value());
  void notImplemented();

  bool answered() const { return answered_; }

 private:
  bool claim(const char* what);

  BinaryMessenger::Reply reply_;
  std::string context_;
  bool answered_ = false;
};

class MethodChannel {
 public:
  using Handler = std::function<void(const MethodCall& call, std::unique_ptr<MethodResult>)>;

  MethodChannel(BinaryMessenger& messenger, std::string name);

  // The handler stays installed on the messenger after this object is gone. A call that
  // cannot be decoded gets the zero-byte reply and never reaches the handler. nullptr
  // removes the handler.
  void setMethodCallHandler(Handler handler);

  const std::string& name() const { return name_; }
  BinaryMessenger& messenger() const { return messenger_; }

 private:
  BinaryMessenger& messenger_;
  std::string name_;
};

}  // namespace channel
