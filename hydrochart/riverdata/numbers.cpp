// Coordinates of the river data fields, with the results of the C library's strtod but
// without its locale lookups and NUL-terminated copies.

#include <charconv>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "hydrochart/riverdata/textscan.h"

namespace riverdata_detail {
namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// strtod on a NUL-terminated copy, for the forms from_chars does not read as strtod does.
double parseWithStrtod(std::string_view text) {
  char buffer[1024];
  const std::size_t n = std::min(text.size(), sizeof buffer - 1);
  if (n > 0) std::memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
  return std::strtod(buffer, nullptr);
}

}  // namespace

double parseCoordinate(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && platform::isCSpace(text[i])) ++i;
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

}  // namespace riverdata_detail
