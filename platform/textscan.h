// Text scanning shared by both programs: substring search, the first run of digits in an id,
// and whole numbers read the way the C library's strtoul and strtol read them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>

#include "platform/bytesearch.h"

namespace platform {

// Position of the first occurrence of `pattern` in `text` at or after `from`, or npos (also
// when `from` lies beyond the text). The data loader runs it over every line, so it looks
// for the first byte with findByte before comparing the rest.
inline std::size_t findText(std::string_view text, std::string_view pattern, std::size_t from = 0) {
  if (pattern.empty()) return from <= text.size() ? from : std::string_view::npos;
  if (from >= text.size() || text.size() - from < pattern.size()) return std::string_view::npos;
  const char* const begin = text.data();
  const char* p = begin + from;
  const char* const last = begin + text.size() - pattern.size();  // last possible start
  const char first = pattern[0];
  while (p <= last) {
    p = findByte(p, first, static_cast<std::size_t>(last - p) + 1);
    if (p == nullptr) break;
    if (std::memcmp(p + 1, pattern.data() + 1, pattern.size() - 1) == 0) {
      return static_cast<std::size_t>(p - begin);
    }
    ++p;
  }
  return std::string_view::npos;
}

// Position just past the first occurrence of `pattern` at or after `from`, or npos.
inline std::size_t findAfter(std::string_view text, std::string_view pattern,
                             std::size_t from = 0) {
  const std::size_t at = findText(text, pattern, from);
  return at == std::string_view::npos ? at : at + pattern.size();
}

// Value of the first run of decimal digits in `text`, saturating at `limit`; nothing when the
// text holds no digit.
std::optional<std::uint64_t> firstDigitRun(std::string_view text, std::uint64_t limit);

// Number of an id such as "cv_12": the first run of decimal digits as an unsigned 32-bit
// number (saturating at 4294967295), taken as a signed 32-bit integer; 0 without a digit.
std::int32_t parseIdNumber(std::string_view text);

// The white space of the C locale: space, \t, \n, \v, \f, \r.
constexpr bool isCSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Unsigned numbers as strtoul (32-bit unsigned long) and strtoull read them in base 10 or 16,
// in the C locale: white space skipped, an optional sign, in base 16 an optional "0x", digits
// up to the first other character, the largest value on overflow, a minus sign negating
// modulo 2^width, 0 when nothing converts.
std::uint32_t parseUnsigned32(std::string_view text, int base = 10);
std::uint64_t parseUnsigned64(std::string_view text, int base = 10);

// Signed decimal number read like strtol (64-bit long) and clamped to the 32-bit range.
std::int32_t parseSigned32(std::string_view text);

}  // namespace platform
