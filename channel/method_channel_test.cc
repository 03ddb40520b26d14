#include "channel/method_channel.h"

#include <gtest/gtest.h>

#include "testing/channel_harness.h"

namespace channel {
namespace {

using channel_test::ChannelHarness;
using channel_test::MethodReply;
using channel_test::ProgrammingErrorCapture;

constexpr const char* kName = "test/methods";

// Answers go back as envelopes; a call that cannot be decoded, or has no handler, gets the
// zero-byte reply without reaching one.
TEST(MethodChannel, AnswersGoBackAsEnvelopesAndUndecodableCallsAsZeroBytes) {
  ChannelHarness h;
  std::vector<MethodCall> seen;
  {
    // The channel object may go away; its handler stays with the messenger.
    MethodChannel ch(h.messenger(), kName);
    ch.setMethodCallHandler([&seen](const MethodCall& call, std::unique_ptr<MethodResult> r) {
      seen.push_back(call);
      if (call.method == "echo") {
        r->success(call.arguments);
      } else if (call.method == "fail") {
        r->error("bad_thing", "It failed.", ValueList{1});
      } else if (call.method == "nothing") {
        r->success();
      } else {
        r->notImplemented();
      }
    });
  }
  const Value args = ValueMap{{"text", "hi"}, {"n", 3}};
  EXPECT_EQ(h.call(kName, "echo", args), MethodReply::Success(args));
  EXPECT_EQ(h.call(kName, "nothing"), MethodReply::Success());
  EXPECT_EQ(h.call(kName, "fail"), MethodReply::Error("bad_thing", "It failed.", ValueList{1}));
  EXPECT_EQ(h.call(kName, "Echo"), MethodReply::NotImplemented());
  for (const std::vector<uint8_t>& bytes : std::vector<std::vector<uint8_t>>{
           {}, {0x03, 1, 0, 0, 0, 0}, {0x07, 0x01, 'a'}, {0x07, 0x01, 'a', 0x00, 0x00}, {0x7f}}) {
    EXPECT_EQ(h.callBytes(kName, bytes), MethodReply::NotImplemented());
  }
  ASSERT_EQ(seen.size(), 4u);
  EXPECT_EQ(seen[0], (MethodCall{"echo", args}));
  EXPECT_EQ(h.call("test/unknown", "x"), MethodReply::NotImplemented());
  MethodChannel(h.messenger(), kName).setMethodCallHandler(nullptr);
  EXPECT_EQ(h.call(kName, "echo"), MethodReply::NotImplemented());
}

TEST(MethodChannel, SecondAnswerAndMissingAnswerAreReportedNotSent) {
  ChannelHarness h;
  MethodChannel ch(h.messenger(), kName);
  ch.setMethodCallHandler([](const MethodCall& call, std::unique_ptr<MethodResult> r) {
    if (call.method == "twice") {
      r->success(1);
      r->error("late");
      r->notImplemented();
    }
    // "never": dropped unanswered
  });
  ProgrammingErrorCapture capture;
  EXPECT_EQ(h.call(kName, "twice"), MethodReply::Success(1));
  EXPECT_EQ(capture.reports().size(), 2u);
  // The Flutter side must not wait forever: the zero-byte reply goes out.
  EXPECT_EQ(h.call(kName, "never"), MethodReply::NotImplemented());
  ASSERT_EQ(capture.reports().size(), 3u);
  EXPECT_NE(capture.reports()[2].find("\"never\" on \"test/methods\""), std::string::npos);
}

TEST(MethodChannel, ResultMayBeAnsweredLater) {
  ChannelHarness h;
  std::unique_ptr<MethodResult> kept;
  MethodChannel(h.messenger(), kName)
      .setMethodCallHandler(
          [&kept](const MethodCall&, std::unique_ptr<MethodResult> r) { kept = std::move(r); });
  std::optional<std::vector<uint8_t>> reply;
  h.messenger().deliver(
      kName, encodeMethodCall({"slow", Value()}),
      [&reply](std::span<const uint8_t> b) { reply.emplace(b.begin(), b.end()); });
  EXPECT_FALSE(reply.has_value());
  kept->success("done");
  EXPECT_EQ(reply, encodeSuccessEnvelope("done"));
}

}  // namespace
}  // namespace channel
