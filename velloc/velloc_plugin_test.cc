#include "velloc/velloc_plugin.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "channel/plugin_registrar.h"
#include "sim/world.h"
#include "testing/channel_harness.h"
#include "velloc/velloc_plugin_c_api.h"

namespace velloc {
namespace {

using channel::Value;
using channel::ValueList;
using channel::ValueMap;
using channel_test::MethodReply;
using Languages = std::optional<std::vector<std::optional<std::string>>>;

constexpr char kChannel[] = "velloc/input_source";

sim::InputSourceState source(std::string id, Languages languages, std::string layout = "us") {
  sim::InputSourceState s;
  s.id = std::move(id);
  s.languages = std::move(languages);
  s.layout = std::move(layout);
  return s;
}

MethodReply badLang(const std::string& shown) {
  return MethodReply::Error("bad_lang", "Expected lang=ru|en, got '" + shown + "'");
}

class VellocTest : public ::testing::Test {
 protected:
  VellocTest() : registrar_(harness_.messenger()) {
    VellocPlugin::registerWithRegistrar(registrar_, world_);
    world_.takeLog();
  }

  MethodReply select(const Value& lang) { return harness_.call(kChannel, "select", lang); }
  MethodReply selectLang(const Value& lang) { return select(ValueMap{{"lang", lang}}); }

  // Sets the sources, selects `lang`, and tells which source ended up selected.
  std::string chosenFor(std::vector<sim::InputSourceState> sources, const std::string& lang) {
    sources.insert(sources.begin(), source("start", Languages{{"xx"}}));
    world_.inputSourceList() = std::move(sources);
    world_.selectInputSourceById("start");
    EXPECT_EQ(selectLang(lang), MethodReply::Success());
    return world_.selectedInputSource();
  }

  sim::World world_;
  channel_test::ChannelHarness harness_;
  channel::PluginRegistrar registrar_;
};

TEST_F(VellocTest, FirstLanguageMatchWinsOverAnEarlierListing) {
  // The one with the code in first place, though it comes later.
  EXPECT_EQ(chosenFor({source("A", Languages{{"de", "en"}}), source("B", Languages{{"en"}})}, "en"),
            "B");
  // Of two that merely list it, the earlier.
  EXPECT_EQ(
      chosenFor({source("A", Languages{{"uk", "ru"}}), source("B", Languages{{"be", "ru"}})}, "ru"),
      "A");
  // Of two that have it first, the earlier.
  EXPECT_EQ(chosenFor({source("A", Languages{{"ru"}}), source("B", Languages{{"ru", "en"}})}, "ru"),
            "A");
  // The first fallback is kept while the walk goes on.
  EXPECT_EQ(chosenFor({source("A", Languages{{"de", "ru"}}), source("B", Languages{{"fr", "ru"}}),
                       source("C", Languages{{"fr"}})},
                      "ru"),
            "A");
  EXPECT_EQ(chosenFor({source("A", Languages{{"de", "ru"}}), source("B", Languages{{"fr", "ru"}}),
                       source("C", Languages{{"ru"}})},
                      "ru"),
            "C");
}

TEST_F(VellocTest, LanguagesCompareAsWholeStrings) {
  EXPECT_EQ(
      chosenFor({source("A", Languages{{"en-GB"}}), source("B", Languages{{"fr", "en"}})}, "en"),
      "B");
  EXPECT_EQ(
      chosenFor({source("A", Languages{{"eng", "EN", "e"}}), source("B", Languages{{"en"}})}, "en"),
      "B");
  EXPECT_EQ(world_.takeLog(), std::vector<std::string>{});
  // Nothing that is exactly the code: no selection, one log line.
  EXPECT_EQ(
      chosenFor({source("A", Languages{{"en-US", "ru-RU"}}), source("B", Languages{{"RU"}})}, "ru"),
      "start");
  EXPECT_EQ(world_.takeLog(),
            std::vector<std::string>{"[Velloc] no enabled input source for lang=ru"});
}

TEST_F(VellocTest, OnlyStringLanguageEntriesCount) {
  // The first string entry is what counts as first, so A is taken over the later B.
  EXPECT_EQ(
      chosenFor({source("A", Languages{{std::nullopt, "ru"}}), source("B", Languages{{"ru"}})},
                "ru"),
      "A");
  // No property, an empty list, and a list of non-strings all list nothing.
  EXPECT_EQ(chosenFor({source("A", std::nullopt),
                       source("B", Languages{std::vector<std::optional<std::string>>{}}),
                       source("C", Languages{{std::nullopt, std::nullopt}}),
                       source("D", Languages{{std::nullopt, "de", std::nullopt, "en"}})},
                      "en"),
            "D");
}

TEST_F(VellocTest, OnlyEnabledSelectableKeyboardSourcesAreConsidered) {
  sim::InputSourceState disabled = source("disabled", Languages{{"ru"}});
  disabled.enabled = false;
  sim::InputSourceState unselectable = source("unselectable", Languages{{"ru"}});
  unselectable.selectCapable = false;
  sim::InputSourceState palette = source("palette", Languages{{"ru"}});
  palette.category = "TISCategoryPaletteInputSource";
  EXPECT_EQ(
      chosenFor({disabled, unselectable, palette, source("fallback", Languages{{"uk", "ru"}})},
                "ru"),
      "fallback");
  EXPECT_EQ(chosenFor({disabled, unselectable, palette}, "ru"), "start");
  EXPECT_EQ(world_.takeLog(),
            std::vector<std::string>{"[Velloc] no enabled input source for lang=ru"});
}

TEST_F(VellocTest, FailuresAreLoggedAndStillAnswerNull) {
  world_.faults().inputSourceListNil = true;
  EXPECT_EQ(selectLang("ru"), MethodReply::Success());
  world_.faults().inputSourceListNil = false;
  EXPECT_EQ(world_.takeLog(),
            std::vector<std::string>{"[Velloc] TISCreateInputSourceList returned nil for lang=ru"});

  world_.inputSourceList().clear();
  EXPECT_EQ(selectLang("EN"), MethodReply::Success());
  EXPECT_EQ(world_.takeLog(),
            std::vector<std::string>{"[Velloc] no enabled input source for lang=en"});

  sim::InputSourceState refusing = source("refusing", Languages{{"ru"}}, "ru");
  refusing.selectStatus = -50;
  world_.inputSourceList() = {source("us", Languages{{"en"}}), refusing};
  world_.selectInputSourceById("us");
  EXPECT_EQ(selectLang("ru"), MethodReply::Success());
  EXPECT_EQ(world_.selectedInputSource(), "us");
  world_.inputSourceList()[1].selectStatus = 2147483647;
  EXPECT_EQ(selectLang("ru"), MethodReply::Success());
  EXPECT_EQ(world_.takeLog(),
            (std::vector<std::string>{
                "[Velloc] TISSelectInputSource failed (status=-50) for lang=ru",
                "[Velloc] TISSelectInputSource failed (status=2147483647) for lang=ru"}));

  // A success writes nothing.
  world_.inputSourceList()[1].selectStatus = 0;
  EXPECT_EQ(selectLang("ru"), MethodReply::Success());
  EXPECT_EQ(world_.selectedInputSource(), "refusing");
  EXPECT_EQ(world_.takeLog(), std::vector<std::string>{});
}

TEST_F(VellocTest, TheCurrentSourceIsSelectedAgainAndNothingIsCached) {
  world_.inputSourceList() = {source("us", Languages{{"en"}}),
                              source("ru", Languages{{"ru"}}, "ru")};
  world_.selectInputSourceById("us");
  // Selecting the current source still asks the system: its refusal shows.
  world_.inputSourceList()[0].selectStatus = -1;
  EXPECT_EQ(selectLang("en"), MethodReply::Success());
  EXPECT_EQ(world_.takeLog(), std::vector<std::string>{
                                  "[Velloc] TISSelectInputSource failed (status=-1) for lang=en"});

  // A source that appears between two calls is found by the second.
  EXPECT_EQ(selectLang("ru"), MethodReply::Success());
  EXPECT_EQ(world_.selectedInputSource(), "ru");
  world_.inputSourceList().insert(world_.inputSourceList().begin(),
                                  source("ru2", Languages{{"ru"}}, "ru"));
  EXPECT_EQ(selectLang("ru"), MethodReply::Success());
  EXPECT_EQ(world_.selectedInputSource(), "ru2");
}

TEST_F(VellocTest, BadLangNamesTheLowercasedValue) {
  ValueMap nonStringKey;
  nonStringKey.set(Value("lang"), Value("ru"));
  nonStringKey.set(Value(7), Value("x"));
  const std::pair<Value, std::string> cases[] = {
      {Value(), ""},                         // no arguments
      {ValueMap{}, ""},                      // "lang" missing
      {ValueMap{{"lang", Value()}}, ""},     // null
      {ValueMap{{"lang", int32_t{1}}}, ""},  // a number
      {ValueMap{{"lang", 1.5}}, ""},         //
      {ValueMap{{"lang", true}}, ""},        //
      {ValueMap{{"lang", ValueList{"ru"}}}, ""},
      {ValueMap{{"Lang", "ru"}}, ""},        // keys are case-sensitive
      {Value("ru"), ""},                     // not a map
      {ValueList{"ru"}, ""},                 //
      {Value(nonStringKey), ""},             // a map whose keys are not all strings
      {ValueMap{{"lang", ""}}, ""},          //
      {ValueMap{{"lang", "de"}}, "de"},      //
      {ValueMap{{"lang", "DE"}}, "de"},      //
      {ValueMap{{"lang", " ru"}}, " ru"},    // no trimming
      {ValueMap{{"lang", "RU "}}, "ru "},    //
      {ValueMap{{"lang", "en\n"}}, "en\n"},  //
      {ValueMap{{"lang", "eng"}}, "eng"},    //
      {ValueMap{{"lang", "ÉN"}}, "én"},      // Unicode lowercasing
      {ValueMap{{"lang", "ΣΑ"}}, "σα"},      //
      {ValueMap{{"lang", "It's"}}, "it's"},  // the quote is not escaped
  };
  world_.selectInputSourceById("com.apple.keylayout.US");
  for (const auto& [args, shown] : cases) {
    EXPECT_EQ(select(args), badLang(shown)) << args;
  }
  EXPECT_EQ(world_.selectedInputSource(), "com.apple.keylayout.US");
  EXPECT_EQ(world_.takeLog(), std::vector<std::string>{});
}

TEST_F(VellocTest, AnyCaseOfTheTwoCodesIsAccepted) {
  for (const char* lang : {"RU", "Ru", "rU", "ru"}) {
    world_.selectInputSourceById("com.apple.keylayout.US");
    EXPECT_EQ(selectLang(lang), MethodReply::Success()) << lang;
    EXPECT_EQ(world_.selectedInputSource(), "com.apple.keylayout.Russian") << lang;
  }
  EXPECT_EQ(selectLang("EN"), MethodReply::Success());
  EXPECT_EQ(world_.selectedInputSource(), "com.apple.keylayout.US");
  // Extra arguments do no harm.
  EXPECT_EQ(select(ValueMap{{"lang", "ru"}, {"other", ValueList{1, 2}}}), MethodReply::Success());
  EXPECT_EQ(world_.selectedInputSource(), "com.apple.keylayout.Russian");
}

TEST_F(VellocTest, OtherMethodsAreNotImplemented) {
  for (const char* method : {"Select", "select ", "selectInputSource", "", "listen"}) {
    EXPECT_EQ(harness_.call(kChannel, method, ValueMap{{"lang", "ru"}}),
              MethodReply::NotImplemented())
        << method;
    EXPECT_EQ(harness_.call(kChannel, method, Value(42)), MethodReply::NotImplemented());
  }
  EXPECT_EQ(world_.selectedInputSource(), "com.apple.keylayout.US");
}

TEST_F(VellocTest, TheSelectedSourceDecidesWhatTheKeysType) {
  sim::AppState app;
  app.pid = 100;
  app.focused = sim::ElementState{};
  world_.addApplication(app);
  world_.setFrontmost(100);

  const auto typeLatinKeys = [&](const std::u16string& keysOnUs) {
    for (char16_t ch : keysOnUs) {
      const auto key = sim::World::keyFor("us", ch);
      ASSERT_TRUE(key.has_value());
      world_.pressKey(key->first);
    }
    world_.runPending();
  };

  EXPECT_EQ(selectLang("ru"), MethodReply::Success());
  typeLatinKeys(u"ghbdtn");
  EXPECT_EQ(world_.focusedElement()->value, u"привет");

  EXPECT_EQ(selectLang("en"), MethodReply::Success());
  typeLatinKeys(u" hello");
  EXPECT_EQ(world_.focusedElement()->value, u"привет hello");
}

TEST(VellocEntryTest, TheCEntryRegistersOnTheProcessPlatform) {
  channel_test::ChannelHarness harness;
  channel::PluginRegistrar registrar(harness.messenger());
  VellocPluginRegisterWithRegistrar(nullptr);  // ignored
  VellocPluginRegisterWithRegistrar(registrarRef(registrar));
  ASSERT_EQ(registrar.plugins().size(), 1u);
  EXPECT_TRUE(harness.messenger().hasHandler(kChannel));

  sim::World& world = sim::processWorld();
  const std::string before = world.selectedInputSource();
  EXPECT_EQ(harness.call(kChannel, "select", ValueMap{{"lang", "ru"}}), MethodReply::Success());
  EXPECT_EQ(world.selectedInputSource(), "com.apple.keylayout.Russian");
  EXPECT_EQ(harness.call(kChannel, "select", ValueMap{{"lang", "xx"}}), badLang("xx"));
  world.selectInputSourceById(before);
}

}  // namespace
}  // namespace velloc
