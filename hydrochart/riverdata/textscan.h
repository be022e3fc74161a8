// Text scanning of the river data loader: tag sets tested in one pass over a line, and the
// number conversions of the data fields.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "platform/textscan.h"

namespace riverdata_detail {

// A fixed set of tag patterns, all beginning with "<" and at least 7 bytes long, found in a
// single pass over the "<" characters of a line. A line usually holds one or two tags, so
// this costs a byte search or two plus a table lookup per tag instead of one search per pattern.
template <std::size_t N>
class TagSet {
 public:
  static_assert(N <= 32);
  static constexpr std::size_t kKeyOffset = 6;

  explicit constexpr TagSet(const std::array<std::string_view, N>& patterns) : patterns_(patterns) {
    for (std::size_t i = 0; i < N; ++i) {
      candidates_[static_cast<unsigned char>(patterns[i][kKeyOffset])] |= std::uint32_t{1} << i;
    }
  }

  // Bit i set when pattern i occurs in `line`; after[i] is then the position just past its
  // first occurrence.
  std::uint32_t scan(std::string_view line, std::array<std::size_t, N>& after) const {
    std::uint32_t found = 0;
    const char* const begin = line.data();
    const char* const end = begin + line.size();
    const char* p = begin;
    while (end - p > static_cast<std::ptrdiff_t>(kKeyOffset)) {
      p = platform::findByte(p, '<', static_cast<std::size_t>(end - p - kKeyOffset));
      if (p == nullptr) break;
      std::uint32_t maybe = candidates_[static_cast<unsigned char>(p[kKeyOffset])] & ~found;
      while (maybe != 0) {
        const int i = std::countr_zero(maybe);
        maybe &= maybe - 1;
        const std::string_view pattern = patterns_[static_cast<std::size_t>(i)];
        if (static_cast<std::size_t>(end - p) >= pattern.size() &&
            std::memcmp(p, pattern.data(), pattern.size()) == 0) {
          found |= std::uint32_t{1} << i;
          after[static_cast<std::size_t>(i)] = static_cast<std::size_t>(p - begin) + pattern.size();
        }
      }
      ++p;
    }
    return found;
  }

 private:
  std::array<std::string_view, N> patterns_;
  std::array<std::uint32_t, 256> candidates_{};
};

// Reads a plain decimal number ("-35.61222222": optional minus, digits, optional point and
// digits) starting at `p`, exactly as strtod would, when it has at most 19 digits, a value
// of at most 2^53 in its digits and at most 22 of them after the point: then the result is
// the quotient of two exactly representable doubles, rounded once. Returns false, leaving `p`
// unspecified, for every other text (exponents and hexadecimal included), which the caller
// then reads the general way.
// True when the 8 bytes at `p` are all decimal digits; `value` then holds their number.
// Reading eight digits at once matters for coordinates with 8 decimals.
[[gnu::always_inline]] inline bool readEightDigits(const char* p, std::uint64_t& value) {
  if constexpr (std::endian::native != std::endian::little) {
    return false;
  } else {
    std::uint64_t v;
    std::memcpy(&v, p, 8);
    if ((((v & 0xF0F0F0F0F0F0F0F0ULL) |
          (((v + 0x0606060606060606ULL) & 0xF0F0F0F0F0F0F0F0ULL) >> 4)) != 0x3333333333333333ULL)) {
      return false;
    }
    v -= 0x3030303030303030ULL;
    v = (v * 10) + (v >> 8);
    value = (((v & 0x000000FF000000FFULL) * (100 + (1000000ULL << 32))) +
             (((v >> 16) & 0x000000FF000000FFULL) * (1 + (10000ULL << 32)))) >>
            32;
    return true;
  }
}

[[gnu::always_inline]] inline bool parsePlainDecimal(const char*& p, const char* end,
                                                     double& value) {
  static constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                            1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                            1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  const bool negative = p < end && *p == '-';
  if (negative) ++p;
  std::uint64_t digits = 0;
  int count = 0;
  int fraction = 0;
  while (p < end && static_cast<unsigned char>(*p - '0') < 10) {
    digits = digits * 10 + static_cast<std::uint64_t>(*p - '0');
    ++count;
    ++p;
    if (count > 19) return false;
  }
  if (p < end && *p == '.') {
    ++p;
    std::uint64_t eight;
    if (end - p >= 8 && count <= 11 && readEightDigits(p, eight)) {
      digits = digits * 100000000 + eight;
      count += 8;
      fraction += 8;
      p += 8;
    }
    while (p < end && static_cast<unsigned char>(*p - '0') < 10) {
      digits = digits * 10 + static_cast<std::uint64_t>(*p - '0');
      ++count;
      ++fraction;
      ++p;
      if (count > 19) return false;
    }
  }
  if (count == 0 || fraction > 22 || digits > (std::uint64_t{1} << 53)) return false;
  if (p < end && (*p == 'e' || *p == 'E' || *p == 'x' || *p == 'X')) return false;
  const double magnitude = static_cast<double>(digits) / kPowersOfTen[fraction];
  value = negative ? -magnitude : magnitude;
  return true;
}

// A decimal floating-point number as strtod reads it from the start of `text`: white space
// skipped, reading stops at the first character that cannot continue the number, 0 when
// there is none.
double parseCoordinate(std::string_view text);

// Whole numbers are read as strtoul, strtoull and strtol read them.
using platform::parseSigned32;
using platform::parseUnsigned32;
using platform::parseUnsigned64;

}  // namespace riverdata_detail
