#include "velloc/velloc_plugin.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "sim/world.h"
#include "testing/channel_harness.h"

namespace velloc {
namespace {

using channel::Value;
using channel::ValueList;
using channel::ValueMap;
using channel_test::MethodReply;
using Logs = std::vector<std::string>;

constexpr char kChannel[] = "velloc/input_source";
constexpr std::nullopt_t kNotAString = std::nullopt;

// A source of `langs`, of `type` (an input method's mode, say), typing with `layout`.
sim::InputSourceState source(std::string id,
                             std::initializer_list<std::optional<std::string>> langs,
                             std::string layout = "us",
                             std::string_view type = platform::kTISTypeKeyboardLayout) {
  sim::InputSourceState s;
  s.id = std::move(id);
  s.languages = std::vector<std::optional<std::string>>(langs);
  s.layout = std::move(layout);
  s.type = std::string(type);
  return s;
}

// The plug-in on a world of its own, registered once the world's sources are set.
struct Velloc {
  void start() { VellocPlugin::registerWithRegistrar(registrar, world); }
  MethodReply select(const Value& lang) { return call(ValueMap{{"lang", lang}}); }
  MethodReply call(const Value& args) { return h.call(kChannel, "select", args); }

  sim::World world;
  channel_test::ChannelHarness h;
  channel::PluginRegistrar registrar{h.messenger()};
};
struct VellocTest : ::testing::Test, Velloc {
  VellocTest() { start(); }
};

// A Mac whose sources are `menu` (in the Input menu's order) after a keyboard layout "start" of
// no language the plug-in serves, which is selected when the plug-in starts unless `atStart` is.
// The user then selects `userSelects` in turn, and "select" asks for `lang`.
struct Choice {
  std::vector<sim::InputSourceState> menu;
  std::string lang;
  std::string chosen;
  std::vector<std::string> listOrder = {};  // TISCreateInputSourceList's own order
  std::vector<std::string> userSelects = {};
  std::string atStart = "start";
};

// The source "select" selected: the last selection in the trace.
std::string chosenFor(const Choice& c) {
  Velloc v;
  sim::World& world = v.world;
  world.inputSourceList() = c.menu;
  world.inputSourceList().insert(world.inputSourceList().begin(), source("start", {"xx"}));
  world.setInputSourceListOrder(c.listOrder);
  world.selectInputSourceById(c.atStart);
  v.start();
  for (const std::string& id : c.userSelects) {
    world.userSelectInputSource(id);
    world.runPending();  // the host is hidden and not active, as it almost always is
  }
  (void)world.takeTrace();
  EXPECT_EQ(v.select(c.lang), MethodReply::Success());
  EXPECT_EQ(world.takeLog(), Logs{}) << c.chosen;
  std::string chosen;
  for (const sim::TraceEntry& entry : world.takeTrace()) {
    if (entry.kind == "inputSource") chosen = entry.detail.substr(7, entry.detail.find(':') - 7);
  }
  return chosen;
}

TEST(VellocChoiceTest, ChoosesTheLayoutTheUserMeans) {
  constexpr std::string_view kMode = platform::kTISTypeKeyboardInputMode;
  constexpr std::string_view kMethod = platform::kTISTypeKeyboardInputMethodWithoutModes;
  sim::InputSourceState disabled = source("off", {"ru"});
  disabled.enabled = false;
  sim::InputSourceState unselectable = source("unselectable", {"ru"});
  unselectable.selectCapable = false;
  sim::InputSourceState palette = source("palette", {"ru"});
  palette.category = "TISCategoryPaletteInputSource";
  const sim::InputSourceState noLanguages;  // no languages property at all
  const sim::InputSourceState us = source("US", {"en"});
  const sim::InputSourceState abc = source("ABC", {"en", "de", "fr"});
  const sim::InputSourceState german = source("German", {"de"});
  const sim::InputSourceState canadian = source("Canadian", {"fr", "en"});
  const sim::InputSourceState russian = source("Russian", {"ru"}, "ru");
  const sim::InputSourceState phonetic = source("Phonetic", {"ru"}, "ru");
  const Choice rows[] = {
      // In first place wins over an earlier source that lists it later.
      {{source("A", {"de", "en"}), source("B", {"en"})}, "en", "B"},
      {{source("A", {"ru"}, "ru"), source("B", {"ru"}, "ru")}, "ru", "A"},
      // The first fallback is kept while the walk goes on.
      {{source("A", {"uk", "ru"}), source("B", {"be", "ru"})}, "RU", "A"},
      {{source("A", {"uk", "ru"}), source("B", {"be", "ru"}), source("C", {"ru"})}, "ru", "C"},
      // Whole strings only.
      {{source("A", {"en-GB", "eng"}), source("B", {"fr", "en"})}, "En", "B"},
      // Only string entries count: A's first string is "ru".
      {{source("A", {kNotAString, "ru"}), source("B", {"ru"})}, "ru", "A"},
      {{noLanguages, source("B", {}), source("C", {kNotAString, "de", "en"})}, "en", "C"},
      // Disabled, unselectable and non-keyboard sources are not offered.
      {{disabled, unselectable, palette, source("D", {"uk", "ru"})}, "ru", "D"},
      // The system's list, not the menu, orders the walk.
      {{russian, phonetic}, "ru", "Phonetic", {"Phonetic"}},
      // Keyboard layouts first, wherever an input method comes in the list.
      {{source("Romaji", {"en"}, "us", kMode), us}, "en", "US", {"Romaji"}},
      {{source("IME", {"ru"}, "us", kMethod), source("A", {"uk", "ru"})}, "ru", "A"},
      // An input method only when no layout serves the language.
      {{source("Hiragana", {"ja"}, "us", kMode), source("Romaji", {"ja", "en"}, "us", kMode),
        russian},
       "en",
       "Romaji"},
      // "en": the ASCII-capable layout used last, when it serves English.
      {{us, canadian}, "en", "Canadian", {}, {"Canadian"}},
      {{us, german}, "en", "US", {}, {"German"}},
      // The layout of the language that the user selected last, also while the host is hidden.
      {{russian, phonetic, us}, "ru", "Phonetic", {}, {"Phonetic", "US"}},
      {{us, abc, german}, "en", "ABC", {}, {"ABC", "German"}},
      {{us, abc, german}, "en", "ABC", {}, {"German"}, "ABC"},  // selected before it started
      {{russian, phonetic}, "ru", "Russian", {}, {"Phonetic", "Russian"}},
      // An input method's mode is not remembered as the user's layout.
      {{us, abc, source("Romaji", {"en"}, "us", kMode), german},
       "en",
       "ABC",
       {},
       {"ABC", "Romaji", "German"}},
  };
  for (const Choice& row : rows) EXPECT_EQ(chosenFor(row), row.chosen) << row.lang;
}

TEST_F(VellocTest, FailuresAreLoggedAndStillAnswerNull) {
  world.inputSourceList() = {source("A", {"en-US", "ru-RU"}), source("B", {"RU"})};
  EXPECT_EQ(select("ru"), MethodReply::Success());
  EXPECT_EQ(world.selectedInputSource(), "com.apple.keylayout.US");
  world.faults().inputSourceListNil = true;
  EXPECT_EQ(select("ru"), MethodReply::Success());
  world.faults().inputSourceListNil = false;
  world.inputSourceList().clear();
  EXPECT_EQ(select("EN"), MethodReply::Success());
  EXPECT_EQ(world.takeLog(), (Logs{"[Velloc] no enabled input source for lang=ru",
                                   "[Velloc] TISCreateInputSourceList returned nil for lang=ru",
                                   "[Velloc] no enabled input source for lang=en"}));

  // The current source is selected again, so its refusal shows too.
  world.inputSourceList() = {source("us", {"en"}), source("ru", {"ru"}, "ru")};
  world.selectInputSourceById("us");
  world.inputSourceList()[0].selectStatus = -50;
  world.inputSourceList()[1].selectStatus = 2147483647;
  EXPECT_EQ(select("en"), MethodReply::Success());
  EXPECT_EQ(select("ru"), MethodReply::Success());
  EXPECT_EQ(world.selectedInputSource(), "us");
  EXPECT_EQ(world.takeLog(),
            (Logs{"[Velloc] TISSelectInputSource failed (status=-50) for lang=en",
                  "[Velloc] TISSelectInputSource failed (status=2147483647) for lang=ru"}));

  // Nothing is cached: the next call sees the system as it is now, and success logs nothing.
  world.inputSourceList()[1].selectStatus = 0;
  EXPECT_EQ(select("ru"), MethodReply::Success());
  EXPECT_EQ(world.selectedInputSource(), "ru");
  EXPECT_EQ(world.takeLog(), Logs{});
}

TEST_F(VellocTest, BadLangNamesTheLowercasedValueUntrimmed) {
  const std::pair<Value, std::string> cases[] = {
      {Value(), ""},
      {ValueMap{{"lang", int32_t{1}}}, ""},
      {ValueMap{{"Lang", "ru"}}, ""},
      {Value("ru"), ""},
      {ValueMap{{"lang", "DE"}}, "de"},
      {ValueMap{{"lang", " ru"}}, " ru"},
      {ValueMap{{"lang", "RU "}}, "ru "},
      {ValueMap{{"lang", "ÉN"}}, "én"},
  };
  for (const auto& [args, shown] : cases) {
    EXPECT_EQ(call(args),
              MethodReply::Error("bad_lang", "Expected lang=ru|en, got '" + shown + "'"))
        << args;
  }
  EXPECT_EQ(world.selectedInputSource(), "com.apple.keylayout.US");
  EXPECT_EQ(world.takeLog(), Logs{});
  // Other methods are not implemented, whatever their arguments.
  for (const char* method : {"Select", "select ", "listen"}) {
    EXPECT_EQ(h.call(kChannel, method, ValueMap{{"lang", "ru"}}), MethodReply::NotImplemented());
  }
  EXPECT_EQ(world.selectedInputSource(), "com.apple.keylayout.US");
}

TEST(VellocLifetimeTest, EachPlugInHasItsOwnMemoryAndObserverUntilItGoes) {
  sim::World world;
  world.inputSourceList().push_back(source("Phonetic", {"ru"}, "ru"));
  auto first = std::make_unique<channel_test::ChannelHarness>();
  auto firstRegistrar = std::make_unique<channel::PluginRegistrar>(first->messenger());
  channel_test::ChannelHarness second;
  VellocPlugin::registerWithRegistrar(*firstRegistrar, world);
  for (const char* id : {"Phonetic", "com.apple.keylayout.US"}) {
    world.userSelectInputSource(id);
    world.runPending();
  }
  channel::PluginRegistrar secondRegistrar(second.messenger());
  VellocPlugin::registerWithRegistrar(secondRegistrar, world);  // never saw Phonetic in use
  EXPECT_EQ(first->call(kChannel, "select", ValueMap{{"lang", "ru"}}), MethodReply::Success());
  EXPECT_EQ(world.selectedInputSource(), "Phonetic");
  EXPECT_EQ(second.call(kChannel, "select", ValueMap{{"lang", "ru"}}), MethodReply::Success());
  EXPECT_EQ(world.selectedInputSource(), "com.apple.keylayout.Russian");

  // The notices of these selections wait for the main loop; the first plug-in goes before (with
  // its engine, whose messenger holds it).
  const int observers = world.observerCount();
  firstRegistrar.reset();
  first.reset();
  EXPECT_EQ(world.observerCount(), observers - 1);
  world.runPending();  // its queued block finds no plug-in (the sanitizers see a use after free)
}

TEST(VellocEntryTest, TheCEntryRegistersOnTheProcessPlatform) {
  channel_test::ChannelHarness harness;
  channel::PluginRegistrar registrar(harness.messenger());
  VellocPluginRegisterWithRegistrar(nullptr);  // ignored
  VellocPluginRegisterWithRegistrar(registrarRef(registrar));
  EXPECT_EQ(registrar.plugins().size(), 1u);

  sim::World& world = sim::processWorld();
  const std::string before = world.selectedInputSource();
  EXPECT_EQ(harness.call(kChannel, "select", ValueMap{{"lang", "ru"}}), MethodReply::Success());
  EXPECT_EQ(world.selectedInputSource(), "com.apple.keylayout.Russian");
  world.selectInputSourceById(before);
}

}  // namespace
}  // namespace velloc
