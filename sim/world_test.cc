#include "sim/world.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "sim/recording_tap.h"
#include "sim/records.h"

namespace sim {
namespace {

using platform::RunningApplication;

// ---- Clock and loop -----------------------------------------------------------------------

// Work runs in due order with the clock at each due time; a sleep blocks the loop and is recorded;
// the loop keeps a timer without a handle, and one that fell behind fires once and keeps its
// rhythm.
TEST(SimLoop, WorkRunsInDueOrderOnTheVirtualClock) {
  World world;
  platform::MainLoop& loop = world.mainLoop();
  std::vector<std::string> log;
  const auto note = [&](std::string what) {
    return [&, what] { log.push_back(what + " " + std::to_string(world.now())); };
  };
  (void)loop.scheduledTimer(0.002, true, note("tick"));
  loop.dispatchAfter(0.003, [&] {
    note("late")();
    loop.dispatchAfter(0, note("chained"));  // queued for now by running work: this pass
  });
  loop.dispatchAfter(0.001, note("early"));
  world.advance(5000);
  EXPECT_EQ(log, (std::vector<std::string>{"early 1000", "tick 2000", "late 3000", "chained 3000",
                                           "tick 4000"}));
  loop.sleepMicroseconds(3000);
  loop.sleepMicroseconds(55000);
  EXPECT_EQ(log.size(), 5u);
  EXPECT_EQ(world.takePauses(), (std::vector<Micros>{3000, 55000}));
  world.advance(999);
  world.advance(1);
  EXPECT_EQ(log, (std::vector<std::string>{"early 1000", "tick 2000", "late 3000", "chained 3000",
                                           "tick 4000", "tick 63000", "tick 64000"}));

  // A non-positive interval means 0.1 ms; a null block, NaN and huge delays are tamed.
  int zero = 0;
  (void)loop.scheduledTimer(0, true, [&] { ++zero; });
  (void)loop.scheduledTimer(std::nan(""), false, [] {});
  loop.dispatchAfter(1e300, [] {});
  loop.dispatchAfter(0.001, nullptr);
  world.advance(1000);
  EXPECT_EQ(zero, 10);
}

// ---- Notifications ------------------------------------------------------------------------

TEST(SimNotifications, TrustChangesPostTheAccessibilityNotificationOnTheLoop) {
  World world;
  platform::DistributedNotifications& dn = world.distributedNotifications();
  int heard = 0;
  const auto token =
      dn.addObserver("com.apple.accessibility.api",
                     platform::SuspensionBehavior::kDeliverImmediately, [&] { ++heard; });
  world.setTrusted(true);
  EXPECT_EQ(heard, 0) << "delivered on the main loop, not inside the change";
  world.runPending();
  world.setTrusted(true);  // no change, no notification
  world.setTrusted(false);
  // Removal stops later notifications; one already queued is still delivered.
  dn.removeObserver(token);
  world.runPending();
  world.setTrusted(true);
  world.runPending();
  EXPECT_EQ(heard, 2);
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
    addFocusedApp(world, pid, false);
    world.application(pid)->localizedName = "App" + std::to_string(pid);
  }
  std::vector<std::optional<RunningApplication>> seen;
  const auto token =
      ws.addDidActivateApplicationObserver([&](const auto& app) { seen.push_back(app); });
  world.activate(1);
  world.faults().activationWithoutApplication = true;
  world.activate(2);
  world.activate(99);  // no such application: nothing happens
  ws.removeObserver(token);
  world.activate(1);
  world.runPending();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0]->localizedName, "App1");
  EXPECT_EQ(seen[1], std::nullopt);
  world.removeApplication(1);
  EXPECT_EQ(world.frontmost(), std::nullopt) << "a quit application is no longer in front";
}

// NSWorkspace answers from what it saw when the main loop last turned; the accessibility server
// answers live.
TEST(SimWorkspace, InsideOneBlockingCallTheWorkspaceKeepsItsAnswersTheAccessibilityServerNot) {
  World world;
  world.setTrusted(true);
  addFocusedApp(world, 2, false);
  addFocusedApp(world, 1);
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

// ---- Input sources ------------------------------------------------------------------------

TEST(SimInputSources, OnlyEnabledSourcesAreListedUnlessAllInstalledAreAsked) {
  World world;
  platform::InputSources& is = world.inputSources();
  std::vector<InputSourceState>& sources = world.inputSourceList();
  sources[1].enabled = false;  // Russian installed but switched off
  const platform::InputSourceFilter keyboards{
      std::string(platform::kTISCategoryKeyboardInputSource), true, true};
  EXPECT_EQ(is.createInputSourceList(keyboards, false)->size(), 1u);
  EXPECT_EQ(is.createInputSourceList({}, false)->size(), 1u);
  EXPECT_EQ(is.createInputSourceList({}, true)->size(), 2u);

  // A refused selection changes nothing; a source switched off cannot be selected.
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
}

// ---- Pasteboard ---------------------------------------------------------------------------

TEST(SimPasteboard, PlainTextLivesOnTheFirstItemOfferingIt) {
  World world;
  platform::Pasteboard& pb = world.pasteboard();
  std::vector<PasteboardItemState>& items = world.pasteboardItems();
  const auto bytes = [](std::string_view s) { return platform::Bytes(s.begin(), s.end()); };
  items.push_back({{{"public.png", bytes("PNG")}}, {}});
  items.push_back({{{"public.utf8-plain-text", bytes("second")}}, {}});
  EXPECT_EQ(pb.stringForType(platform::kPasteboardTypeString), "second");

  // Setting a string adds the type to the first item, or replaces it there.
  EXPECT_TRUE(pb.setStringForType("first", platform::kPasteboardTypeString));
  EXPECT_TRUE(pb.setStringForType("again", platform::kPasteboardTypeString));
  EXPECT_EQ(items[0].types.size(), 2u);
  EXPECT_EQ(pb.stringForType(platform::kPasteboardTypeString), "again");

  // Data that cannot be read, or is not UTF-8, gives no string.
  items[0].unreadableTypes.insert("public.utf8-plain-text");
  EXPECT_EQ(pb.stringForType(platform::kPasteboardTypeString), std::nullopt);
  items[0].unreadableTypes.clear();
  items[0].types[1].second = {'a', 0xC3};
  EXPECT_EQ(pb.stringForType(platform::kPasteboardTypeString), std::nullopt);
}

// ---- Records ------------------------------------------------------------------------------

TEST(RecentRecords, KeepTheNewestWindowAndCountEverything) {
  struct Case {
    size_t window;
    int pushes;
    std::vector<int> taken;
    uint64_t dropped;
  };
  const Case cases[] = {
      {3, 2, {0, 1}, 0}, {3, 3, {0, 1, 2}, 0}, {3, 5, {2, 3, 4}, 2}, {1, 4, {3}, 3}, {0, 4, {}, 4},
  };
  for (const Case& c : cases) {
    RecentRecords<int> record(c.window);
    for (int i = 0; i < c.pushes; ++i) record.push(i);
    EXPECT_EQ(record.dropped(), c.dropped) << c.window << "/" << c.pushes;
    EXPECT_EQ(record.take(), c.taken) << c.window << "/" << c.pushes;
    EXPECT_EQ(record.total(), static_cast<uint64_t>(c.pushes));
    EXPECT_EQ(record.dropped(), 0u) << "a take starts afresh";
    EXPECT_TRUE(record.take().empty());
  }
  RecentRecords<std::string> record(5);
  for (const char* s : {"a", "b", "c", "d"}) record.push(s);
  record.setWindow(2);  // forgets the oldest at once
  record.push("e");
  EXPECT_EQ(record.take(), (std::vector<std::string>{"d", "e"}));
}

// The world's records of a long run: bounded windows, exact totals.
TEST(WorldRecords, PausesLogAndTraceKeepAWindowAndTheirTotals) {
  World world;
  world.setRecordWindow(4);
  for (uint32_t i = 1; i <= 10; ++i) {
    world.mainLoop().sleepMicroseconds(i);
    world.log().write("line " + std::to_string(i));
  }
  EXPECT_EQ(world.takePauses(), (std::vector<Micros>{7, 8, 9, 10}));
  EXPECT_EQ(world.takeLog(), (std::vector<std::string>{"line 7", "line 8", "line 9", "line 10"}));
  const Records r = world.records();
  EXPECT_EQ(r.pauses.total, 10u);
  EXPECT_EQ(r.pausedMicros, 55);
  EXPECT_EQ(r.trace.total, 20u) << "each sleep and each log line";
  EXPECT_EQ(r.trace.dropped, 16u);
  EXPECT_EQ(world.takeTrace().size(), 4u);
}

}  // namespace
}  // namespace sim
