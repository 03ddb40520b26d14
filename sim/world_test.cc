#include "sim/world.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace sim {
namespace {

using platform::RunningApplication;

// ---- Clock and loop -----------------------------------------------------------------------

TEST(SimLoop, AdvanceRunsWorkInDueOrderWithTheClockAtEachDueTime) {
  World world;
  platform::MainLoop& loop = world.mainLoop();
  std::vector<std::pair<std::string, Micros>> log;
  auto note = [&](std::string what) { log.emplace_back(std::move(what), world.now()); };
  (void)loop.scheduledTimer(0.002, true, [&] { note("tick"); });
  loop.dispatchAfter(0.003, [&] {
    note("late");
    // Work queued for "now" by running work still runs in this pass.
    loop.dispatchAfter(0, [&] { note("chained"); });
  });
  loop.dispatchAfter(0.001, [&] { note("early"); });

  world.advance(5000);
  EXPECT_EQ(world.now(), 5000);
  const std::vector<std::pair<std::string, Micros>> expected = {
      {"early", 1000}, {"tick", 2000}, {"late", 3000}, {"chained", 3000}, {"tick", 4000}};
  EXPECT_EQ(log, expected);

  log.clear();
  world.advance(-10);  // time never runs backwards
  world.runPending();
  EXPECT_EQ(world.now(), 5000);
  EXPECT_TRUE(log.empty());
}

TEST(SimLoop, SleepingBlocksEverythingAndIsRecorded) {
  World world;
  platform::MainLoop& loop = world.mainLoop();
  int ticks = 0, delayed = 0;
  (void)loop.scheduledTimer(0.01, true, [&] { ++ticks; });
  loop.dispatchAfter(0.001, [&] { ++delayed; });
  loop.sleepMicroseconds(3000);
  loop.sleepMicroseconds(55000);
  EXPECT_EQ(world.now(), 58000);
  EXPECT_EQ(ticks, 0);
  EXPECT_EQ(delayed, 0);
  EXPECT_EQ(world.takePauses(), (std::vector<Micros>{3000, 55000}));
  EXPECT_TRUE(world.takePauses().empty());

  // Overdue work runs once the loop runs; a timer that fell behind fires once, not five times,
  // and keeps its rhythm afterwards.
  world.runPending();
  EXPECT_EQ(delayed, 1);
  EXPECT_EQ(ticks, 1);
  world.advance(2000);  // up to 60 ms: the next fire
  EXPECT_EQ(ticks, 2);
  world.advance(9999);
  EXPECT_EQ(ticks, 2);
}

TEST(SimLoop, TimersSurviveTheirHandlesAndOddIntervalsAreTamed) {
  World world;
  platform::MainLoop& loop = world.mainLoop();
  int kept = 0, zero = 0;
  // Like a scheduled NSTimer, the loop keeps the timer even when no handle is left.
  (void)loop.scheduledTimer(0.001, true, [&] { ++kept; });
  (void)loop.scheduledTimer(0, true, [&] { ++zero; });
  (void)loop.scheduledTimer(std::nan(""), false, [] {});
  loop.dispatchAfter(1e300, [] {});
  loop.dispatchAfter(0.001, nullptr);
  world.advance(1000);
  EXPECT_EQ(kept, 1);
  EXPECT_EQ(zero, 10);  // a non-positive interval means 0.1 ms
}

// ---- Permissions and notifications --------------------------------------------------------

TEST(SimNotifications, TrustChangesPostTheAccessibilityNotificationOnTheLoop) {
  World world;
  platform::DistributedNotifications& dn = world.distributedNotifications();
  int accessibility = 0, other = 0;
  constexpr auto kAtOnce = platform::SuspensionBehavior::kDeliverImmediately;
  const auto a = dn.addObserver("com.apple.accessibility.api", kAtOnce, [&] { ++accessibility; });
  const auto b = dn.addObserver("com.example.other", kAtOnce, [&] { ++other; });
  EXPECT_EQ(world.observerCount(), 2);

  world.setTrusted(true);
  EXPECT_EQ(accessibility, 0) << "delivered on the main loop, not inside the change";
  world.runPending();
  EXPECT_EQ(accessibility, 1);
  world.setTrusted(true);  // no change, no notification
  world.runPending();
  EXPECT_EQ(accessibility, 1);

  world.postDistributedNotification("com.example.other");
  world.setTrusted(false);
  // Removal stops later notifications; one already queued is still delivered.
  dn.removeObserver(a);
  world.runPending();
  EXPECT_EQ(accessibility, 2);
  EXPECT_EQ(other, 1);
  world.setTrusted(true);
  world.runPending();
  EXPECT_EQ(accessibility, 2);
  dn.removeObserver(b);
  EXPECT_EQ(world.observerCount(), 0);
}

// While the host is not the active application, each observer gets what its registration asks
// for; activation (or a deliver-immediately notification) delivers what was queued, in order.
TEST(SimNotifications, AnInactiveHostGetsNotificationsAsEachObserverRegistered) {
  using B = platform::SuspensionBehavior;
  std::vector<std::string> heard;
  const auto observe = [&heard](World& world, std::vector<std::pair<std::string, B>> observers) {
    for (const auto& observer : observers) {
      (void)world.distributedNotifications().addObserver(
          "n", observer.second, [&heard, name = observer.first] { heard.push_back(name); });
    }
  };
  World world;
  observe(world, {{"drop", B::kDrop},
                  {"coalesce", B::kCoalesce},
                  {"hold", B::kHold},
                  {"now", B::kDeliverImmediately}});
  (void)world.distributedNotifications().addObserver("quiet", B::kHold,
                                                     [&] { heard.push_back("quiet"); });
  ASSERT_FALSE(world.hostActive());

  world.postDistributedNotification("quiet");
  world.postDistributedNotification("n");
  world.runPending();
  EXPECT_EQ(heard, (std::vector<std::string>{"quiet", "now"})) << "flushed, then delivered";
  heard.clear();

  // Without a deliver-immediately observer, everything waits for activation.
  World other;
  observe(other, {{"drop", B::kDrop}, {"coalesce", B::kCoalesce}, {"hold", B::kHold}});
  other.postDistributedNotification("n");
  other.postDistributedNotification("n");
  other.advance(10000000);
  EXPECT_EQ(heard, std::vector<std::string>{});
  other.setHostActive(true);
  other.runPending();
  EXPECT_EQ(heard, (std::vector<std::string>{"hold", "coalesce", "hold"})) << "the last, once";
  heard.clear();
  other.postDistributedNotification("n");
  other.runPending();
  EXPECT_EQ(heard, (std::vector<std::string>{"drop", "coalesce", "hold"})) << "active: all at once";
}

// ---- Workspace ----------------------------------------------------------------------------

TEST(SimWorkspace, ActivationIsReportedOnTheLoopUntilTheObserverIsRemoved) {
  World world;
  platform::Workspace& ws = world.workspace();
  for (int32_t pid : {2, 1}) {
    AppState app;
    app.pid = pid;
    app.localizedName = "App" + std::to_string(pid);
    world.addApplication(app);
  }
  EXPECT_EQ(ws.runningApplications()[0].processIdentifier, 2);  // workspace order, not pid order

  std::vector<std::optional<RunningApplication>> seen;
  const auto token =
      ws.addDidActivateApplicationObserver([&](const auto& app) { seen.push_back(app); });
  world.activate(1);
  EXPECT_EQ(ws.frontmostApplication()->processIdentifier, 1);
  EXPECT_TRUE(seen.empty());
  world.faults().activationWithoutApplication = true;
  world.activate(2);
  world.activate(99);  // no such application: nothing happens
  world.runPending();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0]->localizedName, "App1");
  EXPECT_EQ(seen[1], std::nullopt);
  EXPECT_EQ(world.frontmost(), 2);

  ws.removeObserver(token);
  world.activate(1);
  world.runPending();
  EXPECT_EQ(seen.size(), 2u);
  world.removeApplication(1);
  EXPECT_EQ(world.frontmost(), std::nullopt) << "a quit application is no longer in front";
}

// NSWorkspace answers from what it saw when the main loop last turned; the accessibility server
// answers live.
TEST(SimWorkspace, InsideOneBlockingCallTheWorkspaceKeepsItsAnswersTheAccessibilityServerNot) {
  World world;
  world.setTrusted(true);
  for (const int32_t pid : {1, 2}) {
    AppState app;
    app.pid = pid;
    world.addApplication(app);
  }
  world.setFrontmost(1);
  platform::Workspace& ws = world.workspace();
  platform::Accessibility& ax = world.accessibility();
  const auto focusedApp = [&] {
    platform::AXAttributeValue app;
    int32_t pid = 0;
    (void)ax.copyAttributeValue(ax.createSystemWide(), "AXFocusedApplication", app);
    if (const auto* element = std::get_if<platform::AXElement>(&app))
      (void)ax.getPid(*element, pid);
    return pid;
  };
  world.later(1000, [&] { world.activate(2); });
  world.later(2000, [&] { world.removeApplication(1); });
  world.mainLoop().sleepMicroseconds(5000);
  EXPECT_EQ(ws.frontmostApplication()->processIdentifier, 1);
  EXPECT_EQ(ws.runningApplications().size(), 2u);
  EXPECT_EQ(focusedApp(), 2);
  world.runPending();  // the loop turns
  EXPECT_EQ(ws.frontmostApplication()->processIdentifier, 2);
  EXPECT_EQ(ws.runningApplications().size(), 1u);
  world.setFrontmost(std::nullopt);  // while the main thread is free: seen at the next look
  EXPECT_EQ(ws.frontmostApplication(), std::nullopt);
  EXPECT_EQ(focusedApp(), 0);
}

// ---- Input sources, login item, process ---------------------------------------------------

TEST(SimInputSources, OnlyEnabledSourcesAreListedUnlessAllInstalledAreAsked) {
  World world;
  platform::InputSources& is = world.inputSources();
  std::vector<InputSourceState>& sources = world.inputSourceList();
  sources[1].enabled = false;  // Russian installed but switched off
  auto ids = [&](const platform::InputSourceFilter& f, bool all) {
    std::vector<std::string> out;
    const auto list = is.createInputSourceList(f, all);
    for (const auto& s : *list) out.push_back(*is.sourceID(s));
    return out;
  };
  const platform::InputSourceFilter keyboards{
      std::string(platform::kTISCategoryKeyboardInputSource), true, true};
  EXPECT_EQ(ids(keyboards, false), (std::vector<std::string>{"com.apple.keylayout.US"}));
  EXPECT_EQ(ids({}, false).size(), 1u);
  EXPECT_EQ(ids({}, true).size(), 2u);

  // A refused selection changes nothing; an accepted one changes what the keys type. A source
  // switched off cannot be selected.
  const auto all = *is.createInputSourceList({}, true);
  EXPECT_EQ(is.select(all[1]), -50);
  sources[1].enabled = true;
  sources[1].selectStatus = -25;
  EXPECT_EQ(is.select(all[1]), -25);
  EXPECT_EQ(world.selectedLayout(), "us");
  sources[1].selectStatus = 0;
  EXPECT_EQ(is.select(all[1]), 0);
  EXPECT_EQ(world.selectedLayout(), "ru");

  // A source that disappeared answers nothing rather than stale data.
  sources.erase(sources.begin());
  EXPECT_EQ(is.sourceID(all[0]), std::nullopt);
  EXPECT_NE(is.select(all[0]), 0);
}

}  // namespace
}  // namespace sim
