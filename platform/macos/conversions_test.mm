#include "platform/macos/conversions.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace platform::macos {
namespace {

TEST(MacConversions, TextSurvivesEveryConversionAndBadInputBecomesReplacementCharacters) {
  EXPECT_EQ(toUtf8(toNSString(std::string_view("h\xC3\xA9llo \xF0\x9F\x8C\x8D"))),
            "h\xC3\xA9llo \xF0\x9F\x8C\x8D");
  EXPECT_EQ(toU16String(toNSString(std::u16string_view(u"\U0001F30D!"))), u"\U0001F30D!");
  // Neither malformed UTF-8 nor an embedded NUL gives a nil or shortened string.
  EXPECT_EQ(toU16String(toNSString(std::string_view("a\xFF"
                                                    "b"))),
            u"a\uFFFDb");
  EXPECT_EQ(toNSString(std::string_view("a\0b", 3)).length, 3u);
  // A lone surrogate, which text from other applications may hold, is no reason to fail.
  const char16_t lone[] = {u'x', 0xD800, u'y'};
  NSString* withLoneSurrogate =
      [NSString stringWithCharacters:reinterpret_cast<const unichar*>(lone) length:3];
  EXPECT_EQ(toU16String(withLoneSurrogate), std::u16string(lone, 3));
  EXPECT_EQ(toUtf8(withLoneSurrogate), "x\xEF\xBF\xBDy");
}

TEST(MacConversions, NilAndEmptyStringsStayApart) {
  EXPECT_EQ(toUtf8(nil), "");
  EXPECT_EQ(toU16String(nil), u"");
  EXPECT_EQ(toOptionalUtf8(nil), std::nullopt);
  EXPECT_EQ(toOptionalUtf8(@""), std::optional<std::string>(""));
  EXPECT_EQ(toNSString(std::string_view()).length, 0u);
}

TEST(MacConversions, DelaysBecomeNanosecondsWithoutOverflow) {
  EXPECT_EQ(toNanoseconds(0.3), 300'000'000);
  EXPECT_EQ(toNanoseconds(-1), -1'000'000'000);
  EXPECT_EQ(toNanoseconds(0), 0);
  EXPECT_EQ(toNanoseconds(std::nan("")), 0);
  const double infinity = std::numeric_limits<double>::infinity();
  EXPECT_GT(toNanoseconds(infinity), int64_t{9'000'000'000'000'000'000});
  EXPECT_LT(toNanoseconds(-infinity), int64_t{-9'000'000'000'000'000'000});
  EXPECT_EQ(toNanoseconds(1e300), toNanoseconds(infinity));
}

}  // namespace
}  // namespace platform::macos
