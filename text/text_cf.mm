// The text rules' Unicode tables from CoreFoundation, the system's own: nothing to bundle, both
// architectures, and the same tables every other application on the Mac uses. Plain C calls;
// Objective-C++ only so the Linux compile check covers this file.
#include <CoreFoundation/CoreFoundation.h>

#include "text/text_backend.h"

namespace text::backend {
namespace {

// A mutable copy of `in`, or null. The caller releases it.
CFMutableStringRef mutableCopy(std::u16string_view in) {
  CFMutableStringRef s = CFStringCreateMutable(kCFAllocatorDefault, 0);
  if (s == nullptr) return nullptr;
  CFStringAppendCharacters(s, reinterpret_cast<const UniChar*>(in.data()),
                           static_cast<CFIndex>(in.size()));
  return s;
}

void appendAndRelease(CFMutableStringRef s, std::u16string& out) {
  const CFIndex length = CFStringGetLength(s);
  const std::size_t at = out.size();
  out.resize(at + static_cast<std::size_t>(length));
  CFStringGetCharacters(s, CFRangeMake(0, length), reinterpret_cast<UniChar*>(out.data() + at));
  CFRelease(s);
}

}  // namespace

bool appendLowercase(std::u16string_view in, std::u16string& out) {
  CFMutableStringRef s = mutableCopy(in);
  if (s == nullptr) return false;
  // No locale: the language-independent mapping, whatever the user's settings.
  CFStringLowercase(s, nullptr);
  appendAndRelease(s, out);
  return true;
}

bool appendNfd(std::u16string_view in, std::u16string& out) {
  CFMutableStringRef s = mutableCopy(in);
  if (s == nullptr) return false;
  CFStringNormalize(s, kCFStringNormalizationFormD);
  appendAndRelease(s, out);
  return true;
}

}  // namespace text::backend
