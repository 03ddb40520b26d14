// The simulated system's timing: the window server and a tap on the main run loop, threads with
// run loops of their own, sleep and wake, hung applications, and the record of posted events.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/events.h"
#include "sim/keyboard_layouts.h"
#include "sim/recording_tap.h"
#include "sim/world.h"
#include "testing/channel_harness.h"

namespace sim {
namespace {

using platform::EventObject;
using platform::EventType;

constexpr Micros kMs = 1000;
constexpr uint64_t kKeys = platform::eventMaskBit(platform::kCGEventKeyDown);

// What one tap heard, and on which run loop.
struct Heard {
  platform::Events* events = nullptr;
  std::vector<EventType> types;
  std::vector<bool> onMain;
  std::vector<Micros> at;
  World* world = nullptr;
  platform::MachPort* releaseInside = nullptr;  // released by the callback when set
};

EventObject* hear(EventType type, EventObject* event, void* userInfo) {
  auto* h = static_cast<Heard*>(userInfo);
  h->types.push_back(type);
  h->onMain.push_back(h->events->currentRunLoop().get() == h->events->mainRunLoop().get());
  h->at.push_back(h->world->now());
  if (h->releaseInside) h->releaseInside->reset();
  return event;
}

class SimTiming : public ::testing::Test {
 protected:
  SimTiming() {
    world.setTrusted(true);
    addFocusedApp(world, 5);
    heard.events = &ev;
    heard.world = &world;
  }
  platform::MachPort makeTap(platform::TapOptions options = platform::kCGEventTapOptionDefault) {
    platform::MachPort port =
        ev.tapCreate(platform::kCGSessionEventTap, 0, options, kKeys, hear, &heard);
    source = ev.createRunLoopSource(port);
    return port;
  }
  // A thread whose run loop serves `source`, as the key stream sets it up.
  platform::Thread serveOnThread() {
    return ev.startThread([this] {
      threadLoop = ev.currentRunLoop();
      ev.addSource(threadLoop, source);
      ev.runCurrentRunLoop();
    });
  }
  void stopThread(const platform::Thread& thread) {
    ev.performBlock(threadLoop, [this] { ev.stopRunLoop(ev.currentRunLoop()); });
    ev.joinThread(thread);
  }
  std::u16string text() { return *world.focusedElement()->value; }
  void type(char16_t c) { world.pressKey(keys::keyFor("us", c)->first); }

  World world;
  platform::Events& ev = world.events();
  Heard heard;
  platform::RunLoopSource source;
  platform::RunLoop threadLoop;
};

TEST_F(SimTiming, AnActiveTapOnTheMainRunLoopHoldsTheSessionUntilTheMainThreadAnswers) {
  platform::MachPort port = makeTap();
  ev.addSource(ev.mainRunLoop(), source);
  type('a');
  world.later(2 * kMs, [&] { type('b'); });
  world.mainLoop().sleepMicroseconds(10 * kMs);
  EXPECT_EQ(text(), u"") << "held while the main thread sleeps";
  world.runPending();
  EXPECT_EQ(text(), u"ab");
  EXPECT_EQ(heard.at, (std::vector<Micros>{10 * kMs, 10 * kMs}));

  // A listen-only tap holds nothing: its copies wait, the events do not.
  platform::MachPort listener = makeTap(platform::kCGEventTapOptionListenOnly);
  ev.tapEnable(port, false);
  ev.addSource(ev.mainRunLoop(), source);
  type('c');
  world.mainLoop().sleepMicroseconds(10 * kMs);
  EXPECT_EQ(text(), u"abc");
  EXPECT_EQ(heard.types.size(), 2u);
  world.runPending();
  EXPECT_EQ(heard.types.size(), 3u);
}

TEST_F(SimTiming, AnAnswerLaterThanTheLimitDisablesTheTapWhichHearsItOnce) {
  world.setTapTimeout(500 * kMs);
  platform::MachPort port = makeTap();
  ev.addSource(ev.mainRunLoop(), source);
  type('a');
  world.later(100 * kMs, [&] { type('b'); });
  world.mainLoop().sleepMicroseconds(600 * kMs);
  EXPECT_EQ(text(), u"ab") << "let through without the tap at 500 ms";
  EXPECT_FALSE(ev.tapIsEnabled(port));
  EXPECT_TRUE(heard.types.empty());
  world.runPending();
  EXPECT_EQ(heard.types, std::vector<EventType>{platform::kCGEventTapDisabledByTimeout});
}

TEST_F(SimTiming, ATapOnItsOwnThreadAnswersWhileTheMainThreadSleeps) {
  platform::MachPort port = makeTap();
  const platform::Thread thread = serveOnThread();
  EXPECT_EQ(world.tapThreadCount(), 1);
  EXPECT_EQ(world.activeTapCount(), 1);
  world.later(3 * kMs, [&] { type('a'); });
  world.mainLoop().sleepMicroseconds(2000 * kMs);
  EXPECT_EQ(text(), u"a");
  EXPECT_EQ(heard.at, std::vector<Micros>{3 * kMs});
  EXPECT_EQ(heard.onMain, std::vector<bool>{false});
  EXPECT_TRUE(ev.tapIsEnabled(port));

  stopThread(thread);
  EXPECT_EQ(world.tapThreadCount(), 0);
  type('b');
  world.runPending();
  EXPECT_EQ(heard.types.size(), 1u) << "a stopped loop serves nothing";
  EXPECT_EQ(text(), u"ab");
}

TEST_F(SimTiming, JoiningAThreadWhoseLoopStillRunsOrTwiceIsAProgrammingError) {
  channel_test::ProgrammingErrorCapture errors;
  platform::MachPort port = makeTap();
  const platform::Thread thread = serveOnThread();
  ev.joinThread(thread);
  ASSERT_EQ(errors.reports().size(), 1u);
  stopThread(thread);
  ev.joinThread(thread);
  EXPECT_EQ(errors.reports().size(), 2u);
}

// As the macOS adapters assert: only the tap's and the run loops' own calls may come from the
// tap's thread; every other service belongs to the main thread.
TEST_F(SimTiming, AMainThreadServiceCalledFromTheTapsThreadIsAProgrammingError) {
  channel_test::ProgrammingErrorCapture errors;
  platform::MachPort port = makeTap();
  const platform::Thread thread = serveOnThread();
  ev.performBlock(threadLoop, [&] {
    ev.tapEnable(port, true);
    (void)ev.tapIsEnabled(port);
    (void)world.accessibility().isProcessTrusted();  // the permission checks may come from here
    (void)ev.preflightListenEventAccess();
    (void)ev.tapCreate(platform::kCGSessionEventTap, 0, 0, kKeys, hear, &heard);
    EventObject key;
    size_t length = 0;
    ev.keyboardGetUnicodeString(key, 0, length, nullptr);  // as the first translation: refused
    (void)world.pasteboard().changeCount();
    (void)world.accessibility().isProcessTrustedWithOptions(false);
    (void)world.mainLoop().scheduledTimer(1, false, [] {});
  });
  world.runPending();
  EXPECT_EQ(errors.reports(),
            (std::vector<std::string>{
                "keyboardGetUnicodeString made the process's first key translation off the main "
                "thread",
                "changeCount was called off the main thread",
                "isProcessTrustedWithOptions was called off the main thread",
                "scheduledTimer was called off the main thread"}));
  (void)world.pasteboard().changeCount();
  ev.performBlock(threadLoop, [&] {
    EventObject key;
    size_t length = 0;
    ev.keyboardGetUnicodeString(key, 0, length, nullptr);  // no longer the first
  });
  world.runPending();
  EXPECT_EQ(errors.reports().size(), 4u) << "the main thread may";
  stopThread(thread);
}

TEST_F(SimTiming, ReleasingATapInsideItsOwnCallbackIsAProgrammingError) {
  channel_test::ProgrammingErrorCapture errors;
  platform::MachPort port = makeTap();
  ev.addSource(ev.mainRunLoop(), source);
  heard.releaseInside = &port;
  type('a');
  world.runPending();
  EXPECT_EQ(errors.reports(),
            std::vector<std::string>{"a tap's port was released inside its own callback"});
}

TEST_F(SimTiming, SleepSwitchesTapsOffSilentlyAndWakeOnlyTellsTheObservers) {
  platform::MachPort port = makeTap();
  const platform::Thread thread = serveOnThread();
  int woke = 0, returned = 0;
  using Notification = platform::Workspace::Notification;
  (void)world.workspace().addObserver(Notification::kDidWake, [&] { ++woke; });
  (void)world.workspace().addObserver(Notification::kSessionDidBecomeActive, [&] { ++returned; });

  world.sleepMachine(World::SleepEffect::kDisableTaps);
  world.wake();
  type('a');
  world.runPending();
  EXPECT_EQ(woke, 1);
  EXPECT_TRUE(heard.types.empty()) << "no notice, no event";
  EXPECT_FALSE(ev.tapIsEnabled(port));
  EXPECT_TRUE(ev.machPortIsValid(port));
  ev.tapEnable(port, true);
  type('b');
  world.runPending();
  EXPECT_EQ(heard.types.size(), 1u);

  world.sleepMachine(World::SleepEffect::kInvalidatePorts);
  world.sessionBecameActive();
  world.runPending();
  EXPECT_EQ(returned, 1);
  EXPECT_FALSE(ev.machPortIsValid(port));
  ev.tapEnable(port, true);
  EXPECT_FALSE(ev.tapIsEnabled(port)) << "an invalid port stays off";
  EXPECT_EQ(world.tapThreadCount(), 0) << "its loop lost its only source and returned";
  ev.joinThread(thread);
  EXPECT_EQ(text(), u"ab");
}

TEST_F(SimTiming, PostedEventsKeepTheirTimesAndOnlyTheMostRecentRecords) {
  platform::MachPort port = makeTap();
  ev.addSource(ev.mainRunLoop(), source);
  const auto post = [&](char16_t c) {
    platform::Event e = ev.createKeyboardEvent(nullptr, 0, true);
    ev.keyboardSetUnicodeString(e, 1, &c);
    ev.post(platform::kCGHIDEventTap, e);
  };
  post(u'x');
  world.mainLoop().sleepMicroseconds(5 * kMs);
  post(u'y');
  std::vector<PostedEvent> held = world.takePosted();
  ASSERT_EQ(held.size(), 2u);
  EXPECT_EQ(held[0].postedAt, 0);
  EXPECT_EQ(held[1].postedAt, 5 * kMs);
  EXPECT_FALSE(held[0].deliveredAt.has_value()) << "held by the main-loop tap";
  world.runPending();
  EXPECT_TRUE(world.takePosted().empty()) << "taken already";

  port.reset();
  const size_t many = World::kPostedWindow + 10;
  for (size_t i = 0; i < many; ++i) post(u'z');
  world.runPending();
  const std::vector<PostedEvent> recent = world.takePosted();
  EXPECT_EQ(recent.size(), World::kPostedWindow);
  EXPECT_EQ(world.postedTotal(), static_cast<int64_t>(many + 2));
  EXPECT_EQ(recent.back().deliveredAt, world.now());
}

TEST_F(SimTiming, AHungApplicationBlocksEachCallForTheMessagingTimeoutInForce) {
  world.application(5)->hung = true;
  platform::Accessibility& ax = world.accessibility();
  const platform::AXElement systemWide = ax.createSystemWide();
  platform::AXAttributeValue value;
  world.later(1 * kMs, [&] { type('a'); });
  EXPECT_EQ(ax.copyAttributeValue(systemWide, "AXFocusedUIElement", value),
            platform::kAXErrorCannotComplete);
  EXPECT_EQ(world.now(), 6000 * kMs) << "the system's default";
  EXPECT_EQ(text(), u"a") << "the rest of the system went on";

  ASSERT_EQ(ax.setMessagingTimeout(systemWide, 1.0F), platform::kAXErrorSuccess);
  const platform::AXElement app = ax.createApplication(5);
  bool settable = true;
  EXPECT_EQ(ax.isAttributeSettable(app, "AXManualAccessibility", settable),
            platform::kAXErrorCannotComplete);
  ASSERT_EQ(ax.setMessagingTimeout(app, 0.25F), platform::kAXErrorSuccess);
  EXPECT_EQ(ax.setAttributeValue(app, "AXManualAccessibility", true),
            platform::kAXErrorCannotComplete);
  EXPECT_EQ(world.now(), 7250 * kMs) << "1 s process-wide, then 0.25 s for that element";
  EXPECT_EQ(world.application(5)->timedOutCalls, 3);
  EXPECT_TRUE(world.takePauses().empty()) << "a blocked call is no pause";
}

}  // namespace
}  // namespace sim
