#include "platform/macos/conversions.h"

#include <cmath>

#include "text/text.h"

namespace platform::macos {

NSString* toNSString(std::u16string_view utf16) {
  return [NSString stringWithCharacters:reinterpret_cast<const unichar*>(utf16.data())
                                 length:utf16.size()];
}

NSString* toNSString(std::string_view utf8) {
  return toNSString(text::utf8ToUtf16(utf8));
}

std::u16string toU16String(NSString* string) {
  std::u16string units(string.length, u'\0');
  if (!units.empty()) {
    [string getCharacters:reinterpret_cast<unichar*>(units.data())
                    range:NSMakeRange(0, units.size())];
  }
  return units;
}

std::string toUtf8(NSString* string) {
  return text::utf16ToUtf8(toU16String(string));
}

std::optional<std::string> toOptionalUtf8(NSString* string) {
  if (string == nil) return std::nullopt;
  return toUtf8(string);
}

int64_t toNanoseconds(double seconds) {
  if (std::isnan(seconds)) return 0;
  // About 292 years either way: what an int64_t of nanoseconds holds.
  constexpr double kLimit = 9.2e9;
  return static_cast<int64_t>(std::fmax(-kLimit, std::fmin(kLimit, seconds)) * 1e9);
}

}  // namespace platform::macos
