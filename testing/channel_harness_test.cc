#include "testing/channel_harness.h"

#include <gtest/gtest.h>

namespace channel_test {
namespace {

TEST(ChannelHarness, DecodesEveryKindOfMessageAndKeepsEachChannelsOwn) {
  ChannelHarness h;
  h.messenger().setMessageHandler(
      "raw", [](std::span<const uint8_t> message, channel::BinaryMessenger::Reply reply) {
        const std::string method = channel::decodeMethodCall(message)->method;
        const uint8_t junk[] = {0x09};
        if (method == "bad") reply(junk);
        if (method == "error") reply(channel::encodeErrorEnvelope({"e", std::nullopt, Value()}));
      });
  EXPECT_EQ(h.call("raw", "error"), MethodReply::Error("e"));
  EXPECT_EQ(h.call("raw", "bad"), (MethodReply{MethodReply::Kind::kMalformed, {}, {}, {0x09}}));
  EXPECT_EQ(h.call("raw", "later"), MethodReply{}) << "pending";
  h.messenger().send("a", channel::encodeSuccessEnvelope(1));
  h.messenger().send("b", channel::encodeSuccessEnvelope(2));
  h.messenger().send("a", {});
  EXPECT_EQ(h.events("a"), (std::vector<Event>{Event::Success(1), Event::EndOfStream()}));
  EXPECT_EQ(h.eventValues("b"), std::vector<Value>{2});
  h.clearEvents();
  EXPECT_TRUE(h.events("b").empty());
}

}  // namespace
}  // namespace channel_test
