#include "channel/method_channel.h"

#include <utility>

#include "channel/programming_error.h"

namespace channel {

MethodResult::MethodResult(BinaryMessenger::Reply reply, std::string context)
    : reply_(std::move(reply)), context_(std::move(context)) {}

MethodResult::~MethodResult() {
  if (answered_) return;
  reportProgrammingError("method result for " + context_ +
                         " destroyed without an answer; sent the zero-byte reply");
  answered_ = true;
  if (reply_) reply_({});
}

bool MethodResult::claim(const char* what) {
  if (answered_) {
    reportProgrammingError("method result for " + context_ + " answered twice; " + what +
                           " ignored");
    return false;
  }
  answered_ = true;
  return true;
}

void MethodResult::success(const Value& value) {
  if (!claim("success")) return;
  if (reply_) reply_(encodeSuccessEnvelope(value));
}

void MethodResult::error(const ChannelError& e) {
  if (!claim("error")) return;
  if (reply_) reply_(encodeErrorEnvelope(e));
}

void MethodResult::error(std::string code, std::optional<std::string> message, Value details) {
  error(ChannelError{std::move(code), std::move(message), std::move(details)});
}

void MethodResult::notImplemented() {
  if (!claim("notImplemented")) return;
  if (reply_) reply_({});
}

MethodChannel::MethodChannel(BinaryMessenger& messenger, std::string name)
    : messenger_(messenger), name_(std::move(name)) {}

void MethodChannel::setMethodCallHandler(Handler handler) {
  if (!handler) {
    messenger_.setMessageHandler(name_, nullptr);
    return;
  }
  messenger_.setMessageHandler(
      name_, [name = name_, handler = std::move(handler)](std::span<const uint8_t> message,
                                                          BinaryMessenger::Reply reply) {
        std::optional<MethodCall> call = decodeMethodCall(message);
        if (!call) {
          if (reply) reply({});
          return;
        }
        auto result = std::make_unique<MethodResult>(
            std::move(reply), "\"" + call->method + "\" on \"" + name + "\"");
        handler(*call, std::move(result));
      });
}

}  // namespace channel
