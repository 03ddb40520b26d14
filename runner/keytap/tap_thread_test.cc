// The parts of the key stream that really cross threads, run on real threads (the suite also runs
// under ThreadSanitizer): the hand-off from the tap's thread to the main thread, starting and
// stopping the tap's thread, and a listen whose tap fires from its own thread while the main
// thread drains, listens again and cancels. Waits are bounded, and the module's tests have a time
// limit, so a lost event or a lost stop fails the test instead of hanging the run.

#include "runner/keytap/tap_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "runner/keytap/key_event_tap_handler.h"
#include "runner/keytap/tap_handoff.h"
#include "runner/permissions/recording_sink.h"
#include "sim/events.h"
#include "sim/real_threads.h"

namespace tandrel {
namespace {

// The simulated world, trusted, with its run loops, threads and signals on real threads.
struct ThreadedPlatform : sim::RealThreads {
  ThreadedPlatform() {
    world.setTrusted(true);
    world.runPending();
  }
  void fire(platform::EventType type, platform::EventObject* event, void* userInfo) {
    fireTap(KeyEventTapHandler::tapCallback, type, event, userInfo);
  }
};

TEST(TapHandoffOnRealThreads, RecordsArriveInOrderAndEveryPushIsFollowedByAWake) {
  ThreadedPlatform platform;
  platform::MainLoop& loop = platform.mainLoop();
  struct Wake {
    platform::MainLoop& loop;
    platform::SignalSource signal;
  } wake{loop, {}};
  TapHandoff handoff(
      [](void* w) { static_cast<Wake*>(w)->loop.signal(static_cast<Wake*>(w)->signal); }, &wake);
  int64_t last = -1, received = 0;
  wake.signal = loop.addSignalSource([&] {
    handoff.startDrain();
    for (TapRecord record; handoff.pop(record); ++received) {
      ASSERT_GT(record.keycode, last) << "in the order pushed";
      last = record.keycode;
    }
  });
  constexpr int64_t kCount = 100000;
  std::atomic<bool> finished = false;
  std::thread tap([&] {
    for (int64_t i = 0; i < kCount; ++i) handoff.push(TapRecord{.keycode = i});
    finished = true;
  });
  // Read first: every push it covers has woken the loop, so the next run drains it.
  for (bool done = false; !done;) {
    done = finished;
    platform.runMainFor(std::chrono::milliseconds(50));
  }
  tap.join();
  EXPECT_EQ(received + static_cast<int64_t>(handoff.dropped()), kCount);
  EXPECT_GT(received, 0);
}

TEST(TapHandoffOnRealThreads, AFullQueueDropsAndCountsWhatDoesNotFit) {
  int wakes = 0;
  TapHandoff handoff([](void* context) { ++*static_cast<int*>(context); }, &wakes);
  std::thread([&] {
    for (size_t i = 0; i < TapHandoff::kCapacity + 5; ++i) handoff.push(TapRecord{});
  }).join();
  EXPECT_EQ(handoff.dropped(), 5u);
  EXPECT_EQ(wakes, 1) << "one wake until the main thread drains";
  handoff.startDrain();
  size_t popped = 0;
  for (TapRecord record; handoff.pop(record);) ++popped;
  EXPECT_EQ(popped, TapHandoff::kCapacity);
  handoff.push(TapRecord{});
  EXPECT_EQ(wakes, 2);
}

TEST(TapThreadOnRealThreads, StartsAndStopsAtOnceWithoutLosingTheStop) {
  sim::RealThreads threads;
  for (int i = 0; i < 200; ++i) {
    std::unique_ptr<TapThread> thread =
        TapThread::start(threads.events(), std::make_shared<platform::RunLoopSourceObject>());
    ASSERT_NE(thread, nullptr);
    thread->stop();  // may come before the new thread enters its loop
    thread->stop();  // twice is harmless
  }
}

TEST(KeyStreamOnRealThreads, TapEventsReachTheSinkInOrderAcrossListensAndCancels) {
  ThreadedPlatform platform;
  platform::Events& sim = platform.world.events();
  std::vector<platform::Event> presses;
  for (uint16_t code = 0; code < 50; ++code)
    presses.push_back(sim.createKeyboardEvent({}, code, true));

  auto handler = KeyEventTapHandler::create(platform, false);
  std::vector<std::vector<channel::Value>> sinks(3);
  // Bounded: an event lost on the way fails the test instead of hanging it.
  const auto waitFor = [&](const std::vector<channel::Value>& got, size_t count) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (got.size() < count && std::chrono::steady_clock::now() < deadline) {
      platform.runMainFor(std::chrono::milliseconds(100));
    }
  };
  for (int round = 0; round < 3; ++round) {
    std::vector<channel::Value>& got = sinks[static_cast<size_t>(round)];
    ASSERT_EQ(handler->onListen(channel::Value(), tandrel_test::recordInto(got)), std::nullopt);
    // Switched off: the tap's thread tests the grant with a tap of its own and switches it back
    // on, telling the main thread nothing.
    platform.fire(platform::kCGEventTapDisabledByTimeout, nullptr, handler->tapUserInfo());
    for (const platform::Event& e : presses) {
      platform.fire(platform::kCGEventKeyDown, e.get(), handler->tapUserInfo());
    }
    waitFor(got, presses.size());
    ASSERT_EQ(got.size(), presses.size());
    for (size_t i = 0; i < presses.size(); ++i) {
      const auto* map = got[i].get_if<channel::ValueMap>();
      ASSERT_NE(map, nullptr);
      EXPECT_EQ(*map->find("keycode"), channel::Value(static_cast<int32_t>(i)));
    }
    // Events still on their way when the next listen or the cancel comes are simply dropped.
    for (const platform::Event& e : presses) {
      platform.fire(platform::kCGEventKeyDown, e.get(), handler->tapUserInfo());
    }
    if (round == 1) {
      handler->onCancel(channel::Value());
    }
  }
  // Without the permission the tap's thread leaves the tap off and the main thread loses it.
  platform.world.setTrusted(false);
  platform.fire(platform::kCGEventTapDisabledByUserInput, nullptr, handler->tapUserInfo());
  waitFor(sinks[2], 2 * presses.size() + 1);  // both rounds of presses, then the loss
  EXPECT_EQ(sinks[2].back(), channel::Value(channel::ValueMap{{"type", "permissionLost"}}));
  EXPECT_EQ(platform.world.tapCount(), 0);
  handler->onListen(channel::Value(), tandrel_test::recordInto(sinks[2]));
  handler.reset();  // stops and joins the tap's thread while events may still be queued
  platform.runMainFor(std::chrono::milliseconds(1));
  EXPECT_EQ(platform.world.tapCount(), 0);
}

}  // namespace
}  // namespace tandrel
