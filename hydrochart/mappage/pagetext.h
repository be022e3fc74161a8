// Text pieces of a map page: numbers formatted exactly as the page's printf directives would
// format them, and river names made safe for script strings.
#pragma once

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace pagetext {

void appendDecimal(std::string& out, std::int64_t value);         // "%d", "%lld"
void appendPadded4(std::string& out, std::int32_t value);         // "%04d"
void appendHex6(std::string& out, std::uint64_t value);           // "%06lx"
void appendFixed(std::string& out, double value, int precision);  // "%.<precision>f"
void appendFixed8(std::string& out, double value);                // "%.8f", fast for coordinates

// Room that writeFixed8 may need: the largest double has 309 digits before the point.
constexpr std::size_t kMaxFixed8Length = 320;
// Writes "%.8f" of `value` at `out`, which has room for kMaxFixed8Length characters; returns the
// end of what was written.
inline char* writeFixed8(char* out, double value);

namespace detail {

extern const char kDigitPairs[];

// Writes a minus when `negative`, then `scaled` / 10^8 with the eight digits of its remainder
// after the point.
inline char* writeScaled8(char* out, bool negative, std::uint64_t scaled) {
  if (negative) *out++ = '-';
  const std::uint64_t whole = scaled / 100000000u;
  const auto fraction = static_cast<std::uint32_t>(scaled - whole * 100000000u);
  // Latitudes and longitudes have at most three digits before the point.
  if (whole < 10) {
    *out++ = static_cast<char>('0' + whole);
  } else if (whole < 100) {
    std::memcpy(out, kDigitPairs + 2 * whole, 2);
    out += 2;
  } else if (whole < 1000) {
    *out++ = static_cast<char>('0' + whole / 100);
    std::memcpy(out, kDigitPairs + 2 * (whole % 100), 2);
    out += 2;
  } else {
    out = std::to_chars(out, out + 12, whole).ptr;
  }
  *out++ = '.';
  // Two independent halves of four digits keep the divisions out of one long chain.
  const std::uint32_t high = fraction / 10000;
  const std::uint32_t low = fraction % 10000;
  std::memcpy(out, kDigitPairs + 2 * (high / 100), 2);
  std::memcpy(out + 2, kDigitPairs + 2 * (high % 100), 2);
  std::memcpy(out + 4, kDigitPairs + 2 * (low / 100), 2);
  std::memcpy(out + 6, kDigitPairs + 2 * (low % 100), 2);
  return out + 8;
}

// writeFixed8 for the values its inline part leaves.
char* writeFixed8Rarely(char* out, double value);

}  // namespace detail

// Coordinates are written by the million, so their common case is inline: below 4096 the
// double product |value| * 10^8 is within 2^-15 of the exact one, and unless its fraction lies
// near one half it rounds to the same integer. Everything else is decided out of line.
inline char* writeFixed8(char* out, double value) {
  const double magnitude = std::fabs(value);
  if (magnitude < 4096.0) {
    const double product = magnitude * 1e8;
    const auto truncated = static_cast<std::uint64_t>(product);  // floor: product is below 2^39
    const double fraction = product - static_cast<double>(truncated);
    if (std::fabs(fraction - 0.5) > 1e-4) {
      return detail::writeScaled8(out, std::signbit(value), truncated + (fraction > 0.5 ? 1 : 0));
    }
  }
  return detail::writeFixed8Rarely(out, value);
}

// Appends `text` for use inside a double-quoted script string (or a script comment): backslash,
// double quote, control characters, U+2028, U+2029 and "</" are escaped; all other bytes,
// including bytes that are not valid UTF-8, are copied unchanged.
void appendScriptText(std::string& out, std::string_view text);

// `text` with every "<" written as "&lt;", for text that a page shows as HTML.
std::string htmlLessThanEscaped(std::string_view text);

}  // namespace pagetext
