#include "channel/event_channel.h"

#include <gtest/gtest.h>

#include "testing/channel_harness.h"

namespace channel {
namespace {

using channel_test::ChannelHarness;
using channel_test::Event;
using channel_test::MethodReply;

constexpr const char* kName = "test/events";

// Keeps every sink it was given, so tests can also use stale ones.
class Recorder : public StreamHandler {
 public:
  std::optional<ChannelError> onListen(const Value& args,
                                       std::unique_ptr<EventSink> sink) override {
    log.push_back("listen " + toDebugString(args));
    sinks.push_back(std::move(sink));
    return listenError;
  }
  std::optional<ChannelError> onCancel(const Value& args) override {
    log.push_back("cancel " + toDebugString(args));
    return cancelError;
  }
  EventSink& sink() { return *sinks.back(); }

  std::vector<std::string> log;
  std::vector<std::unique_ptr<EventSink>> sinks;
  std::optional<ChannelError> listenError, cancelError;
};

struct EventChannelTest : ::testing::Test {
  EventChannelTest() { EventChannel(h.messenger(), kName).setStreamHandler(recorder); }
  ChannelHarness h;
  std::shared_ptr<Recorder> recorder = std::make_shared<Recorder>();
};

// A stream's life as the Flutter side drives it: only the newest sink of a listened stream reaches
// it, until the sink ends or the stream is cancelled; a listen without a cancel cancels the old
// stream first; a cancel without a stream is an error the handler never sees. The handler's own
// errors go back as error envelopes, and a refused stream still counts as listened to (as in the
// embeddings), so the Flutter side's following cancel reaches the handler.
TEST_F(EventChannelTest, OnlyTheNewestSinkOfAListenedStreamIsHeard) {
  EXPECT_EQ(h.cancel(kName), MethodReply::Error("error", "No active stream to cancel", Value()));
  EXPECT_EQ(h.listen(kName, 1), MethodReply::Success());
  EXPECT_EQ(h.listen(kName, "args"), MethodReply::Success());
  recorder->sinks[0]->success("stale");
  recorder->sink().success(ValueMap{{"type", "keyDown"}});
  recorder->sink().error({"oops", "Went wrong.", Value()});
  recorder->sink().endOfStream();
  recorder->sink().success("after end");
  EXPECT_EQ(h.events(kName),
            (std::vector<Event>{Event::Success(ValueMap{{"type", "keyDown"}}),
                                Event::Error("oops", "Went wrong."), Event::EndOfStream()}));
  EXPECT_EQ(h.cancel(kName, 5), MethodReply::Success());
  EXPECT_EQ(h.cancel(kName).errorCode(), "error");
  h.clearEvents();
  h.listen(kName);
  h.cancel(kName);
  recorder->sink().success("late");
  EXPECT_TRUE(h.events(kName).empty());

  recorder->listenError = ChannelError{"no_permission", "Not granted.", Value()};
  EXPECT_EQ(h.listen(kName), MethodReply::Error("no_permission", "Not granted."));
  recorder->cancelError = ChannelError{"busy", std::nullopt, Value()};
  EXPECT_EQ(h.cancel(kName), MethodReply::Error("busy"));
  EXPECT_EQ(recorder->log,
            (std::vector<std::string>{"listen 1", "cancel null", "listen \"args\"", "cancel 5",
                                      "listen null", "cancel null", "listen null", "cancel null"}));
}

TEST_F(EventChannelTest, OtherMethodsAndGarbageGetZeroBytes) {
  EXPECT_EQ(h.call(kName, "pause"), MethodReply::NotImplemented());
  EXPECT_EQ(h.callBytes(kName, std::vector<uint8_t>{0x07, 0x06, 'l', 'i', 's', 't', 'e', 'n'}),
            MethodReply::NotImplemented());  // "listen" without its arguments value
  EXPECT_TRUE(recorder->log.empty());
}

// A replaced handler's sinks go silent, a removed one leaves nothing to listen to, and a sink that
// outlives its messenger is harmless.
TEST(EventChannel, OldSinksGoSilentWithTheirHandlerOrMessenger) {
  auto first = std::make_shared<Recorder>();
  auto second = std::make_shared<Recorder>();
  {
    ChannelHarness h;
    EventChannel ch(h.messenger(), kName);
    ch.setStreamHandler(first);
    h.listen(kName);
    ch.setStreamHandler(second);
    first->sink().success("old");
    EXPECT_TRUE(h.events(kName).empty());
    EXPECT_EQ(h.cancel(kName).errorCode(), "error");  // the new handler never listened
    h.listen(kName);
    ch.setStreamHandler(nullptr);
    EXPECT_EQ(h.listen(kName), MethodReply::NotImplemented());
  }
  second->sink().success("nobody listens");
  second->sink().endOfStream();
}

}  // namespace
}  // namespace channel
