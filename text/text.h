// Unicode text rules shared by every part of the program: conversion between UTF-8 and
// UTF-16, locale-independent lowercasing and equality under canonical equivalence.
#pragma once

#include <string>
#include <string_view>

namespace text {

// Malformed sequences (and, from UTF-16, lone surrogates) become U+FFFD, one per
// maximal ill-formed subpart, so the result is always well-formed.
std::u16string utf8ToUtf16(std::string_view utf8);
std::string utf16ToUtf8(std::u16string_view utf16);
// The same into `out`, which keeps its capacity: no allocation once it has grown.
void utf16ToUtf8(std::u16string_view utf16, std::string& out);

// Strict: no overlong forms, no encoded surrogates, nothing above U+10FFFF, no truncation.
bool isValidUtf8(std::string_view bytes);

// `bytes` unchanged when it is valid UTF-8, otherwise with every malformed part replaced
// by U+FFFD.
std::string toValidUtf8(std::string_view bytes);

// Full Unicode lowercasing with the root locale, so the result never depends on the
// user's language settings (no Turkish dotless i surprises). Invalid input is repaired
// first.
std::string lowercase(std::string_view utf8);
std::u16string lowercase(std::u16string_view utf16);

// True when both texts are canonically equivalent (for example NFC and NFD forms of the
// same word).
bool canonicallyEqual(std::u16string_view a, std::u16string_view b);
bool canonicallyEqual(std::string_view utf8a, std::string_view utf8b);

// Where `after` differs from `before`, in UTF-16 units: the units of `before` from `location`
// on, `beforeLength` of them, became the `afterLength` units of `after` at the same place.
// Everything outside is the longest common prefix and suffix, never ending or starting inside a
// surrogate pair. Equal texts give an empty span at their end.
struct ChangedSpan {
  size_t location = 0;
  size_t beforeLength = 0;
  size_t afterLength = 0;
  friend bool operator==(const ChangedSpan&, const ChangedSpan&) = default;
};
ChangedSpan changedSpan(std::u16string_view before, std::u16string_view after);

}  // namespace text
