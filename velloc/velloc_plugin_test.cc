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

sim::InputSourceState source(std::string id,
                             std::initializer_list<std::optional<std::string>> langs,
                             std::string layout = "us") {
  sim::InputSourceState s;
  s.id = std::move(id);
  s.languages = std::vector<std::optional<std::string>>(langs);
  s.layout = std::move(layout);
  return s;
}

class VellocTest : public ::testing::Test {
 protected:
  VellocTest() : registrar_(harness_.messenger()) {
    VellocPlugin::registerWithRegistrar(registrar_, world_);
  }
  MethodReply select(const Value& args) { return harness_.call(kChannel, "select", args); }
  MethodReply selectLang(const Value& lang) { return select(ValueMap{{"lang", lang}}); }

  // Which source ends up selected for `lang`; "start" when none was.
  std::string chosenFor(std::vector<sim::InputSourceState> sources, const std::string& lang) {
    sources.insert(sources.begin(), source("start", {"xx"}));
    world_.inputSourceList() = std::move(sources);
    world_.selectInputSourceById("start");
    EXPECT_EQ(selectLang(lang), MethodReply::Success());
    return world_.selectedInputSource();
  }

  sim::World world_;
  channel_test::ChannelHarness harness_;
  channel::PluginRegistrar registrar_;
};

TEST_F(VellocTest, ChoosesTheFirstSourceWithTheLanguageFirstElseTheFirstListingIt) {
  // In first place wins over an earlier source that lists it later.
  EXPECT_EQ(chosenFor({source("A", {"de", "en"}), source("B", {"en"})}, "en"), "B");
  EXPECT_EQ(chosenFor({source("A", {"ru"}), source("B", {"ru"})}, "ru"), "A");
  // The first fallback is kept while the walk goes on.
  EXPECT_EQ(chosenFor({source("A", {"uk", "ru"}), source("B", {"be", "ru"})}, "RU"), "A");
  EXPECT_EQ(
      chosenFor({source("A", {"uk", "ru"}), source("B", {"be", "ru"}), source("C", {"ru"})}, "ru"),
      "C");
  // Whole strings only.
  EXPECT_EQ(chosenFor({source("A", {"en-GB", "eng"}), source("B", {"fr", "en"})}, "En"), "B");
  // Only string entries count: A's first string is "ru".
  EXPECT_EQ(chosenFor({source("A", {kNotAString, "ru"}), source("B", {"ru"})}, "ru"), "A");
  sim::InputSourceState noProperty;  // no languages property at all
  EXPECT_EQ(chosenFor({noProperty, source("B", {}), source("C", {kNotAString, "de", "en"})}, "en"),
            "C");
  // Disabled, unselectable and non-keyboard sources are not offered.
  sim::InputSourceState disabled = source("off", {"ru"});
  disabled.enabled = false;
  sim::InputSourceState unselectable = source("unselectable", {"ru"});
  unselectable.selectCapable = false;
  sim::InputSourceState palette = source("palette", {"ru"});
  palette.category = "TISCategoryPaletteInputSource";
  EXPECT_EQ(chosenFor({disabled, unselectable, palette, source("D", {"uk", "ru"})}, "ru"), "D");
  EXPECT_EQ(world_.takeLog(), Logs{});
}

TEST_F(VellocTest, FailuresAreLoggedAndStillAnswerNull) {
  EXPECT_EQ(chosenFor({source("A", {"en-US", "ru-RU"}), source("B", {"RU"})}, "ru"), "start");
  world_.faults().inputSourceListNil = true;
  EXPECT_EQ(selectLang("ru"), MethodReply::Success());
  world_.faults().inputSourceListNil = false;
  world_.inputSourceList().clear();
  EXPECT_EQ(selectLang("EN"), MethodReply::Success());
  EXPECT_EQ(world_.takeLog(), (Logs{"[Velloc] no enabled input source for lang=ru",
                                    "[Velloc] TISCreateInputSourceList returned nil for lang=ru",
                                    "[Velloc] no enabled input source for lang=en"}));

  // The current source is selected again, so its refusal shows too.
  world_.inputSourceList() = {source("us", {"en"}), source("ru", {"ru"}, "ru")};
  world_.selectInputSourceById("us");
  world_.inputSourceList()[0].selectStatus = -50;
  world_.inputSourceList()[1].selectStatus = 2147483647;
  EXPECT_EQ(selectLang("en"), MethodReply::Success());
  EXPECT_EQ(selectLang("ru"), MethodReply::Success());
  EXPECT_EQ(world_.selectedInputSource(), "us");
  EXPECT_EQ(world_.takeLog(),
            (Logs{"[Velloc] TISSelectInputSource failed (status=-50) for lang=en",
                  "[Velloc] TISSelectInputSource failed (status=2147483647) for lang=ru"}));

  // Nothing is cached: the next call sees the system as it is now, and success logs nothing.
  world_.inputSourceList()[1].selectStatus = 0;
  EXPECT_EQ(selectLang("ru"), MethodReply::Success());
  EXPECT_EQ(world_.selectedInputSource(), "ru");
  EXPECT_EQ(world_.takeLog(), Logs{});
}

TEST_F(VellocTest, BadLangNamesTheLowercasedValueUntrimmed) {
  ValueMap nonStringKey{{"lang", "ru"}};
  nonStringKey.set(Value(7), Value("x"));
  const std::pair<Value, std::string> cases[] = {
      {Value(), ""},
      {ValueMap{}, ""},
      {ValueMap{{"lang", Value()}}, ""},
      {ValueMap{{"lang", int32_t{1}}}, ""},
      {ValueMap{{"lang", true}}, ""},
      {ValueMap{{"lang", ValueList{"ru"}}}, ""},
      {ValueMap{{"Lang", "ru"}}, ""},
      {Value("ru"), ""},
      {Value(nonStringKey), ""},
      {ValueMap{{"lang", "DE"}}, "de"},
      {ValueMap{{"lang", " ru"}}, " ru"},
      {ValueMap{{"lang", "RU "}}, "ru "},
      {ValueMap{{"lang", "ÉN"}}, "én"},
      {ValueMap{{"lang", "It's"}}, "it's"},
  };
  for (const auto& [args, shown] : cases) {
    EXPECT_EQ(select(args),
              MethodReply::Error("bad_lang", "Expected lang=ru|en, got '" + shown + "'"))
        << args;
  }
  EXPECT_EQ(world_.selectedInputSource(), "com.apple.keylayout.US");
  EXPECT_EQ(world_.takeLog(), Logs{});
  // Other methods are not implemented, whatever their arguments.
  for (const char* method : {"Select", "select ", "listen"}) {
    EXPECT_EQ(harness_.call(kChannel, method, ValueMap{{"lang", "ru"}}),
              MethodReply::NotImplemented());
  }
  EXPECT_EQ(world_.selectedInputSource(), "com.apple.keylayout.US");
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
