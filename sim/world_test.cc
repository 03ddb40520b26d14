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
  loop.scheduledTimer(0.002, true, [&] { note("tick"); });
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
  loop.scheduledTimer(0.01, true, [&] { ++ticks; });
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
  loop.scheduledTimer(0.001, true, [&] { ++kept; });
  const platform::Timer fast = loop.scheduledTimer(0, true, [&] { ++zero; });
  const platform::Timer odd = loop.scheduledTimer(std::nan(""), false, [] {});
  loop.dispatchAfter(1e300, [] {});
  loop.dispatchAfter(0.001, nullptr);
  world.advance(1000);
  EXPECT_EQ(kept, 1);
  EXPECT_EQ(zero, 10);  // a non-positive interval means 0.1 ms
  loop.invalidate(fast);
}

// ---- Permissions and notifications --------------------------------------------------------

TEST(SimPermissions, RequestsAnswerTheCurrentStateAndAreCounted) {
  World world;
  platform::Events& ev = world.events();
  platform::Accessibility& ax = world.accessibility();
  EXPECT_FALSE(ax.isProcessTrustedWithOptions(true));
  EXPECT_FALSE(ax.isProcessTrustedWithOptions(false));
  EXPECT_FALSE(ev.requestListenEventAccess());
  EXPECT_FALSE(ev.requestPostEventAccess());
  EXPECT_FALSE(ev.preflightPostEventAccess());
  EXPECT_EQ(world.trustPrompts(), 1);
  EXPECT_EQ(world.listenRequests(), 1);
  EXPECT_EQ(world.postRequests(), 1);

  world.setTrusted(true);
  world.setListenAccess(true);
  world.setPostAccess(true);
  EXPECT_TRUE(ax.isProcessTrusted());
  EXPECT_TRUE(ev.preflightListenEventAccess());
  EXPECT_TRUE(ev.requestPostEventAccess());
}

TEST(SimNotifications, TrustChangesPostTheAccessibilityNotificationOnTheLoop) {
  World world;
  platform::DistributedNotifications& dn = world.distributedNotifications();
  int accessibility = 0, other = 0;
  const auto a = dn.addObserver("com.apple.accessibility.api", [&] { ++accessibility; });
  const auto b = dn.addObserver("com.example.other", [&] { ++other; });
  EXPECT_EQ(world.observerCount(), 2);

  world.setTrusted(true);
  EXPECT_EQ(accessibility, 0) << "delivered on the main loop, not inside the change";
  world.runPending();
  EXPECT_EQ(accessibility, 1);
  world.setTrusted(true);  // no change, no notification
  world.setListenAccess(true);
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

// ---- Workspace ----------------------------------------------------------------------------

TEST(SimWorkspace, ApplicationsActivationAndUrls) {
  World world;
  platform::Workspace& ws = world.workspace();
  AppState b;
  b.pid = 2;
  b.bundleIdentifier = "com.b";
  b.localizedName = "B";
  world.addApplication(b);
  AppState a;
  a.pid = 1;
  a.localizedName = "A";
  world.addApplication(a);
  EXPECT_EQ(ws.frontmostApplication(), std::nullopt);
  const auto running = ws.runningApplications();
  ASSERT_EQ(running.size(), 2u);
  EXPECT_EQ(running[0].processIdentifier, 2);  // workspace order, not pid order
  EXPECT_EQ(running[1], (RunningApplication{1, std::nullopt, "A"}));

  std::vector<std::optional<RunningApplication>> seen;
  const auto token =
      ws.addDidActivateApplicationObserver([&](const auto& app) { seen.push_back(app); });
  world.activate(1);
  EXPECT_EQ(ws.frontmostApplication()->processIdentifier, 1);
  EXPECT_TRUE(seen.empty());
  world.runPending();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0]->localizedName, "A");

  world.faults().activationWithoutApplication = true;
  world.activate(2);
  world.activate(99);  // no such application: nothing happens
  world.runPending();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[1], std::nullopt);
  EXPECT_EQ(world.frontmost(), 2);

  ws.removeObserver(token);
  world.activate(1);
  world.runPending();
  EXPECT_EQ(seen.size(), 2u);

  world.removeApplication(1);
  EXPECT_EQ(world.frontmost(), std::nullopt) << "a quit application is no longer in front";
  EXPECT_TRUE(ws.openURL("x-apple.systempreferences:com.apple.preference.security"));
  EXPECT_EQ(world.takeOpenedURLs(),
            (std::vector<std::string>{"x-apple.systempreferences:com.apple.preference.security"}));
}

// ---- Input sources, login item, process ---------------------------------------------------

TEST(SimInputSources, FilteringAndSelection) {
  World world;
  platform::InputSources& is = world.inputSources();
  std::vector<InputSourceState>& sources = world.inputSourceList();
  InputSourceState palette;
  palette.id = "com.apple.CharacterPaletteIM";
  palette.category = "TISCategoryPaletteInputSource";
  palette.languages = std::nullopt;
  sources.push_back(palette);
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
  EXPECT_EQ(ids({}, false),
            (std::vector<std::string>{"com.apple.keylayout.US", "com.apple.CharacterPaletteIM"}));
  platform::InputSourceFilter disabled;
  disabled.isEnabled = false;
  EXPECT_EQ(ids(disabled, true),
            (std::vector<std::string>{"com.apple.keylayout.Russian"}));
  EXPECT_EQ(ids({}, true).size(), 3u);

  const auto all = *is.createInputSourceList({}, true);
  EXPECT_EQ(is.languages(all[0]), (std::vector<std::optional<std::string>>{"en"}));
  EXPECT_EQ(is.languages(all[2]), std::nullopt);

  sources[1].enabled = true;
  sources[1].selectStatus = -25;
  EXPECT_EQ(is.select(all[1]), -25);
  EXPECT_EQ(world.selectedInputSource(), "com.apple.keylayout.US");
  sources[1].selectStatus = 0;
  EXPECT_EQ(is.select(all[1]), 0);
  EXPECT_EQ(world.selectedLayout(), "ru");
  EXPECT_NE(is.select(nullptr), 0);

  world.faults().inputSourceListNil = true;
  EXPECT_EQ(is.createInputSourceList(keyboards, false), std::nullopt);
  // A source that disappeared answers nothing rather than stale data.
  sources.erase(sources.begin());
  EXPECT_EQ(is.sourceID(all[0]), std::nullopt);
  EXPECT_EQ(is.languages(all[0]), std::nullopt);
}

TEST(SimLoginItems, RegistrationAndRefusals) {
  World world;
  platform::LoginItems& li = world.loginItems();
  EXPECT_EQ(li.status(), platform::kSMAppServiceStatusNotRegistered);
  EXPECT_TRUE(li.registerMainApp().succeeded);
  EXPECT_EQ(li.status(), platform::kSMAppServiceStatusEnabled);

  world.loginItem().refuse = true;
  platform::LoginItemOutcome out = li.unregisterMainApp();
  EXPECT_FALSE(out.succeeded);
  EXPECT_EQ(out.errorDescription, "Operation not permitted");
  EXPECT_EQ(li.status(), platform::kSMAppServiceStatusEnabled);
  world.loginItem().refusalDescription = std::nullopt;
  out = li.registerMainApp();
  EXPECT_FALSE(out.succeeded);
  EXPECT_EQ(out.errorDescription, std::nullopt);
}

TEST(SimProcess, IdentityVersionAndLog) {
  World world;
  EXPECT_EQ(world.processInfo().processIdentifier(), 4242);
  world.setHostPid(77);
  EXPECT_EQ(world.processInfo().processIdentifier(), 77);
  EXPECT_EQ(world.processInfo().operatingSystemVersion(),
            (platform::OperatingSystemVersion{14, 0, 0}));
  world.setOperatingSystemVersion({12, 7, 1});
  EXPECT_EQ(world.processInfo().operatingSystemVersion().majorVersion, 12);
  world.log().write("[Velloc] a");
  world.log().write("[Velloc] b");
  EXPECT_EQ(world.takeLog(), (std::vector<std::string>{"[Velloc] a", "[Velloc] b"}));
  EXPECT_TRUE(world.takeLog().empty());
  EXPECT_EQ(&platform::processPlatform(), &processWorld());
}

}  // namespace
}  // namespace sim
