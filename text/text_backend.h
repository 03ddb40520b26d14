// What the text rules take from the system's Unicode tables. One backend is linked: ICU
// (text_icu.cc) on other systems, CoreFoundation (text_cf.mm) on Apple, so the application
// bundle carries no Unicode library of its own. text_test.cc holds both to the same rules.
#pragma once

#include <string>
#include <string_view>

namespace text::backend {

// Appends the full lowercase mapping of `in` (well-formed UTF-16, at most 2^28 units) with the
// root locale: SpecialCasing's unconditional mappings and the final-sigma rule, no language
// tailoring. On failure appends nothing and answers false.
bool appendLowercase(std::u16string_view in, std::u16string& out);

// Appends the canonical decomposition (NFD) of `in`; on failure appends nothing and answers false.
bool appendNfd(std::u16string_view in, std::u16string& out);

}  // namespace text::backend
