#include "channel/standard_codec.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

namespace channel {
namespace {

// Bytes written as hex digits, spaces between them for reading.
std::vector<uint8_t> hex(std::string_view s) {
  std::vector<uint8_t> out;
  for (size_t i = 0; i + 1 < s.size(); i += s[i] == ' ' ? 1 : 2) {
    if (s[i] != ' ')
      out.push_back(static_cast<uint8_t>(std::stoi(std::string(s.substr(i, 2)), nullptr, 16)));
  }
  return out;
}

std::vector<uint8_t> concat(std::vector<uint8_t> a, size_t zeros) {
  a.insert(a.end(), zeros, 0);
  return a;
}

struct Vector {
  Value value;
  std::vector<uint8_t> bytes;
};

std::vector<Vector> referenceVectors() {
  return {
      {Value(), hex("00")},
      {true, hex("01")},
      {false, hex("02")},
      {int32_t{0x12345678}, hex("03 78563412")},
      {int64_t{0x1234567890abcdef}, hex("04 efcdab9078563412")},
      {std::numeric_limits<int32_t>::min(), hex("03 00000080")},
      {std::numeric_limits<int32_t>::max(), hex("03 ffffff7f")},
      {int64_t{-2147483649LL}, hex("04 ffffff7fffffffff")},
      {int64_t{2147483648LL}, hex("04 0000008000000000")},
      {3.141592653589793, hex("06 00000000000000 182d4454fb210940")},
      {"hello world", hex("07 0b 68656c6c6f20776f726c64")},
      {"h\u263Aw", hex("07 05 68e298ba77")},
      {"h\U0001F602w", hex("07 06 68f09f988277")},
      {"", hex("07 00")},
      {ValueList{Value(), "hello", 3.14, 47, ValueList{42, "nested"}},
       hex("0c05 00 070568656c6c6f 06 0000000000 1f85eb51b81e0940 032f000000 0c02 032a000000 "
           "07066e6573746564")},
      {ValueList{}, hex("0c 00")},
      {std::vector<uint8_t>{0xba, 0x5e, 0xba, 0x11}, hex("08 04 ba5eba11")},
      {std::vector<int32_t>{0x12345678, -1, 0}, hex("09 03 0000 78563412 ffffffff 00000000")},
      {std::vector<int64_t>{0x1234567890abcdef, -1},
       hex("0a 02 000000000000 efcdab9078563412 ffffffffffffffff")},
      {std::vector<float>{3.1415920257568359375f, 1000.0f}, hex("0e 02 0000 d80f4940 00007a44")},
      {std::vector<double>{3.141592653589793, 1000.0},
       hex("0b 02 000000000000 182d4454fb210940 0000000000408f40")},
      {std::vector<uint8_t>(253, 0), concat(hex("08 fd"), 253)},
      {std::vector<uint8_t>(254, 0), concat(hex("08 fe fe00"), 254)},
      {std::vector<uint8_t>(65535, 0), concat(hex("08 fe ffff"), 65535)},
      {std::vector<uint8_t>(65536, 0), concat(hex("08 ff 00000100"), 65536)},
  };
}

TEST(StandardCodec, ReferenceVectorsRoundTripExactly) {
  for (const auto& [value, bytes] : referenceVectors()) {
    EXPECT_EQ(encodeMessage(value), bytes) << value;
    const auto decoded = decodeMessage(bytes);
    ASSERT_TRUE(decoded.has_value()) << value;
    // A decoded 64-bit value that fits 32 bits would come back as int32; none of these do.
    EXPECT_EQ(*decoded, value);
  }
}

TEST(StandardCodec, ReferenceEnvelopesAndCalls) {
  EXPECT_EQ(encodeSuccessEnvelope(Value()), hex("00 00"));
  EXPECT_EQ(encodeSuccessEnvelope(42), hex("00 03 2a000000"));
  EXPECT_EQ(encodeErrorEnvelope({"errorCode", std::nullopt, Value()}),
            hex("01 07 09 6572726f72436f6465 00 00"));
  const ChannelError full{"errorCode", "something failed", ValueList{"a", 42}};
  const auto fullBytes = hex(
      "01 0709 6572726f72436f6465 0710 736f6d657468696e67206661696c6564 0c02 070161 032a000000");
  EXPECT_EQ(encodeErrorEnvelope(full), fullBytes);
  const auto decoded = decodeEnvelope(fullBytes);
  ASSERT_TRUE(decoded && std::holds_alternative<ChannelError>(*decoded));
  EXPECT_EQ(std::get<ChannelError>(*decoded), full);
  // Padding of the double counts from the envelope byte.
  EXPECT_EQ(encodeSuccessEnvelope(1.0), hex("00 06 000000000000 000000000000f03f"));
  EXPECT_EQ(encodeMethodCall({"listen", Value()}), hex("07 06 6c697374656e 00"));
  EXPECT_EQ(decodeMethodCall(hex("07 06 6c697374656e 00")), (MethodCall{"listen", Value()}));
}

TEST(StandardCodec, EncodingChoices) {
  // A 64-bit value in the 32-bit range goes out as type 3, like the Dart side does.
  EXPECT_EQ(encodeMessage(int64_t{5}), hex("03 05000000"));
  // An empty typed list is still padded, or the next value would be misread.
  const Value list = ValueList{std::vector<int64_t>{}, 1};
  EXPECT_EQ(encodeMessage(list), hex("0c 02 0a 00 00000000 03 01000000"));
  EXPECT_EQ(decodeMessage(encodeMessage(list)), list);
  // Text that is not UTF-8 would break the Flutter side's decoder: it is repaired.
  EXPECT_EQ(encodeMessage(std::string("a\xff")), hex("07 04 61 efbfbd"));
  // The repaired text is longer, and the double after it must be aligned for that length.
  const Value nested = ValueList{ValueMap{{std::string("k\xc3"), 1.0}}};
  EXPECT_EQ(encodeMessage(nested), hex("0c01 0d01 0704 6befbfbd 06 0000000000 000000000000f03f"));
  EXPECT_EQ(encodeErrorEnvelope({"c", std::string("\xff"), Value()}),
            hex("01 0701 63 0703 efbfbd 00"));
  // encodeValue aligns relative to what the buffer already holds.
  std::vector<uint8_t> out = {0xAA, 0xBB, 0xCC};
  encodeValue(2.0, out);
  EXPECT_EQ(out, hex("aabbcc 06 00000000 0000000000000040"));
}

TEST(StandardCodec, StringsOfEveryShortLength) {
  // Short strings are checked and copied in overlapping words: every length, every bad byte.
  for (size_t n = 0; n <= 40; ++n) {
    std::string text;
    for (size_t i = 0; i < n; ++i) text.push_back(static_cast<char>('a' + i % 26));
    std::vector<uint8_t> wire = {7, static_cast<uint8_t>(n)};
    wire.insert(wire.end(), text.begin(), text.end());
    EXPECT_EQ(encodeMessage(text), wire) << n;
    EXPECT_EQ(decodeMessage(wire), Value(text)) << n;
    for (size_t bad = 0; bad < n; ++bad) {
      std::string broken = text;
      broken[bad] = '\xff';
      std::string repaired = text;
      repaired.replace(bad, 1, "\xEF\xBF\xBD");
      EXPECT_EQ(decodeMessage(encodeMessage(broken)), Value(repaired)) << n << " at " << bad;
      wire[2 + bad] = 0xff;
      EXPECT_FALSE(decodeMessage(wire).has_value()) << n << " at " << bad;
      wire[2 + bad] = static_cast<uint8_t>(text[bad]);
    }
  }
}

TEST(StandardCodec, DecodesWhatPeersMaySend) {
  EXPECT_EQ(decodeMessage({}), Value());  // null may arrive as zero bytes
  // Padding is skipped unread, whatever it holds.
  EXPECT_EQ(decodeMessage(hex("06 ffffffffffffff 000000000000f03f")), Value(1.0));
  // A large integer travels as hex text.
  EXPECT_EQ(decodeMessage(hex("05 03 616263")), Value("abc"));
  // A 64-bit value in the 32-bit range stays 64-bit.
  EXPECT_EQ(decodeMessage(hex("04 0500000000000000")), Value(int64_t{5}));
  // Error envelope with the newer fourth value, a stack trace, as string or null.
  const auto withTrace = decodeEnvelope(hex("01 0701 78 00 00 0702 7374"));
  ASSERT_TRUE(withTrace && std::holds_alternative<ChannelError>(*withTrace));
  EXPECT_EQ(std::get<ChannelError>(*withTrace).code, "x");
  EXPECT_TRUE(decodeEnvelope(hex("01 0701 78 00 00 00")).has_value());
  // Maps keep every pair; the last of a repeated key wins.
  const auto map = decodeMessage(hex("0d02 070161 0301000000 070161 0302000000"));
  ASSERT_TRUE(map && map->is<ValueMap>());
  EXPECT_EQ(*map->get_if<ValueMap>()->find("a"), Value(2));
}

// Malformed messages, method calls and envelopes are refused whole.
TEST(StandardCodec, RejectsMalformedInput) {
  // Reserved and extension type bytes; a truncated scalar, padding, string and 16-bit size;
  // overlong UTF-8 and an encoded surrogate; a list, map and float list missing an element; a
  // trailing byte; forged sizes of a byte list, a list, a map and an int32 list.
  for (std::string_view b :
       {"0f", "80", "ff", "03 785634", "06 0000", "07 05 6162", "08 fe", "07 02 c0af",
        "07 03 eda080", "0c 02 00", "0d 01 00", "0b 02 000000000000 0000000000000000", "00 00",
        "08 ff ffffffff", "0c ff ffffffff 00", "0d fe ffff 00 00", "09 ff ffffff3f"}) {
    EXPECT_EQ(decodeMessage(hex(b)), std::nullopt) << b;
  }
  // A name that is not a string, the arguments missing, bytes left over, nothing.
  for (std::string_view b : {"03 01000000 00", "07 01 61", "07 01 61 00 00", ""}) {
    EXPECT_EQ(decodeMethodCall(hex(b)), std::nullopt) << b;
  }
  // Not implemented (nothing), success without a value, an unknown envelope, a trailing byte; an
  // error whose code is no string, message a bool, details missing, trace no string, bytes after.
  for (std::string_view b : {"", "00", "02 00", "00 00 00", "01 00 00 00", "01 0701 78 01 00",
                             "01 0701 78 00", "01 0701 78 00 00 01", "01 0701 78 00 00 00 00"}) {
    EXPECT_EQ(decodeEnvelope(hex(b)), std::nullopt) << b;
  }
  // Every proper prefix of a nested message is incomplete.
  const auto full = encodeMessage(ValueList{ValueMap{{"k", std::vector<double>{1.5}}}, "tail"});
  for (std::size_t n = 1; n < full.size(); ++n) {
    EXPECT_EQ(decodeMessage(std::span(full).first(n)), std::nullopt) << n;
  }
}

TEST(StandardCodec, BoundsNesting) {
  auto nested = [](int depth) {
    std::vector<uint8_t> bytes;
    for (int i = 0; i < depth; ++i) bytes.insert(bytes.end(), {0x0c, 0x01});
    bytes.push_back(0x00);
    return bytes;
  };
  EXPECT_TRUE(decodeMessage(nested(kMaxNestingDepth)).has_value());
  EXPECT_EQ(decodeMessage(nested(kMaxNestingDepth + 1)), std::nullopt);
  // Far deeper input must fail cleanly rather than exhaust the stack.
  EXPECT_EQ(decodeMessage(nested(1 << 20)), std::nullopt);
  std::vector<uint8_t> maps;
  for (int i = 0; i < 100000; ++i) maps.insert(maps.end(), {0x0d, 0x01, 0x00});
  EXPECT_EQ(decodeMessage(maps), std::nullopt);
}

}  // namespace
}  // namespace channel
