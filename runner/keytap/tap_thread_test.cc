// The parts of the key stream that really cross threads, run on real threads (the suite also runs
// under ThreadSanitizer): the hand-off from the tap's thread to the main thread, starting and
// stopping the tap's thread, and a listen whose tap fires from its own thread while the main
// thread drains, listens again and cancels. Waits are bounded, and the module's tests have a time
// limit, so a lost event or a lost stop fails the test instead of hanging the run.

#include "runner/keytap/tap_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/delegating_platform.h"
#include "runner/keytap/key_event_tap_handler.h"
#include "runner/keytap/tap_handoff.h"
#include "runner/permissions/recording_sink.h"
#include "sim/world.h"

namespace tandrel {
namespace {

// A run loop on a real thread, as CoreFoundation's behaves: blocks queued to it run in order,
// those queued before it runs included; a stop reaches only a loop that runs (one that comes
// earlier is lost); a loop with no source returns at once.
struct RealLoop {
  std::mutex mutex;
  std::condition_variable changed;
  std::deque<std::function<void()>> blocks;
  bool running = false;
  bool stopped = false;
  std::vector<platform::RunLoopSource> sources;

  void perform(std::function<void()> block) {
    {
      const std::lock_guard lock(mutex);
      blocks.push_back(std::move(block));
    }
    changed.notify_all();
  }
  void stop() {
    {
      const std::lock_guard lock(mutex);
      stopped = running;
    }
    changed.notify_all();
  }
  void run() {
    {
      const std::lock_guard lock(mutex);
      if (sources.empty()) return;
      running = true;
      stopped = false;
    }
    for (;;) {
      std::function<void()> block;
      {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return stopped || !blocks.empty(); });
        if (stopped) {
          running = false;
          return;
        }
        block = std::move(blocks.front());
        blocks.pop_front();
      }
      block();
    }
  }
  // The main thread's loop: waits up to `timeout` for a block, then runs every block queued.
  void runFor(std::chrono::milliseconds timeout) {
    std::deque<std::function<void()>> ready;
    {
      std::unique_lock lock(mutex);
      changed.wait_for(lock, timeout, [&] { return !blocks.empty(); });
      ready.swap(blocks);
    }
    for (const auto& block : ready) block();
  }
};

// Handles over test objects: the core treats them as opaque, as it does the OS's references.
template <class Object, class Real>
std::shared_ptr<Object> handleOf(const std::shared_ptr<Real>& real) {
  return std::shared_ptr<Object>(real, reinterpret_cast<Object*>(real.get()));
}
template <class Real, class Object>
Real* realOf(const std::shared_ptr<Object>& handle) {
  return reinterpret_cast<Real*>(handle.get());
}

// The simulation's events with the run-loop and thread calls on real threads; the rest is used
// from the main thread, or reads only the event it is given.
class ThreadedEvents final : public platform::DelegatingEvents {
 public:
  using DelegatingEvents::DelegatingEvents;

  platform::RunLoop currentRunLoop() override {
    thread_local std::shared_ptr<RealLoop> own = std::make_shared<RealLoop>();
    return handleOf<platform::RunLoopObject>(own);
  }
  void addSource(const platform::RunLoop& loop, const platform::RunLoopSource& source) override {
    RealLoop* real = realOf<RealLoop>(loop);
    {
      const std::lock_guard lock(real->mutex);
      real->sources.push_back(source);
    }
    const std::lock_guard lock(mutex_);
    tapLoop_ = loop;
  }
  void removeSource(const platform::RunLoop& loop, const platform::RunLoopSource& source) override {
    RealLoop* real = realOf<RealLoop>(loop);
    const std::lock_guard lock(real->mutex);
    std::erase(real->sources, source);
  }
  void runCurrentRunLoop() override { realOf<RealLoop>(currentRunLoop())->run(); }
  void stopRunLoop(const platform::RunLoop& loop) override { realOf<RealLoop>(loop)->stop(); }
  void performBlock(const platform::RunLoop& loop, std::function<void()> block) override {
    realOf<RealLoop>(loop)->perform(std::move(block));
  }
  platform::Thread startThread(std::function<void()> body) override {
    return handleOf<platform::ThreadObject>(std::make_shared<std::thread>(std::move(body)));
  }
  void joinThread(const platform::Thread& thread) override { realOf<std::thread>(thread)->join(); }
  int setThreadQosClassSelf(platform::QosClass /*qos*/) override { return 0; }

  // The system calls the tap from the thread whose loop serves it.
  void fire(platform::EventType type, platform::EventObject* event, void* userInfo) {
    const std::lock_guard lock(mutex_);
    performBlock(tapLoop_, [type, event, userInfo] {
      KeyEventTapHandler::tapCallback(type, event, userInfo);
    });
  }

 private:
  std::mutex mutex_;
  platform::RunLoop tapLoop_;
};

// The main loop's signal sources on real threads: a signal queues its perform on the test's
// thread's loop, which runs it unless the source was invalidated meanwhile.
class ThreadedMainLoop final : public platform::DelegatingMainLoop {
 public:
  using DelegatingMainLoop::DelegatingMainLoop;
  struct Signal {
    std::function<void()> perform;
    std::atomic<bool> valid{true};
  };

  platform::SignalSource addSignalSource(std::function<void()> perform) override {
    return handleOf<platform::SignalSourceObject>(std::make_shared<Signal>(std::move(perform)));
  }
  void signal(const platform::SignalSource& source) override {
    loop.perform([source] {
      if (realOf<Signal>(source)->valid) realOf<Signal>(source)->perform();
    });
  }
  void invalidateSignalSource(const platform::SignalSource& source) override {
    realOf<Signal>(source)->valid = false;
  }

  RealLoop loop;
};

// The simulated world, with the tap's thread and the main loop's signals on real threads.
class ThreadedPlatform final : public platform::DelegatingPlatform {
 public:
  ThreadedPlatform() : DelegatingPlatform(world) {
    world.setTrusted(true);
    world.runPending();
  }
  platform::Events& events() override { return events_; }
  platform::MainLoop& mainLoop() override { return mainLoop_; }

  sim::World world;
  ThreadedEvents events_{world.events()};
  ThreadedMainLoop mainLoop_{world.mainLoop()};
};

TEST(TapHandoffOnRealThreads, RecordsArriveInOrderAndEveryPushIsFollowedByAWake) {
  ThreadedPlatform platform;
  ThreadedMainLoop& loop = platform.mainLoop_;
  struct Wake {
    ThreadedMainLoop& loop;
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
    loop.loop.runFor(std::chrono::milliseconds(50));
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
  sim::World world;
  ThreadedEvents events(world.events());
  for (int i = 0; i < 200; ++i) {
    auto source = std::make_shared<int>(i);
    std::unique_ptr<TapThread> thread =
        TapThread::start(events, handleOf<platform::RunLoopSourceObject>(source));
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
      platform.mainLoop_.loop.runFor(std::chrono::milliseconds(100));
    }
  };
  for (int round = 0; round < 3; ++round) {
    std::vector<channel::Value>& got = sinks[static_cast<size_t>(round)];
    ASSERT_EQ(handler->onListen(channel::Value(), tandrel_test::recordInto(got)), std::nullopt);
    // Switched off: the tap's thread tests the grant with a tap of its own and switches it back
    // on, telling the main thread nothing.
    platform.events_.fire(platform::kCGEventTapDisabledByTimeout, nullptr, handler->tapUserInfo());
    for (const platform::Event& e : presses) {
      platform.events_.fire(platform::kCGEventKeyDown, e.get(), handler->tapUserInfo());
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
      platform.events_.fire(platform::kCGEventKeyDown, e.get(), handler->tapUserInfo());
    }
    if (round == 1) {
      handler->onCancel(channel::Value());
    }
  }
  // Without the permission the tap's thread leaves the tap off and the main thread loses it.
  platform.world.setTrusted(false);
  platform.events_.fire(platform::kCGEventTapDisabledByUserInput, nullptr, handler->tapUserInfo());
  waitFor(sinks[2], 2 * presses.size() + 1);  // both rounds of presses, then the loss
  EXPECT_EQ(sinks[2].back(), channel::Value(channel::ValueMap{{"type", "permissionLost"}}));
  EXPECT_EQ(platform.world.tapCount(), 0);
  handler->onListen(channel::Value(), tandrel_test::recordInto(sinks[2]));
  handler.reset();  // stops and joins the tap's thread while events may still be queued
  platform.mainLoop_.loop.runFor(std::chrono::milliseconds(1));
  EXPECT_EQ(platform.world.tapCount(), 0);
}

}  // namespace
}  // namespace tandrel
