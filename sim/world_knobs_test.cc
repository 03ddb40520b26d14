// The knobs a faithful scenario needs: permissions by tap kind, prompts answered
// later, focus without a frontmost application, changes at a virtual time, and the fault and
// count knobs of the accessibility, pasteboard, login-item and input-source services.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/recording_tap.h"
#include "sim/world.h"

namespace sim {
namespace {

using platform::AXAttributeValue;

constexpr uint64_t kKeys = platform::eventMaskBit(platform::kCGEventKeyDown) |
                           platform::eventMaskBit(platform::kCGEventFlagsChanged);

RecordingTap installTap(World& world, Recorder& r, platform::TapOptions options) {
  return installRecordingTap(world.events(), r, options, kKeys);
}

// An application in front (or not) whose field holds `text` and edits at its end.
void addApp(World& world, int32_t pid, std::u16string text, bool front = true) {
  ElementState& field = addFocusedApp(world, pid, front);
  field.value = std::move(text);
  field.selection.reset();
}

TEST(SimTapPermissions, EachKindOfTapNeedsItsOwnPermission) {
  struct Case {
    platform::TapOptions options;
    bool trusted, listen;
    bool created;
    bool resigned = false;  // AXIsProcessTrusted answers true, taps get no grant
  };
  constexpr auto kActive = platform::kCGEventTapOptionDefault;
  constexpr auto kListenOnly = platform::kCGEventTapOptionListenOnly;
  const Case cases[] = {
      {kActive, false, false, false},     {kActive, false, true, false},
      {kActive, true, false, true},       {kListenOnly, false, false, false},
      {kListenOnly, false, true, true},   {kListenOnly, true, false, true},
      {kActive, true, true, false, true}, {kListenOnly, true, false, false, true},
  };
  for (const Case& c : cases) {
    World world;
    world.setTrusted(c.trusted);
    world.setListenAccess(c.listen);
    if (c.resigned) world.resignApp();
    EXPECT_EQ(world.accessibility().isProcessTrusted(), c.trusted);
    Recorder r;
    RecordingTap tap = installTap(world, r, c.options);
    EXPECT_EQ(tap.port != nullptr, c.created)
        << c.options << " trusted " << c.trusted << " listen " << c.listen << " " << c.resigned;
    if (!tap.port) continue;
    world.pressKey(0);
    world.runPending();
    EXPECT_EQ(r.seen.size(), 1u);
  }
}

// Switched off or its row deleted, the grant is gone for taps: an active tap is no longer
// serviced and holds each event it covers until the tap timeout switches it off, or until it is
// let go; a listen-only one holds nothing and sees nothing more.
TEST(SimTapPermissions, WithoutTheGrantAnActiveTapHoldsEachEventUntilSwitchedOff) {
  for (const bool rowDeleted : {false, true}) {
    World world;
    world.setTrusted(true);
    ElementState& field = addFocusedApp(world, 5);
    Recorder active, listenOnly;
    RecordingTap a = installTap(world, active, platform::kCGEventTapOptionDefault);
    RecordingTap l = installTap(world, listenOnly, platform::kCGEventTapOptionListenOnly);
    rowDeleted ? world.deleteAccessibilityRow() : world.setTrusted(false);
    EXPECT_EQ(world.accessibility().isProcessTrusted(), rowDeleted);
    world.pressKey(0);
    world.advance(999'999);
    EXPECT_EQ(field.value, u"") << rowDeleted;
    world.advance(1);
    EXPECT_EQ(field.value, u"a");
    ASSERT_EQ(active.seen.size(), 1u);
    EXPECT_EQ(active.seen[0].type, platform::kCGEventTapDisabledByTimeout);
    EXPECT_TRUE(listenOnly.seen.empty());
    world.pressKey(0);
    world.runPending();
    EXPECT_EQ(field.value, u"aa") << "switched off, it holds nothing";

    world.events().tapEnable(a.port, true);
    world.pressKey(0);
    world.advance(500'000);
    world.events().tapEnable(a.port, false);
    world.runPending();
    EXPECT_EQ(field.value, u"aaa") << "let go at once when switched off";
    EXPECT_EQ(active.seen.size(), 1u);

    const std::vector<TapInfo> taps = world.taps();
    ASSERT_EQ(taps.size(), 2u);
    EXPECT_FALSE(taps[0].enabled);
    EXPECT_TRUE(taps[1].enabled);
    EXPECT_EQ(taps[1].options, platform::kCGEventTapOptionListenOnly);
    EXPECT_EQ(taps[1].mask, kKeys);
    EXPECT_TRUE(taps[1].onMainRunLoop);
    world.events().removeSource(world.events().mainRunLoop(), l.source);
    EXPECT_FALSE(world.taps()[1].onMainRunLoop);
  }
}

TEST(SimPrompts, TheUserGrantsAtTheChosenTimeAfterThePrompt) {
  World world;
  int notified = 0;
  auto token = world.distributedNotifications().addObserver(
      "com.apple.accessibility.api", platform::SuspensionBehavior::kDeliverImmediately,
      [&] { ++notified; });
  PromptAnswers answers;
  answers.accessibility = 2'000'000;
  answers.listen = 500;
  world.setPromptAnswers(answers);
  EXPECT_FALSE(world.accessibility().isProcessTrustedWithOptions(false));
  world.advance(5'000'000);
  EXPECT_FALSE(world.trusted()) << "no prompt, no answer";

  EXPECT_FALSE(world.accessibility().isProcessTrustedWithOptions(true));
  world.advance(1'000'000);
  EXPECT_FALSE(world.accessibility().isProcessTrustedWithOptions(true)) << "still deciding";
  world.advance(999'999);
  EXPECT_FALSE(world.trusted());
  world.advance(1);
  EXPECT_TRUE(world.trusted());
  EXPECT_EQ(notified, 1) << "one dialog, one answer";
  EXPECT_EQ(world.trustPrompts(), 2);

  EXPECT_FALSE(world.events().requestListenEventAccess());
  EXPECT_FALSE(world.postAccess());
  world.mainLoop().sleepMicroseconds(500);  // the user answers while the host is blocked
  EXPECT_TRUE(world.listenAccess());
  EXPECT_FALSE(world.events().requestPostEventAccess());
  world.advance(86'400'000'000);
  EXPECT_FALSE(world.postAccess()) << "no answer chosen: the dialog stays unanswered";
}

TEST(SimFocus, ASystemWideFocusNeedsNoFrontmostApplication) {
  World world;
  world.setTrusted(true);
  addApp(world, 8, u"panel", false);
  EXPECT_EQ(world.workspace().frontmostApplication(), std::nullopt);
  platform::Accessibility& ax = world.accessibility();
  AXAttributeValue focused;
  EXPECT_EQ(ax.copyAttributeValue(ax.createSystemWide(), "AXFocusedUIElement", focused),
            platform::kAXErrorNoValue);

  world.setSystemWideFocus(8);
  ASSERT_EQ(ax.copyAttributeValue(ax.createSystemWide(), "AXFocusedUIElement", focused),
            platform::kAXErrorSuccess);
  AXAttributeValue value;
  EXPECT_EQ(ax.copyAttributeValue(std::get<platform::AXElement>(focused), "AXValue", value),
            platform::kAXErrorSuccess);
  EXPECT_EQ(value, AXAttributeValue(std::u16string(u"panel")));

  world.removeApplication(8);
  EXPECT_EQ(world.systemWideFocus(), std::nullopt);
}

TEST(SimScheduledChanges, LandInOrderAlsoDuringABlockingPause) {
  World world;
  std::vector<std::pair<Micros, std::string>> happened;
  auto mark = [&](std::string what) {
    return [&, what] { happened.emplace_back(world.now(), what); };
  };
  world.at(3'000, mark("focus moves"));
  world.at(1'000, mark("text changes"));
  world.at(9'000, mark("app quits"));
  world.mainLoop().dispatchAfter(0.003, mark("delayed block"));
  EXPECT_EQ(world.scheduledChangeCount(), 3);

  world.mainLoop().sleepMicroseconds(5'000);
  EXPECT_EQ(world.now(), 5'000);
  ASSERT_EQ(happened.size(), 2u) << "the main thread's work waits; the world does not";
  EXPECT_EQ(happened[0], (std::pair<Micros, std::string>(1'000, "text changes")));
  EXPECT_EQ(happened[1], (std::pair<Micros, std::string>(3'000, "focus moves")));

  world.runPending();
  ASSERT_EQ(happened.size(), 3u);
  EXPECT_EQ(happened[2].second, "delayed block");
  world.advance(10'000);
  ASSERT_EQ(happened.size(), 4u);
  EXPECT_EQ(happened[3], (std::pair<Micros, std::string>(9'000, "app quits")));
  EXPECT_EQ(world.scheduledChangeCount(), 0);
}

class SimServiceKnobs : public ::testing::Test {
 protected:
  SimServiceKnobs() {
    world.setTrusted(true);
    addApp(world, 4, u"text");
  }
  platform::AXElement focused() {
    AXAttributeValue v;
    (void)ax.copyAttributeValue(ax.createSystemWide(), "AXFocusedUIElement", v);
    return std::get<platform::AXElement>(v);
  }
  World world;
  platform::Accessibility& ax = world.accessibility();
};

TEST_F(SimServiceKnobs, AccessibilityAnswersOddValuesAndErrors) {
  ElementState& el = *world.focusedElement();
  el.settableErrors["AXValue"] = platform::kAXErrorCannotComplete;
  el.subroleNotString = true;
  el.valueIsAttributed = true;
  bool settable = false;
  EXPECT_EQ(ax.isAttributeSettable(focused(), "AXValue", settable),
            platform::kAXErrorCannotComplete);
  EXPECT_EQ(ax.isAttributeSettable(focused(), "AXSelectedText", settable),
            platform::kAXErrorSuccess);
  AXAttributeValue v;
  EXPECT_EQ(ax.copyAttributeValue(focused(), "AXSubrole", v), platform::kAXErrorSuccess);
  EXPECT_EQ(v, AXAttributeValue(platform::AXOtherValue{"CFNumber"}));
  EXPECT_EQ(ax.copyAttributeValue(focused(), "AXValue", v), platform::kAXErrorSuccess);
  EXPECT_EQ(v, AXAttributeValue(platform::AXOtherValue{"CFAttributedString"}));
}

TEST_F(SimServiceKnobs, AnApplicationThatFailsOnlyOnWrites) {
  world.application(4)->failsWrites = true;
  const platform::AXElement el = focused();
  AXAttributeValue v;
  EXPECT_EQ(ax.copyAttributeValue(el, "AXValue", v), platform::kAXErrorSuccess);
  bool settable = false;
  EXPECT_EQ(ax.isAttributeSettable(el, "AXValue", settable), platform::kAXErrorSuccess);
  EXPECT_TRUE(settable);
  for (const char* attribute : {"AXValue", "AXSelectedText"}) {
    EXPECT_EQ(ax.setAttributeValue(el, attribute, std::u16string(u"new")),
              platform::kAXErrorCannotComplete)
        << attribute;
  }
  EXPECT_EQ(ax.setAttributeValue(ax.createApplication(4), "AXManualAccessibility", true),
            platform::kAXErrorCannotComplete);
  EXPECT_EQ(world.focusedElement()->value, u"text");
}

TEST_F(SimServiceKnobs, PasteboardFailsOneSetDataAndItsTypesAndCountsWrites) {
  platform::Pasteboard& pb = world.pasteboard();
  world.faults().setDataFailures = {1};
  const platform::PasteboardItem first = pb.createItem();
  const platform::PasteboardItem second = pb.createItem();
  EXPECT_TRUE(pb.setDataForType(first, {'a'}, "public.utf8-plain-text"));
  EXPECT_FALSE(pb.setDataForType(second, {'b'}, "public.utf8-plain-text"));
  EXPECT_TRUE(pb.setDataForType(second, {'c'}, "public.utf8-plain-text"));
  (void)pb.clearContents();
  EXPECT_TRUE(pb.writeObjects({first, second}));
  EXPECT_FALSE(pb.writeObjects({first})) << "already written";
  EXPECT_EQ(world.callCounts().writeObjects, 2);
  EXPECT_EQ(world.callCounts().setData, 3);
  const auto items = pb.pasteboardItems();
  ASSERT_TRUE(items && items->size() == 2);
  EXPECT_EQ(pb.types((*items)[1]), std::vector<std::string>{"public.utf8-plain-text"});
  world.faults().pasteboardTypesFail = true;
  EXPECT_TRUE(pb.types((*items)[1]).empty());
}

TEST_F(SimServiceKnobs, LoginItemRefusesEachWayApartAndCountsCalls) {
  platform::LoginItems& li = world.loginItems();
  world.loginItem().refuseUnregister = true;
  EXPECT_TRUE(li.registerMainApp().succeeded);
  EXPECT_EQ(li.status(), platform::kSMAppServiceStatusEnabled);
  EXPECT_FALSE(li.unregisterMainApp().succeeded);
  EXPECT_EQ(li.status(), platform::kSMAppServiceStatusEnabled);
  world.loginItem() = LoginItemState{};
  world.loginItem().status = -7;
  world.loginItem().refuseRegister = true;
  EXPECT_FALSE(li.registerMainApp().succeeded);
  EXPECT_EQ(li.status(), -7);
  EXPECT_FALSE(li.unregisterMainApp().succeeded) << "nothing registered to remove";
  world.loginItem().status = platform::kSMAppServiceStatusRequiresApproval;
  EXPECT_TRUE(li.unregisterMainApp().succeeded);
  const CallCounts& c = world.callCounts();
  EXPECT_EQ(c.loginItemRegister, 2);
  EXPECT_EQ(c.loginItemUnregister, 3);
  EXPECT_EQ(c.loginItemStatus, 3);
}

TEST_F(SimServiceKnobs, InputSourceListsThatAreNoListAndSelectCounts) {
  platform::InputSources& is = world.inputSources();
  const auto list = is.createInputSourceList({}, false);
  ASSERT_TRUE(list && list->size() == 2);
  EXPECT_EQ(is.select((*list)[1]), 0);
  EXPECT_EQ(is.select(nullptr), -50);
  for (bool Faults::*fault :
       {&Faults::inputSourceListNotArray, &Faults::inputSourceListHoldsNonSources}) {
    world.faults() = {};
    world.faults().*fault = true;
    EXPECT_EQ(is.createInputSourceList({}, true), std::nullopt);
  }
  EXPECT_EQ(world.callCounts().inputSourceLists, 3);
  EXPECT_EQ(world.callCounts().inputSourceSelects, 2);
}

TEST_F(SimServiceKnobs, TheTraceShowsTheHostsCallsInOrderWithTheirTimes) {
  world.takeTrace();
  const platform::AXElement el = focused();
  world.mainLoop().sleepMicroseconds(10);
  (void)ax.setAttributeValue(el, "AXValue", std::u16string(u"new"));
  (void)world.pasteboard().clearContents();
  world.mainLoop().dispatchAfter(0.001, [] {});
  (void)world.mainLoop().scheduledTimer(0.0005, false, [] {});
  world.advance(2'000);
  world.note("call", "from the host");
  std::vector<std::string> lines;
  for (const TraceEntry& e : world.takeTrace()) {
    lines.push_back(std::to_string(e.time) + " " + e.kind + " " + e.detail);
  }
  EXPECT_EQ(lines, (std::vector<std::string>{
                       "0 ax.read AXFocusedUIElement of system-wide: ok focused element of 4",
                       "0 sleep 10 us",
                       "10 ax.write AXValue of focused element of 4 = \"new\": ok",
                       "10 pasteboard clearContents: change count 1",
                       "10 dispatch block 1 after 1000 us",
                       "10 timer timer 1 once after 500 us",
                       "510 timer.fire timer 1",
                       "1010 dispatch.run block 1",
                       "2010 call from the host",
                   }));
}

TEST_F(SimServiceKnobs, PendingWorkListsLiveTimersAndBlocksNotYetRun) {
  platform::MainLoop& loop = world.mainLoop();
  const platform::Timer repeating = loop.scheduledTimer(2, true, [] {});
  const platform::Timer once = loop.scheduledTimer(1, false, [] {});
  loop.dispatchAfter(0.3, [] {});
  std::vector<PendingWork> pending = world.pendingWork();
  ASSERT_EQ(pending.size(), 3u);
  EXPECT_TRUE(pending[0].isTimer && pending[0].repeats);
  EXPECT_EQ(pending[0].due, 2'000'000);
  EXPECT_FALSE(pending[2].isTimer);
  EXPECT_EQ(pending[2].due, 300'000);

  world.advance(2'500'000);
  pending = world.pendingWork();
  ASSERT_EQ(pending.size(), 1u) << "the block ran, the one-shot timer fired";
  EXPECT_EQ(pending[0].due, 4'000'000) << "the repeating timer's next fire";
  loop.invalidate(repeating);
  EXPECT_TRUE(world.pendingWork().empty());
}

}  // namespace
}  // namespace sim
