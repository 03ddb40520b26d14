#include "channel/arguments.h"

#include <gtest/gtest.h>

namespace channel {
namespace {

TEST(Arguments, OnlyMapsWithStringKeysCount) {
  const Value good = ValueMap{{"text", "hi"}};
  EXPECT_EQ(&argumentsMap(good), good.get_if<ValueMap>());
  EXPECT_TRUE(argumentsMap(Value()).empty());
  EXPECT_TRUE(argumentsMap(Value(ValueList{"text", "hi"})).empty());
  EXPECT_TRUE(argumentsMap(Value("text")).empty());
  EXPECT_TRUE(argumentsMap(Value(ValueMap{{"text", "hi"}, {1, "one"}})).empty());
}

TEST(Arguments, TypedReadersTreatOtherTypesAsAbsent) {
  const ValueMap args{{"s", "x"},  {"i32", 7}, {"i64", int64_t{1} << 40},
                      {"b", true}, {"d", 1.0}, {"n", Value()},
                      {"zero", 0}};
  EXPECT_EQ(stringArg(args, "s"), "x");
  EXPECT_EQ(stringArg(args, "i32"), std::nullopt);
  EXPECT_EQ(stringArg(args, "missing"), std::nullopt);

  EXPECT_EQ(intArg(args, "i32"), 7);
  EXPECT_EQ(intArg(args, "i64"), int64_t{1} << 40);
  EXPECT_EQ(intArg(args, "b"), std::nullopt);  // a bool is not an integer
  EXPECT_EQ(intArg(args, "d"), std::nullopt);  // nor is a whole double
  EXPECT_EQ(intArg(args, "n"), std::nullopt);

  EXPECT_EQ(boolArg(args, "b"), true);
  EXPECT_EQ(boolArg(args, "zero"), std::nullopt);  // 0 is not false
  EXPECT_EQ(boolArg(args, "s"), std::nullopt);

  EXPECT_EQ(valueArg(args, "n"), nullptr);
  ASSERT_NE(valueArg(args, "d"), nullptr);
  EXPECT_EQ(*valueArg(args, "d"), Value(1.0));
}

}  // namespace
}  // namespace channel
