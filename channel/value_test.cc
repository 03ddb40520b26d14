#include "channel/value.h"

#include <gtest/gtest.h>

namespace channel {
namespace {

TEST(Value, LiteralsPickTheIntendedAlternative) {
  EXPECT_TRUE(Value("text").is<std::string>());  // not bool
  EXPECT_TRUE(Value(std::string_view("text")).is<std::string>());
  EXPECT_TRUE(Value(5).is<int32_t>());
  EXPECT_TRUE(Value(int64_t{5}).is<int64_t>());
  EXPECT_TRUE(Value().isNull());
  EXPECT_TRUE(Value(nullptr).isNull());
  EXPECT_NE(Value(5), Value(int64_t{5}));  // the wire distinguishes them too
}

TEST(ValueMap, TheLastOccurrenceOfAKeyWinsAndEqualityComparesWhatIsInEffect) {
  ValueMap m;
  m.append("k", 1);
  m.append(7, "seven");
  m.append("k", 2);
  EXPECT_EQ(*m.find("k"), Value(2));
  EXPECT_EQ(*m.find(Value(7)), Value("seven"));
  EXPECT_EQ(m.find(Value("missing")), nullptr);
  EXPECT_EQ(m.find("7"), nullptr);  // a string key never matches an integer key

  m.set("k", 3);
  EXPECT_EQ(*m.find("k"), Value(3));
  m.set("new", true);
  EXPECT_EQ(*m.find("new"), Value(true));
  EXPECT_EQ(m.size(), 4u);  // set replaced in place, only "new" was added

  // Equality compares the entries in effect, in any order.
  const ValueMap a{{"x", 1}, {"y", "two"}};
  const ValueMap b{{"y", "two"}, {"x", 1}};
  EXPECT_EQ(a, b);
  ValueMap shadowed;
  shadowed.append("x", 99);
  shadowed.append("y", "two");
  shadowed.append("x", 1);
  EXPECT_EQ(a, shadowed);
  EXPECT_EQ(shadowed, a);
  EXPECT_NE(a, (ValueMap{{"x", 1}}));
  EXPECT_NE(a, (ValueMap{{"x", 1}, {"y", "two"}, {"z", Value()}}));
  EXPECT_NE(a, (ValueMap{{"x", int64_t{1}}, {"y", "two"}}));
  EXPECT_EQ(Value(ValueList{a}), Value(ValueList{b}));
}

TEST(Value, DebugStringIsReadable) {
  const Value v = ValueList{
      Value(), true, 3, int64_t{4}, 1.0, "q\"", ValueMap{{"k", 2.5}}, std::vector<uint8_t>{1, 2}};
  EXPECT_EQ(toDebugString(v), R"([null, true, 3, 4L, 1.0, "q\"", {"k": 2.5}, bytes[1, 2]])");
}

}  // namespace
}  // namespace channel
