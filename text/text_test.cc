#include "text/text.h"

#include <gtest/gtest.h>

namespace {

TEST(TextConversion, RoundTripsEveryPlane) {
  const std::string s = "a\xD0\x96\xE2\x98\xBA\xF0\x9F\x98\x82z";  // a Ж ☺ 😂 z
  const std::u16string u = u"a\u0416\u263A\U0001F602z";
  EXPECT_EQ(text::utf8ToUtf16(s), u);
  EXPECT_EQ(text::utf16ToUtf8(u), s);
  EXPECT_EQ(text::utf8ToUtf16(std::string_view("a\0b", 3)), std::u16string(u"a\0b", 3));
  EXPECT_EQ(text::utf8ToUtf16(""), u"");

  // Into a reused string: what it held before is replaced, not appended to.
  std::string reused = "earlier, longer contents";
  text::utf16ToUtf8(u, reused);
  EXPECT_EQ(reused, s);
  text::utf16ToUtf8(u"", reused);
  EXPECT_EQ(reused, "");
}

TEST(TextConversion, IllFormedUtf8BecomesOneReplacementPerMaximalSubpart) {
  // A truncated 4-byte sequence is one error and must not swallow the 'b' after it.
  EXPECT_EQ(text::utf8ToUtf16("a\xF0\x9F\x98"
                              "b"),
            u"a\uFFFDb");
  // Overlong '/', an encoded surrogate, a code point above U+10FFFF, a stray trail byte.
  EXPECT_EQ(text::utf8ToUtf16("\xC0\xAF"), u"\uFFFD\uFFFD");
  EXPECT_EQ(text::utf8ToUtf16("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");
  EXPECT_EQ(text::utf8ToUtf16("\xF4\x90\x80\x80"), u"\uFFFD\uFFFD\uFFFD\uFFFD");
  EXPECT_EQ(text::utf8ToUtf16("\x80x"), u"\uFFFDx");
  EXPECT_EQ(text::toValidUtf8("ok\xFF"), "ok\xEF\xBF\xBD");
  EXPECT_EQ(text::toValidUtf8("\xD0\x96"), "\xD0\x96");
}

TEST(TextConversion, LoneSurrogatesBecomeReplacement) {
  EXPECT_EQ(text::utf16ToUtf8(u"x\xD800y"), "x\xEF\xBF\xBDy");
  EXPECT_EQ(text::utf16ToUtf8(std::u16string(1, u'\xDC00')), "\xEF\xBF\xBD");
  // A high surrogate at the very end, and a pair in the wrong order.
  EXPECT_EQ(text::utf16ToUtf8(std::u16string(1, u'\xD83D')), "\xEF\xBF\xBD");
  const std::u16string reversed = {0xDE02, 0xD83D};
  EXPECT_EQ(text::utf16ToUtf8(reversed), "\xEF\xBF\xBD\xEF\xBF\xBD");
}

TEST(TextValidity, AcceptsOnlyStrictUtf8) {
  // Valid: nothing, ASCII, U+10FFFF, a noncharacter. Not: overlong, a surrogate, above U+10FFFF,
  // truncated at the end, a lead byte never used.
  for (const char* valid : {"", "plain ascii", "\xF4\x8F\xBF\xBF", "\xEF\xBF\xBE"}) {
    EXPECT_TRUE(text::isValidUtf8(valid)) << valid;
  }
  for (const char* invalid :
       {"\xE0\x80\xAF", "\xED\xBF\xBF", "\xF4\x90\x80\x80", "abc\xE2\x98", "\xF5\x80\x80\x80"}) {
    EXPECT_FALSE(text::isValidUtf8(invalid)) << invalid;
  }
}

TEST(TextLowercase, IsUnicodeAwareAndLocaleIndependent) {
  EXPECT_EQ(text::lowercase("PuntoSwitcher"), "puntoswitcher");
  EXPECT_EQ(text::lowercase("\xD0\x9F\xD0\xA0\xD0\x98\xD0\x92\xD0\x95\xD0\xA2"),
            "\xD0\xBF\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82");  // ПРИВЕТ -> привет
  // Root locale: capital I stays dotted, capital dotted İ keeps its dot as a combining mark.
  EXPECT_EQ(text::lowercase("I"), "i");
  EXPECT_EQ(text::lowercase("\xC4\xB0"), "i\xCC\x87");
  // Final sigma depends on context, which needs a real case mapping, not a table per char.
  EXPECT_EQ(text::lowercase(u"\u039F\u03A3"), u"\u03BF\u03C2");
  EXPECT_EQ(text::lowercase("RU\xFF"), "ru\xEF\xBF\xBD");
  // Outside the Basic Multilingual Plane: a surrogate pair maps to a surrogate pair (Deseret).
  EXPECT_EQ(text::lowercase(u"\U00010400x"), u"\U00010428x");
  // Characters without a lowercase form, and a lone surrogate, stay as they are.
  EXPECT_EQ(text::lowercase(u"\u00DF1\u2603"), u"\u00DF1\u2603");
  EXPECT_EQ(text::lowercase(std::u16string(u"A\xD800")), std::u16string(u"a\xD800"));
}

TEST(TextCanonicalEquality, EquatesComposedAndDecomposedForms) {
  EXPECT_TRUE(text::canonicallyEqual(u"caf\u00E9", u"cafe\u0301"));
  EXPECT_TRUE(text::canonicallyEqual(u"\u212B", u"\u00C5"));  // Angstrom sign vs Å
  // Combining marks of different classes in either order are equivalent.
  EXPECT_TRUE(text::canonicallyEqual(u"a\u0323\u0301", u"a\u0301\u0323"));
  EXPECT_TRUE(text::canonicallyEqual(u"\u0439", u"\u0438\u0306"));  // й
  EXPECT_FALSE(text::canonicallyEqual(u"\u0439", u"\u0438"));
  EXPECT_FALSE(text::canonicallyEqual(u"abc", u"abd"));
  EXPECT_FALSE(text::canonicallyEqual(u"abc", u"ab"));
  // Compatibility forms are not canonical equivalents.
  EXPECT_FALSE(text::canonicallyEqual(u"\uFB01", u"fi"));
  EXPECT_TRUE(text::canonicallyEqual("caf\xC3\xA9", "cafe\xCC\x81"));
  // Hangul syllables decompose by rule, not from a table.
  EXPECT_TRUE(text::canonicallyEqual(u"\uD55C", u"\u1112\u1161\u11AB"));
  // Decomposition reaches outside the Basic Multilingual Plane.
  EXPECT_TRUE(text::canonicallyEqual(u"\U0001D15E", u"\U0001D157\U0001D165"));
}

TEST(TextChangedSpan, IsWhatLiesBetweenTheCommonEndsAndNeverSplitsASurrogatePair) {
  struct Case {
    std::u16string_view before, after;
    text::ChangedSpan span;
  };
  const Case cases[] = {
      {u"Hello ghbdtn world", u"Hello привет world", {6, 6, 6}},
      {u"brwn", u"brown", {2, 0, 1}},  // an insertion: nothing of the old text is replaced
      {u"brown", u"brwn", {2, 1, 0}},
      {u"same", u"same", {4, 0, 0}},
      {u"", u"new", {0, 0, 3}},
      {u"old", u"", {0, 3, 0}},
      {u"aaa", u"aaaa", {3, 0, 1}},  // a repeat: the prefix wins, the suffix never overlaps it
      // 😀 and 😃 share their first unit, 🚀 and 🪀 their last.
      {u"a😀b", u"a😃b", {1, 2, 2}},
      {u"a🚀b", u"a🪀b", {1, 2, 2}},
      {u"😀", u"😀😀", {2, 0, 2}},
      {u"x😀", u"😀", {0, 1, 0}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(text::changedSpan(c.before, c.after), c.span) << text::utf16ToUtf8(c.after);
  }
}

}  // namespace
