#include "tools/json_mapping.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace jsonmap {
namespace {

using channel::Value;
using channel::ValueList;
using channel::ValueMap;

Value parse(std::string_view text) {
  std::string error;
  auto v = valueFromJson(Json::parse(text), error);
  EXPECT_TRUE(v.has_value()) << text << ": " << error;
  return v.value_or(Value());
}

std::string parseError(std::string_view text) {
  std::string error;
  EXPECT_EQ(valueFromJson(Json::parse(text), error), std::nullopt) << text;
  return error;
}

TEST(JsonMapping, NumbersKeepTheirChannelType) {
  EXPECT_EQ(parse("5"), Value(5));
  EXPECT_EQ(parse("-2147483648"), Value(std::numeric_limits<int32_t>::min()));
  EXPECT_EQ(parse("2147483648"), Value(int64_t{2147483648}));
  EXPECT_EQ(parse("9223372036854775807"), Value(std::numeric_limits<int64_t>::max()));
  EXPECT_EQ(parse("1.0"), Value(1.0));
  EXPECT_EQ(parse("1e3"), Value(1000.0));
  EXPECT_EQ(parse(R"({"$int64": 5})"), Value(int64_t{5}));
  EXPECT_EQ(valueToJson(int64_t{5}).dump(), R"({"$int64":5})");
  // Doubles always print so that they read back as doubles.
  EXPECT_EQ(valueToJson(1.0).dump(), "1.0");
  EXPECT_EQ(valueToJson(-0.0).dump(), "-0.0");
  EXPECT_EQ(valueToJson(std::numeric_limits<double>::infinity()).dump(), R"({"$float64":"inf"})");
  EXPECT_TRUE(std::isnan(*parse(R"({"$float64": "nan"})").get_if<double>()));
}

TEST(JsonMapping, EveryValueRoundTripsExactly) {
  ValueMap repeated;
  repeated.append("k", 1);
  repeated.append("k", 2);
  const Value everything = ValueList{
      Value(),
      true,
      -7,
      int64_t{3},
      int64_t{1} << 40,
      0.1,
      -std::numeric_limits<double>::infinity(),
      "h\u263Aw",
      std::vector<uint8_t>{0x00, 0xff},
      std::vector<int32_t>{-1, 2},
      std::vector<int64_t>{int64_t{1} << 50},
      std::vector<double>{1.5, std::numeric_limits<double>::infinity()},
      std::vector<float>{3.1415927f, 1e-40f},
      ValueMap{{"type", "keyDown"}, {"keycode", 5}},  // not in key order: the order is kept
      ValueMap{{1, "one"}, {"two", 2}},               // a non-string key
      ValueMap{{"$bytes", "not a tag"}},              // a lone key that looks like a tag
      repeated,
      ValueList{},
      ValueMap{},
  };
  std::string error;
  const auto back = valueFromJson(Json::parse(valueToJson(everything).dump()), error);
  ASSERT_TRUE(back.has_value()) << error;
  EXPECT_EQ(channel::encodeMessage(*back), channel::encodeMessage(everything));
  EXPECT_EQ(*back, everything);
}

TEST(JsonMapping, BadTagsAndNumbersAreErrors) {
  EXPECT_EQ(parseError(R"({"$bytes": "abc"})"), "$bytes: odd number of hex digits");
  EXPECT_EQ(parseError(R"({"$nope": 1})"), R"(unknown tag "$nope")");
  // A float32 of 1e39 would silently become infinity; errors inside containers surface too.
  for (const char* bad :
       {R"({"$bytes": "zz"})", R"({"$bytes": 12})", R"({"$int32s": [2147483648]})",
        R"({"$int32s": [1.5]})", R"({"$int64s": "1"})", R"({"$float32s": [1e39]})",
        R"({"$float64s": ["one"]})", R"({"$int64": 1.5})", R"({"$float64": "NaN!"})",
        R"({"$map": [[1]]})", R"({"$map": {"a": 1}})", "18446744073709551615",
        R"([{"$int64": "x"}])"}) {
    parseError(bad);
  }
  std::string deep(channel::kMaxNestingDepth + 1, '[');
  deep += std::string(channel::kMaxNestingDepth + 1, ']');
  EXPECT_EQ(parseError(deep), "nested too deeply");
}

}  // namespace
}  // namespace jsonmap
