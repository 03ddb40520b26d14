// Text conversions between the seam's C++ strings and Foundation strings. Everything goes
// through UTF-16 code units, so no conversion can fail: malformed UTF-8 and lone surrogates
// become U+FFFD instead of a nil string or a null C string.
#pragma once

#import <Foundation/Foundation.h>

#include <optional>
#include <string>
#include <string_view>

namespace platform::macos {

NSString* toNSString(std::string_view utf8);
NSString* toNSString(std::u16string_view utf16);

std::u16string toU16String(NSString* string);                 // nil gives ""
std::string toUtf8(NSString* string);                         // nil gives ""
std::optional<std::string> toOptionalUtf8(NSString* string);  // nil gives nullopt

// Seconds as a whole number of nanoseconds, saturating instead of overflowing (NaN is 0).
int64_t toNanoseconds(double seconds);

}  // namespace platform::macos
