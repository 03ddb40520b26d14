#include "text/text.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>

#include "text/text_backend.h"

namespace text {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one code point at `i` and advances past it. On an ill-formed sequence returns
// nullopt and advances past its maximal subpart only (the Unicode-recommended practice,
// also ICU's), so one bad byte never swallows a following valid character.
std::optional<char32_t> nextCodePoint(std::string_view s, std::size_t& i) {
  const auto b0 = static_cast<uint8_t>(s[i++]);
  if (b0 < 0x80) return b0;
  int trail = 0;
  char32_t cp = 0;
  uint8_t lo = 0x80, hi = 0xBF;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    trail = 1;
    cp = b0 & 0x1Fu;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    trail = 2;
    cp = b0 & 0x0Fu;
    if (b0 == 0xE0) lo = 0xA0;  // overlong
    if (b0 == 0xED) hi = 0x9F;  // surrogates
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    trail = 3;
    cp = b0 & 0x07u;
    if (b0 == 0xF0) lo = 0x90;  // overlong
    if (b0 == 0xF4) hi = 0x8F;  // above U+10FFFF
  } else {
    return std::nullopt;
  }
  for (int k = 0; k < trail; ++k) {
    if (i >= s.size()) return std::nullopt;
    const auto b = static_cast<uint8_t>(s[i]);
    if (b < lo || b > hi) return std::nullopt;
    cp = (cp << 6) | (b & 0x3Fu);
    ++i;
    lo = 0x80;
    hi = 0xBF;
  }
  return cp;
}

void appendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

void appendUtf16(std::u16string& out, char32_t cp) {
  if (cp < 0x10000) {
    out.push_back(static_cast<char16_t>(cp));
  } else {
    cp -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
  }
}

bool isAscii(std::string_view s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<uint8_t>(c) < 0x80; });
}

// The backends measure strings in 32-bit units (ICU) or need not (CoreFoundation). Text beyond
// that is far outside anything a keyboard utility handles; such input is processed in pieces
// split between code points.
constexpr std::size_t kChunk = 1u << 28;

std::size_t chunkEnd(std::u16string_view s, std::size_t start) {
  std::size_t end = std::min(s.size(), start + kChunk);
  if (end < s.size() && end > start && s[end - 1] >= 0xD800 && s[end - 1] <= 0xDBFF) --end;
  return end;
}

std::optional<std::u16string> nfd(std::u16string_view s) {
  std::u16string out;
  for (std::size_t start = 0; start < s.size();) {
    const std::size_t end = chunkEnd(s, start);
    if (!backend::appendNfd(s.substr(start, end - start), out)) return std::nullopt;
    start = end;
  }
  return out;
}

// No code point below U+00C0 has a decomposition or is a combining mark.
bool belowDecomposables(std::u16string_view s) {
  return std::all_of(s.begin(), s.end(), [](char16_t c) { return c < 0xC0; });
}

}  // namespace

std::u16string utf8ToUtf16(std::string_view utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size();) {
    appendUtf16(out, nextCodePoint(utf8, i).value_or(kReplacement));
  }
  return out;
}

std::string utf16ToUtf8(std::u16string_view utf16) {
  std::string out;
  utf16ToUtf8(utf16, out);
  return out;
}

void utf16ToUtf8(std::u16string_view utf16, std::string& out) {
  out.clear();
  out.reserve(utf16.size());
  for (std::size_t i = 0; i < utf16.size(); ++i) {
    char32_t c = utf16[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
        utf16[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (utf16[i + 1] - 0xDC00u);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = kReplacement;
    }
    appendUtf8(out, c);
  }
}

bool isValidUtf8(std::string_view bytes) {
  // Channel strings are mostly ASCII: skip it eight bytes at a time.
  constexpr uint64_t kHighBits = 0x8080808080808080ull;
  std::size_t i = 0;
  while (i < bytes.size()) {
    if (bytes.size() - i >= 8) {
      uint64_t word;
      std::memcpy(&word, bytes.data() + i, 8);
      if ((word & kHighBits) == 0) {
        i += 8;
        continue;
      }
    }
    if (static_cast<uint8_t>(bytes[i]) < 0x80) {
      ++i;
      continue;
    }
    if (!nextCodePoint(bytes, i)) return false;
  }
  return true;
}

std::string toValidUtf8(std::string_view bytes) {
  if (isValidUtf8(bytes)) return std::string(bytes);
  std::string out;
  out.reserve(bytes.size() + 8);
  for (std::size_t i = 0; i < bytes.size();) {
    appendUtf8(out, nextCodePoint(bytes, i).value_or(kReplacement));
  }
  return out;
}

std::u16string lowercase(std::u16string_view utf16) {
  std::u16string out;
  out.reserve(utf16.size());
  for (std::size_t start = 0; start < utf16.size();) {
    const std::size_t end = chunkEnd(utf16, start);
    const std::u16string_view chunk = utf16.substr(start, end - start);
    // The backend cannot fail on valid arguments; keep the text rather than lose it if it does.
    if (!backend::appendLowercase(chunk, out)) out.append(chunk);
    start = end;
  }
  return out;
}

std::string lowercase(std::string_view utf8) {
  if (isAscii(utf8)) {
    std::string out(utf8);
    for (char& c : out) {
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
  }
  return utf16ToUtf8(lowercase(utf8ToUtf16(utf8)));
}

bool canonicallyEqual(std::u16string_view a, std::u16string_view b) {
  if (a == b) return true;
  if (belowDecomposables(a) && belowDecomposables(b)) return false;
  const auto na = nfd(a);
  const auto nb = nfd(b);
  if (!na || !nb) return false;
  return *na == *nb;
}

bool canonicallyEqual(std::string_view utf8a, std::string_view utf8b) {
  if (utf8a == utf8b) return true;
  return canonicallyEqual(utf8ToUtf16(utf8a), utf8ToUtf16(utf8b));
}

ChangedSpan changedSpan(std::u16string_view before, std::u16string_view after) {
  const auto isHigh = [](char16_t u) { return u >= 0xD800 && u <= 0xDBFF; };
  const auto isLow = [](char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; };
  const size_t shorter = std::min(before.size(), after.size());
  size_t prefix = 0;
  while (prefix < shorter && before[prefix] == after[prefix]) ++prefix;
  // Equal leading halves of two different characters belong to the change.
  if (prefix > 0 && isHigh(before[prefix - 1])) --prefix;
  size_t suffix = 0;
  while (suffix < shorter - prefix &&
         before[before.size() - 1 - suffix] == after[after.size() - 1 - suffix]) {
    ++suffix;
  }
  if (suffix > 0 && isLow(before[before.size() - suffix])) --suffix;
  return {prefix, before.size() - prefix - suffix, after.size() - prefix - suffix};
}

}  // namespace text
