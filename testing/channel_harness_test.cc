#include "testing/channel_harness.h"

#include <gtest/gtest.h>

#include "channel/method_channel.h"

namespace channel_test {
namespace {

TEST(ChannelHarness, DecodesEveryKindOfReply) {
  ChannelHarness h;
  h.messenger().setMessageHandler(
      "raw", [](std::span<const uint8_t> message, channel::BinaryMessenger::Reply reply) {
        const auto call = channel::decodeMethodCall(message);
        if (call->method == "bad") {
          const uint8_t junk[] = {0x09};
          reply(junk);
        } else if (call->method != "later") {
          reply(channel::encodeErrorEnvelope({"e", std::nullopt, Value()}));
        }
      });
  EXPECT_EQ(h.call("raw", "x"), MethodReply::Error("e"));
  EXPECT_EQ(h.call("raw", "bad").kind, MethodReply::Kind::kMalformed);
  EXPECT_EQ(h.call("raw", "later").kind, MethodReply::Kind::kPending);
  EXPECT_NE(MethodReply::Success(1), MethodReply::Success(2));
  EXPECT_NE(MethodReply::Success(), MethodReply::NotImplemented());
}

TEST(ChannelHarness, SeparatesEventsPerChannel) {
  ChannelHarness h;
  h.messenger().send("a", channel::encodeSuccessEnvelope(1));
  h.messenger().send("b", channel::encodeSuccessEnvelope(2));
  h.messenger().send("a", {});
  const uint8_t junk[] = {0x05};
  h.messenger().send("a", junk);
  const auto events = h.events("a");
  ASSERT_EQ(events.size(), 3u);
  EXPECT_EQ(events[0], Event::Success(1));
  EXPECT_EQ(events[1], Event::EndOfStream());
  EXPECT_EQ(events[2].kind, Event::Kind::kMalformed);
  EXPECT_EQ(h.eventValues("a"), std::vector<Value>{1});
  EXPECT_EQ(h.eventValues("b"), std::vector<Value>{2});
  h.clearEvents();
  EXPECT_TRUE(h.sent().empty());
}

}  // namespace
}  // namespace channel_test
