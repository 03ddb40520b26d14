// The Flutter engine's binary messenger as the channel layer's BinaryMessenger: raw bytes both
// ways, so every codec and channel rule stays in the portable channel layer.
#pragma once

#import <FlutterMacOS/FlutterMacOS.h>

#include <cstdint>
#include <span>
#include <string>

#include "channel/binary_messenger.h"

namespace tandrel::macos {

class FlutterMessengerBridge final : public channel::BinaryMessenger {
 public:
  explicit FlutterMessengerBridge(id<FlutterBinaryMessenger> messenger) : messenger_(messenger) {}

  void send(const std::string& channel, std::span<const uint8_t> message,
            Reply reply = nullptr) override;
  void setMessageHandler(const std::string& channel, MessageHandler handler) override;

 private:
  id<FlutterBinaryMessenger> messenger_;
};

}  // namespace tandrel::macos
