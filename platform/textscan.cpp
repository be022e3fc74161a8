#include "platform/textscan.h"

#include <limits>

namespace platform {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Value of a digit in `base` (10 or 16), or `base` itself for a character that is none.
unsigned digitValue(char c, unsigned base) {
  if (isDigit(c)) return static_cast<unsigned>(c - '0');
  if (base == 16 && c >= 'a' && c <= 'f') return static_cast<unsigned>(c - 'a' + 10);
  if (base == 16 && c >= 'A' && c <= 'F') return static_cast<unsigned>(c - 'A' + 10);
  return base;
}

// Sign and magnitude of a whole number after white space; the magnitude saturates at `limit`.
struct WholeNumber {
  bool negative = false;
  bool overflow = false;
  std::uint64_t magnitude = 0;
};

WholeNumber readWholeNumber(std::string_view text, unsigned base, std::uint64_t limit) {
  WholeNumber number;
  std::size_t i = 0;
  while (i < text.size() && isCSpace(text[i])) ++i;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    number.negative = text[i] == '-';
    ++i;
  }
  // "0x" counts as a prefix only when a hexadecimal digit follows it.
  if (base == 16 && text.size() - i > 2 && text[i] == '0' && (text[i + 1] | 0x20) == 'x' &&
      digitValue(text[i + 2], base) < base) {
    i += 2;
  }
  if (i >= text.size() || digitValue(text[i], base) >= base) return WholeNumber{};
  for (; i < text.size(); ++i) {
    const unsigned digit = digitValue(text[i], base);
    if (digit >= base) break;
    if (number.magnitude > (limit - digit) / base) {
      number.overflow = true;
      number.magnitude = limit;
    } else if (!number.overflow) {
      number.magnitude = number.magnitude * base + digit;
    }
  }
  return number;
}

template <typename Unsigned>
Unsigned parseUnsigned(std::string_view text, int base) {
  constexpr std::uint64_t kMax = std::numeric_limits<Unsigned>::max();
  const WholeNumber number = readWholeNumber(text, static_cast<unsigned>(base), kMax);
  if (number.overflow) return static_cast<Unsigned>(kMax);
  const Unsigned value = static_cast<Unsigned>(number.magnitude);
  return number.negative ? static_cast<Unsigned>(Unsigned{0} - value) : value;
}

}  // namespace

std::optional<std::uint64_t> firstDigitRun(std::string_view text, std::uint64_t limit) {
  std::size_t i = 0;
  while (i < text.size() && !isDigit(text[i])) ++i;
  if (i == text.size()) return std::nullopt;
  std::uint64_t value = 0;
  for (; i < text.size() && isDigit(text[i]); ++i) {
    const auto digit = static_cast<std::uint64_t>(text[i] - '0');
    value = value > (limit - digit) / 10 ? limit : value * 10 + digit;
  }
  return value;
}

std::int32_t parseIdNumber(std::string_view text) {
  const std::uint64_t value = firstDigitRun(text, 0xFFFFFFFFu).value_or(0);
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
}

std::uint32_t parseUnsigned32(std::string_view text, int base) {
  return parseUnsigned<std::uint32_t>(text, base);
}

std::uint64_t parseUnsigned64(std::string_view text, int base) {
  return parseUnsigned<std::uint64_t>(text, base);
}

std::int32_t parseSigned32(std::string_view text) {
  // strtol's long is 64 bits here; its value is then clamped to 32 bits.
  const WholeNumber number = readWholeNumber(text, 10, std::uint64_t{1} << 32);
  const auto magnitude = static_cast<std::int64_t>(number.magnitude);
  const std::int64_t value = number.negative ? -magnitude : magnitude;
  if (value > std::numeric_limits<std::int32_t>::max())
    return std::numeric_limits<std::int32_t>::max();
  if (value < std::numeric_limits<std::int32_t>::min())
    return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(value);
}

}  // namespace platform
