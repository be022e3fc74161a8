// Number conversions of the river data fields, with the results of the C library's strtod,
// strtoul, strtoull and strtol but without their locale lookups and NUL-terminated copies.

#include <charconv>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "hydrochart/riverdata/textscan.h"

namespace riverdata_detail {
namespace {

bool isCSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// strtod on a NUL-terminated copy, for the forms from_chars does not read as strtod does.
double parseWithStrtod(std::string_view text) {
  char buffer[1024];
  const std::size_t n = std::min(text.size(), sizeof buffer - 1);
  if (n > 0) std::memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
  return std::strtod(buffer, nullptr);
}

// Sign and magnitude of a decimal integer after white space; the magnitude saturates at `limit`.
struct DecimalText {
  bool negative = false;
  bool overflow = false;
  std::uint64_t magnitude = 0;
};

DecimalText readDecimal(std::string_view text, std::uint64_t limit) {
  DecimalText result;
  std::size_t i = 0;
  while (i < text.size() && isCSpace(text[i])) ++i;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    result.negative = text[i] == '-';
    ++i;
  }
  if (i >= text.size() || !isDigit(text[i])) return DecimalText{};  // no conversion: 0
  for (; i < text.size() && isDigit(text[i]); ++i) {
    const std::uint64_t digit = static_cast<std::uint64_t>(text[i] - '0');
    if (result.magnitude > (limit - digit) / 10) {
      result.overflow = true;
      result.magnitude = limit;
    } else if (!result.overflow) {
      result.magnitude = result.magnitude * 10 + digit;
    }
  }
  return result;
}

template <typename Unsigned>
Unsigned parseUnsigned(std::string_view text) {
  constexpr std::uint64_t kMax = std::numeric_limits<Unsigned>::max();
  const DecimalText number = readDecimal(text, kMax);
  if (number.overflow) return static_cast<Unsigned>(kMax);
  const Unsigned value = static_cast<Unsigned>(number.magnitude);
  return number.negative ? static_cast<Unsigned>(Unsigned{0} - value) : value;
}

}  // namespace

double parseCoordinate(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && isCSpace(text[i])) ++i;
  const std::size_t numberStart = i;
  {
    const char* p = text.data() + i;
    double value;
    if (parsePlainDecimal(p, text.data() + text.size(), value)) return value;
  }
  bool plus = false;
  if (i < text.size() && text[i] == '+') {
    plus = true;
    ++i;
  }
  std::size_t digitsStart = i;
  if (!plus && i < text.size() && text[i] == '-') ++digitsStart;
  // The common forms: digits or a point after an optional sign. Everything else (inf, nan,
  // hexadecimal, no number) goes to strtod itself.
  if (digitsStart < text.size() && (isDigit(text[digitsStart]) || text[digitsStart] == '.')) {
    double value = 0.0;
    const char* const end = text.data() + text.size();
    const std::from_chars_result result =
        std::from_chars(text.data() + i, end, value, std::chars_format::general);
    const bool hexadecimal = result.ptr != end && (*result.ptr == 'x' || *result.ptr == 'X');
    if (result.ec == std::errc{} && !hexadecimal) return value;
  }
  return parseWithStrtod(text.substr(numberStart));
}

std::uint32_t parseUnsigned32(std::string_view text) { return parseUnsigned<std::uint32_t>(text); }

std::uint64_t parseUnsigned64(std::string_view text) { return parseUnsigned<std::uint64_t>(text); }

std::int32_t parseSigned32(std::string_view text) {
  // strtol's long is 64 bits here; its value is then clamped to 32 bits.
  const DecimalText number = readDecimal(text, std::uint64_t{1} << 32);
  const std::int64_t magnitude = static_cast<std::int64_t>(number.magnitude);
  const std::int64_t value = number.negative ? -magnitude : magnitude;
  if (value > std::numeric_limits<std::int32_t>::max())
    return std::numeric_limits<std::int32_t>::max();
  if (value < std::numeric_limits<std::int32_t>::min())
    return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(value);
}

}  // namespace riverdata_detail
