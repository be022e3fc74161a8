#include "hydrochart/mappage/pagetext.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace pagetext {

namespace {

__extension__ typedef unsigned __int128 Uint128;

constexpr char kHexDigits[] = "0123456789abcdef";

}  // namespace

const char detail::kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

void appendDecimal(std::string& out, std::int64_t value) {
  char buffer[24];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, result.ptr);
}

void appendPadded4(std::string& out, std::int32_t value) {
  char buffer[16];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  const std::size_t length = static_cast<std::size_t>(result.ptr - buffer);
  // The width counts the sign, and the zeros go between the sign and the digits.
  std::size_t start = 0;
  if (value < 0) {
    out.push_back('-');
    start = 1;
  }
  if (length < 4) out.append(4 - length, '0');
  out.append(buffer + start, result.ptr);
}

void appendHex6(std::string& out, std::uint64_t value) {
  char buffer[16];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, 16);
  const std::size_t length = static_cast<std::size_t>(result.ptr - buffer);
  if (length < 6) out.append(6 - length, '0');
  out.append(buffer, result.ptr);
}

void appendFixed(std::string& out, double value, int precision) {
  // The largest finite double takes 309 digits before the point.
  char buffer[400];
  if (precision < 0 || precision > 40) precision = 40;
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, precision);
  out.append(buffer, result.ptr);
}

namespace {

// value * 10^8 rounded to an integer exactly as printf rounds the binary value (half to even),
// for 2^-68 <= |value| < 2^32: value = m * 2^-k, and the 128-bit product m * 10^8 is shifted
// and rounded.
std::uint64_t scaledExactly(std::uint64_t bits) {
  const int exponentField = static_cast<int>((bits >> 52) & 0x7ff);
  const std::uint64_t mantissa = (bits & ((std::uint64_t{1} << 52) - 1)) | (std::uint64_t{1} << 52);
  const int shift = 1075 - exponentField;  // 21 ... 120
  const Uint128 product = static_cast<Uint128>(mantissa) * 100000000u;
  std::uint64_t scaled = static_cast<std::uint64_t>(product >> shift);
  const Uint128 remainder = product & ((Uint128{1} << shift) - 1);
  const Uint128 half = Uint128{1} << (shift - 1);
  if (remainder > half || (remainder == half && (scaled & 1) != 0)) ++scaled;
  return scaled;
}

}  // namespace

char* detail::writeFixed8Rarely(char* out, double value) {
  // writeFixed8 has taken the values below 4096 whose scaled product is not near one half. The
  // rest of those, and the values from 4096 to 2^32, go the exact integer path; other values
  // (the tiniest, the largest, infinities and NaNs) go through to_chars.
  const std::uint64_t bits = std::bit_cast<std::uint64_t>(value);
  const double magnitude = std::fabs(value);
  std::uint64_t scaled;
  if (magnitude < 4096.0) {
    if (magnitude < 0x1p-68) {
      return std::to_chars(out, out + kMaxFixed8Length, value, std::chars_format::fixed, 8).ptr;
    }
    scaled = scaledExactly(bits);
  } else if (magnitude < 4294967296.0) {
    scaled = scaledExactly(bits);
  } else {
    return std::to_chars(out, out + kMaxFixed8Length, value, std::chars_format::fixed, 8).ptr;
  }

  return writeScaled8(out, (bits >> 63) != 0, scaled);
}

void appendFixed8(std::string& out, double value) {
  char buffer[kMaxFixed8Length];
  out.append(buffer, writeFixed8(buffer, value));
}

std::string htmlLessThanEscaped(std::string_view text) {
  std::string escaped;
  for (const char c : text) {
    if (c == '<') {
      escaped.append("&lt;");
    } else {
      escaped.push_back(c);
    }
  }
  return escaped;
}

void appendScriptText(std::string& out, std::string_view text) {
  const auto appendUnicodeEscape = [&out](unsigned codePoint) {
    const char escape[6] = {'\\',
                            'u',
                            kHexDigits[(codePoint >> 12) & 0xf],
                            kHexDigits[(codePoint >> 8) & 0xf],
                            kHexDigits[(codePoint >> 4) & 0xf],
                            kHexDigits[codePoint & 0xf]};
    out.append(escape, sizeof escape);
  };
  const std::size_t size = text.size();
  for (std::size_t i = 0; i < size; ++i) {
    const unsigned char byte = static_cast<unsigned char>(text[i]);
    const unsigned char next = i + 1 < size ? static_cast<unsigned char>(text[i + 1]) : 0;
    if (byte == '\\' || byte == '"') {
      out.push_back('\\');
      out.push_back(static_cast<char>(byte));
    } else if (byte < 0x20 || byte == 0x7f) {
      appendUnicodeEscape(byte);
    } else if (byte == 0xc2 && next >= 0x80 && next <= 0x9f) {
      appendUnicodeEscape(next);  // C1 control character
      ++i;
    } else if (byte == 0xe2 && next == 0x80 && i + 2 < size &&
               (text[i + 2] == '\xa8' || text[i + 2] == '\xa9')) {
      // Line and paragraph separators end a script line in older engines.
      appendUnicodeEscape(text[i + 2] == '\xa8' ? 0x2028 : 0x2029);
      i += 2;
    } else if (byte == '<' && next == '/') {
      out.append("<\\/");  // keeps "</script>" in a name from closing the script block
      ++i;
    } else {
      out.push_back(static_cast<char>(byte));
    }
  }
}

}  // namespace pagetext
