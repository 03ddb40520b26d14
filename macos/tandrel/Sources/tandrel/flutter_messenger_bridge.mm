#include "flutter_messenger_bridge.h"

#include "text/text.h"

namespace tandrel::macos {
namespace {

NSString* channelName(const std::string& channel) {
  const std::u16string units = text::utf8ToUtf16(channel);
  return [NSString stringWithCharacters:reinterpret_cast<const unichar*>(units.data())
                                 length:units.size()];
}

std::span<const uint8_t> bytesOf(NSData* data) {
  return {static_cast<const uint8_t*>(data.bytes), static_cast<size_t>(data.length)};
}

// Zero bytes travel as nil, as the embedding's own channels send them: the reply meaning "not
// implemented", and the message ending an event stream.
NSData* dataOf(std::span<const uint8_t> bytes) {
  if (bytes.empty()) return nil;
  return [NSData dataWithBytes:bytes.data() length:bytes.size()];
}

}  // namespace

void FlutterMessengerBridge::send(const std::string& channel, std::span<const uint8_t> message,
                                  Reply reply) {
  if (!reply) {
    [messenger_ sendOnChannel:channelName(channel) message:dataOf(message)];
    return;
  }
  [messenger_ sendOnChannel:channelName(channel)
                    message:dataOf(message)
                binaryReply:^(NSData* _Nullable answer) {
                  reply(bytesOf(answer));
                }];
}

void FlutterMessengerBridge::setMessageHandler(const std::string& channel, MessageHandler handler) {
  if (!handler) {
    [messenger_ setMessageHandlerOnChannel:channelName(channel) binaryMessageHandler:nil];
    return;
  }
  [messenger_ setMessageHandlerOnChannel:channelName(channel)
                    binaryMessageHandler:^(NSData* _Nullable message, FlutterBinaryReply reply) {
                      handler(bytesOf(message),
                              [reply](std::span<const uint8_t> answer) { reply(dataOf(answer)); });
                    }];
}

}  // namespace tandrel::macos
