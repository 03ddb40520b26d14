// The knobs a faithful scenario needs: prompts answered later, focus without a frontmost
// application, changes at a virtual time, and the fault and count knobs of the services.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "sim/recording_tap.h"
#include "sim/world.h"

namespace sim {
namespace {

using platform::AXAttributeValue;

TEST(SimPrompts, TheUserGrantsAtTheChosenTimeAfterThePrompt) {
  World world;
  int notified = 0;
  auto token = world.distributedNotifications().addObserver(
      "com.apple.accessibility.api", platform::SuspensionBehavior::kDeliverImmediately,
      [&] { ++notified; });
  world.setPromptAnswers({.accessibility = 2'000'000, .listen = 500, .post = std::nullopt});
  EXPECT_FALSE(world.accessibility().isProcessTrustedWithOptions(false));
  world.advance(5'000'000);
  EXPECT_FALSE(world.trusted()) << "no prompt, no answer";

  EXPECT_FALSE(world.accessibility().isProcessTrustedWithOptions(true));
  world.advance(1'999'999);
  EXPECT_FALSE(world.trusted());
  world.advance(1);
  EXPECT_TRUE(world.trusted());
  EXPECT_EQ(notified, 1);

  EXPECT_FALSE(world.events().requestListenEventAccess());
  world.mainLoop().sleepMicroseconds(500);  // the user answers while the host is blocked
  EXPECT_TRUE(world.listenAccess());
  EXPECT_FALSE(world.events().requestPostEventAccess());
  world.advance(86'400'000'000);
  EXPECT_FALSE(world.postAccess()) << "no answer chosen: the dialog stays unanswered";
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
  world.runPending();
  world.advance(10'000);
  EXPECT_EQ(happened, (std::vector<std::pair<Micros, std::string>>{{1'000, "text changes"},
                                                                   {3'000, "focus moves"},
                                                                   {5'000, "delayed block"},
                                                                   {9'000, "app quits"}}));
  EXPECT_EQ(world.scheduledChangeCount(), 0);
}

// Each knob changes the answer it names; the call counts count every call. A trusted world with
// application 4 in front, its field holding "text".
TEST(SimServiceKnobs, EachKnobChangesTheAnswerItNames) {
  using Knob = std::function<void(World&, ElementState&)>;
  using Call = std::function<std::string(World&, platform::Accessibility&, platform::AXElement)>;
  struct Row {
    const char* what;
    Knob knob;
    Call call;
    std::string answer;
  };
  // The results in the order given (a braced list is evaluated in order).
  const auto all = [](std::initializer_list<int64_t> results) {
    std::string out;
    for (const int64_t r : results) out += (out.empty() ? "" : " ") + std::to_string(r);
    return out;
  };
  AXAttributeValue v;
  // The type named by what a read of `attribute` gave.
  const auto readsType = [&v](const char* attribute) {
    return [&v, attribute](auto&, auto& ax, auto el) {
      (void)ax.copyAttributeValue(el, attribute, v);
      return std::get<platform::AXOtherValue>(v).typeName;
    };
  };
  bool settable = false;
  const Row rows[] = {
      {"settable error", [](auto&, auto& e) { e.settableErrors["AXValue"] = -25204; },
       [&](auto&, auto& ax, auto el) {
         return all({ax.isAttributeSettable(el, "AXValue", settable),
                     ax.isAttributeSettable(el, "AXSelectedText", settable)});
       },
       "-25204 0"},
      {"subrole a number", [](auto&, auto& e) { e.subroleNotString = true; },
       readsType("AXSubrole"), "CFNumber"},
      {"attributed value", [](auto&, auto& e) { e.valueIsAttributed = true; }, readsType("AXValue"),
       "CFAttributedString"},
      {"fails writes", [](World& w, auto&) { w.application(4)->failsWrites = true; },
       [&](World& w, auto& ax, auto el) {
         return all({ax.copyAttributeValue(el, "AXValue", v),
                     ax.setAttributeValue(el, "AXValue", std::u16string(u"new")),
                     ax.setAttributeValue(ax.createApplication(4), "AXManualAccessibility", true),
                     w.focusedElement()->value == u"text"});
       },
       "0 -25204 -25204 1"},
      // Each set's outcome, the write's, the types written, and the counts of both calls.
      {"one setData fails", [](World& w, auto&) { w.faults().setDataFailures = {1}; },
       [&](World& w, auto&, auto) {
         platform::Pasteboard& pb = w.pasteboard();
         const platform::PasteboardItem item = pb.createItem();
         return all({pb.setDataForType(item, {'x'}, "a"), pb.setDataForType(item, {'x'}, "b"),
                     pb.setDataForType(item, {'x'}, "c"), pb.writeObjects({item}),
                     static_cast<int64_t>(pb.types(pb.pasteboardItems()->at(0)).size()),
                     w.callCounts().setData, w.callCounts().writeObjects});
       },
       "1 0 1 1 2 3 1"},
      {"types fail", [](World& w, auto&) { w.faults().pasteboardTypesFail = true; },
       [&](World& w, auto&, auto) {
         platform::Pasteboard& pb = w.pasteboard();
         return all({pb.setStringForType("x", platform::kPasteboardTypeString),
                     static_cast<int64_t>(pb.types(pb.pasteboardItems()->at(0)).size())});
       },
       "1 0"},
      // Register, unregister, the status; the counts of unregister and status calls.
      {"register refused",
       [](World& w, auto&) {
         w.loginItem().status = -7;
         w.loginItem().refuseRegister = true;
       },
       [&](World& w, auto&, auto) {
         platform::LoginItems& li = w.loginItems();
         return all(
             {li.registerMainApp().succeeded, li.unregisterMainApp().succeeded, li.status()});
       },
       "0 0 -7"},
      {"approval pending",
       [](World& w, auto&) {
         w.loginItem().status = platform::kSMAppServiceStatusRequiresApproval;
       },
       [&](World& w, auto&, auto) {
         platform::LoginItems& li = w.loginItems();
         return all({li.unregisterMainApp().succeeded, li.status(),
                     w.callCounts().loginItemUnregister, w.callCounts().loginItemStatus});
       },
       "1 0 1 1"},
      // Lists refused either way, a null source selected, and the counts of both calls.
      {"input sources", [](World& w, auto&) { w.faults().inputSourceListNotArray = true; },
       [&](World& w, auto&, auto) {
         platform::InputSources& is = w.inputSources();
         const bool notArray = !is.createInputSourceList({}, true);
         w.faults() = {};
         w.faults().inputSourceListHoldsNonSources = true;
         return all({notArray, !is.createInputSourceList({}, true), is.select(nullptr),
                     w.callCounts().inputSourceLists, w.callCounts().inputSourceSelects});
       },
       "1 1 -50 2 1"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    World world;
    world.setTrusted(true);
    ElementState& field = addFocusedApp(world, 4);
    field.value = u"text";
    platform::Accessibility& ax = world.accessibility();
    AXAttributeValue focused;
    (void)ax.copyAttributeValue(ax.createSystemWide(), "AXFocusedUIElement", focused);
    row.knob(world, field);
    EXPECT_EQ(row.call(world, ax, std::get<platform::AXElement>(focused)), row.answer);
  }
}

TEST(SimFocus, ASystemWideFocusNeedsNoFrontmostApplication) {
  World world;
  world.setTrusted(true);
  addFocusedApp(world, 8, false);
  world.setSystemWideFocus(8);
  EXPECT_NE(world.focusedElement(), nullptr);
  world.removeApplication(8);
  EXPECT_EQ(world.systemWideFocus(), std::nullopt);
}

TEST(SimTrace, TheTraceShowsTheHostsCallsInOrderWithTheirTimes) {
  World world;
  world.setTrusted(true);
  addFocusedApp(world, 4);
  world.takeTrace();
  platform::Accessibility& ax = world.accessibility();
  AXAttributeValue v;
  (void)ax.copyAttributeValue(ax.createSystemWide(), "AXFocusedUIElement", v);
  world.mainLoop().sleepMicroseconds(10);
  (void)ax.setAttributeValue(std::get<platform::AXElement>(v), "AXValue", std::u16string(u"new"));
  (void)world.pasteboard().clearContents();
  world.mainLoop().dispatchAfter(0.001, [] {});
  const platform::Timer repeating = world.mainLoop().scheduledTimer(2, true, [] {});
  (void)world.mainLoop().scheduledTimer(0.0005, false, [] {});
  ASSERT_EQ(world.pendingWork().size(), 3u);
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
                       "10 timer timer 1 every 2000000 us",
                       "10 timer timer 2 once after 500 us",
                       "510 timer.fire timer 2",
                       "1010 dispatch.run block 1",
                       "2010 call from the host",
                   }));
  // Pending: the live timers and the blocks not yet run.
  const std::vector<PendingWork> pending = world.pendingWork();
  ASSERT_EQ(pending.size(), 1u);
  EXPECT_EQ(pending[0].due, 2'000'010);
  world.mainLoop().invalidate(repeating);
  EXPECT_TRUE(world.pendingWork().empty());
}

}  // namespace
}  // namespace sim
