// The text rules' Unicode tables from ICU.
#include <unicode/normalizer2.h>
#include <unicode/unistr.h>
#include <unicode/ustring.h>
#include <unicode/utypes.h>

#include <cstdint>

#include "text/text_backend.h"

namespace text::backend {

bool appendLowercase(std::u16string_view in, std::u16string& out) {
  const auto length = static_cast<int32_t>(in.size());
  std::u16string buf(in.size() + 16, u'\0');
  for (int attempt = 0; attempt < 2; ++attempt) {
    UErrorCode status = U_ZERO_ERROR;
    const int32_t n =
        u_strToLower(buf.data(), static_cast<int32_t>(buf.size()), in.data(), length, "", &status);
    if (status == U_BUFFER_OVERFLOW_ERROR) {
      buf.assign(static_cast<std::size_t>(n), u'\0');
      continue;
    }
    if (U_FAILURE(status)) return false;
    out.append(buf.data(), static_cast<std::size_t>(n));
    return true;
  }
  return false;
}

bool appendNfd(std::u16string_view in, std::u16string& out) {
  UErrorCode status = U_ZERO_ERROR;
  const icu::Normalizer2* norm = icu::Normalizer2::getNFDInstance(status);
  if (U_FAILURE(status) || norm == nullptr) return false;
  const icu::UnicodeString src(false, in.data(), static_cast<int32_t>(in.size()));
  icu::UnicodeString dest;
  norm->normalize(src, dest, status);
  if (U_FAILURE(status)) return false;
  out.append(reinterpret_cast<const char16_t*>(dest.getBuffer()),
             static_cast<std::size_t>(dest.length()));
  return true;
}

}  // namespace text::backend
