// The engine side of a messenger inside this process: the simulated host and the tests
// hand it the Flutter side's bytes and collect what the native side sends back.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "channel/binary_messenger.h"

namespace channel {

class LocalMessenger : public BinaryMessenger {
 public:
  using Outgoing = std::function<void(const std::string& channel, std::span<const uint8_t>)>;

  // Native to Flutter side (events, calls): forwarded to the outgoing callback. There is no
  // Flutter-side handler behind it, so a given `reply` gets the zero-byte reply at once.
  void send(const std::string& channel, std::span<const uint8_t> message,
            Reply reply = nullptr) override;
  void setMessageHandler(const std::string& channel, MessageHandler handler) override;

  void setOutgoing(Outgoing outgoing) { outgoing_ = std::move(outgoing); }

  // Flutter to native side. Returns the reply when the handler answered before returning:
  // its bytes, or an empty vector for the zero-byte reply (also when no handler is set).
  // nullopt means the handler kept the reply to answer later.
  std::optional<std::vector<uint8_t>> deliver(const std::string& channel,
                                              std::span<const uint8_t> message);
  // The same with a reply callback, for answers that may come later.
  void deliver(const std::string& channel, std::span<const uint8_t> message, Reply reply);

  bool hasHandler(const std::string& channel) const;

 private:
  std::unordered_map<std::string, std::shared_ptr<const MessageHandler>> handlers_;
  Outgoing outgoing_;
};

}  // namespace channel
