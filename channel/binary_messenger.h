// Raw byte transport between the native side and the Flutter side.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>

namespace channel {

class BinaryMessenger {
 public:
  // A zero-length reply is the zero-byte reply: not implemented, no handler, or a call
  // that could not be decoded.
  using Reply = std::function<void(std::span<const uint8_t> reply)>;
  using MessageHandler = std::function<void(std::span<const uint8_t> message, Reply reply)>;

  virtual ~BinaryMessenger() = default;

  // Sends `message` to the Flutter side on `channel`; `reply` (optional) gets its answer.
  virtual void send(const std::string& channel, std::span<const uint8_t> message,
                    Reply reply = nullptr) = 0;
  // Installs the handler for messages arriving on `channel`; nullptr removes it.
  virtual void setMessageHandler(const std::string& channel, MessageHandler handler) = 0;
};

}  // namespace channel
