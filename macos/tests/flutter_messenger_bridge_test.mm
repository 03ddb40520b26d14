#include "macos/tandrel/Sources/tandrel/flutter_messenger_bridge.h"

#include <gtest/gtest.h>

#include <vector>

#import "macos/tests/fake_binary_messenger.h"

namespace tandrel::macos {
namespace {

using Bytes = std::vector<uint8_t>;

NSData* data(const Bytes& bytes) {
  return [NSData dataWithBytes:bytes.data() length:bytes.size()];
}

Bytes bytesOf(NSData* value) {
  const auto* begin = static_cast<const uint8_t*>(value.bytes);
  return Bytes(begin, begin + value.length);
}

TEST(FlutterMessengerBridge, IncomingBytesReachTheHandlerAndItsReplyGoesBackAsIs) {
  FakeBinaryMessenger* engine = [[FakeBinaryMessenger alloc] init];
  FlutterMessengerBridge bridge(engine);
  std::vector<Bytes> received;
  Bytes answer = {0x00, 0x03, 0x2a, 0x00, 0x00, 0x00};
  bridge.setMessageHandler("tandrel/automation", [&](std::span<const uint8_t> message, auto reply) {
    received.emplace_back(message.begin(), message.end());
    reply(answer);
  });

  id reply = [engine deliver:data({0x07, 0x01, 'x', 0x00}) onChannel:@"tandrel/automation"];
  ASSERT_TRUE([reply isKindOfClass:[NSData class]]);
  EXPECT_EQ(bytesOf(reply), answer);

  // A null message arrives as no bytes; the zero-byte reply ("not implemented") leaves as nil,
  // which is how the embedding's own channels send it.
  answer.clear();
  reply = [engine deliver:nil onChannel:@"tandrel/automation"];
  EXPECT_EQ(reply, [NSNull null]);
  ASSERT_EQ(received.size(), 2u);
  EXPECT_EQ(received[0], (Bytes{0x07, 0x01, 'x', 0x00}));
  EXPECT_TRUE(received[1].empty());
}

TEST(FlutterMessengerBridge, ANullHandlerRemovesTheChannelsHandler) {
  FakeBinaryMessenger* engine = [[FakeBinaryMessenger alloc] init];
  FlutterMessengerBridge bridge(engine);
  bridge.setMessageHandler("velloc/input_source", [](auto, auto reply) { reply({}); });
  EXPECT_TRUE([engine hasHandlerOnChannel:@"velloc/input_source"]);
  bridge.setMessageHandler("velloc/input_source", nullptr);
  EXPECT_FALSE([engine hasHandlerOnChannel:@"velloc/input_source"]);
}

TEST(FlutterMessengerBridge, SendsCarryTheirBytesAndAskForAReplyOnlyWhenOneIsWanted) {
  FakeBinaryMessenger* engine = [[FakeBinaryMessenger alloc] init];
  FlutterMessengerBridge bridge(engine);
  const Bytes event = {0x00, 0x01};
  bridge.send("tandrel/key_events", event);
  bridge.send("tandrel/key_events", {});  // the end of a stream: no bytes, sent as nil

  std::vector<Bytes> replies;
  engine.answer = data({0x00, 0x00});
  bridge.send("tandrel/other", event,
              [&](std::span<const uint8_t> r) { replies.emplace_back(r.begin(), r.end()); });
  engine.answer = nil;
  bridge.send("tandrel/other", event,
              [&](std::span<const uint8_t> r) { replies.emplace_back(r.begin(), r.end()); });

  ASSERT_EQ(engine.sentChannels.count, 4u);
  EXPECT_TRUE([engine.sentChannels[0] isEqualToString:@"tandrel/key_events"]);
  EXPECT_EQ(bytesOf(engine.sentMessages[0]), event);
  EXPECT_EQ(engine.sentMessages[1], [NSNull null]);
  EXPECT_TRUE([engine.sentChannels[2] isEqualToString:@"tandrel/other"]);
  EXPECT_EQ(engine.sentWithReply[0].boolValue, NO);
  EXPECT_EQ(engine.sentWithReply[1].boolValue, NO);
  EXPECT_EQ(engine.sentWithReply[2].boolValue, YES);
  EXPECT_EQ(replies, (std::vector<Bytes>{{0x00, 0x00}, {}}));
}

}  // namespace
}  // namespace tandrel::macos
