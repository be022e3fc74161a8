#include "platform/textscan.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <string>

using namespace platform;

namespace {

// The search steps through whole 16-byte chunks and then the bytes after them, so the byte is
// put at every position of texts of many lengths, with copies after it that must not win and
// a copy just past the end that must not be seen.
TEST(FindByte, FindsTheFirstCopyAtEveryPositionAndNothingPastTheEnd) {
  for (const char wanted : {'<', '\0', '\xff'}) {
    for (std::size_t size = 0; size <= 40; ++size) {
      std::string buffer(size + 1, 'x');
      buffer[size] = wanted;  // just past the searched range
      EXPECT_EQ(findByte(buffer.data(), wanted, size), nullptr) << size;
      for (std::size_t at = 0; at < size; ++at) {
        std::string text(size, 'x');
        text[at] = wanted;
        if (at + 1 < size) text[size - 1] = wanted;
        EXPECT_EQ(findByte(text.data(), wanted, size), text.data() + at) << size << " " << at;
      }
    }
  }
}

TEST(FindText, FindsFromAPositionAndNeverBeyondTheText) {
  EXPECT_EQ(findText("abcabc", "bc"), 1u);
  EXPECT_EQ(findText("abcabc", "bc", 2), 4u);
  EXPECT_EQ(findText("abcabc", "bc", 5), std::string_view::npos);
  EXPECT_EQ(findText("abc", "abcd"), std::string_view::npos);
  EXPECT_EQ(findText("abc", "c", 7), std::string_view::npos);
  // An empty pattern is found where the search starts, while that lies inside the text.
  EXPECT_EQ(findText("abc", "", 3), 3u);
  EXPECT_EQ(findText("abc", "", 4), std::string_view::npos);
  // Text holding NUL bytes is searched as a whole.
  EXPECT_EQ(findText(std::string_view("a\0b\0c", 5), std::string_view("\0c", 2)), 3u);
}

TEST(FindAfter, GivesThePositionPastTheFirstMatch) {
  EXPECT_EQ(findAfter("abcabc", "bc"), 3u);
  EXPECT_EQ(findAfter("abcabc", "bc", 2), 6u);
  EXPECT_EQ(findAfter("<gml:pos>1 2</gml:pos>", "<gml:pos>"), 9u);
  // A match at the very end gives the end: an empty remainder, not "not found".
  EXPECT_EQ(findAfter("abc", "c"), 3u);
  EXPECT_EQ(findAfter("abc", "abc"), 3u);
  EXPECT_EQ(findAfter("abc", "x"), std::string_view::npos);
  EXPECT_EQ(findAfter("ab", "abc"), std::string_view::npos);
  EXPECT_EQ(findAfter("ABC", "abc"), std::string_view::npos);
  EXPECT_EQ(findAfter("", "x"), std::string_view::npos);
}

TEST(FirstDigitRun, ReadsTheFirstRunAndSaturates) {
  EXPECT_EQ(firstDigitRun("cv_0012x34", 100), 12u);
  EXPECT_EQ(firstDigitRun("no digits", 100), std::nullopt);
  EXPECT_EQ(firstDigitRun("", 100), std::nullopt);
  EXPECT_EQ(firstDigitRun("x101", 100), 100u);
  EXPECT_EQ(firstDigitRun("99999999999999999999999", UINT64_MAX), UINT64_MAX);
}

TEST(ParseIdNumber, ReadsTheFirstDigitRun) {
  EXPECT_EQ(parseIdNumber("cv_00123"), 123);
  EXPECT_EQ(parseIdNumber("rn12x34"), 12);
  EXPECT_EQ(parseIdNumber("-5"), 5);
  EXPECT_EQ(parseIdNumber("abc_"), 0);
  EXPECT_EQ(parseIdNumber(""), 0);
  EXPECT_EQ(parseIdNumber("2147483647"), 2147483647);
  // The digits are read as an unsigned 32-bit number and taken as signed.
  EXPECT_EQ(parseIdNumber("2147483648"), INT32_MIN);
  EXPECT_EQ(parseIdNumber("pt3000000000"), -1294967296);
  EXPECT_EQ(parseIdNumber("4294967295"), -1);
  EXPECT_EQ(parseIdNumber("99999999999999999999"), -1);
  EXPECT_EQ(parseIdNumber(std::string_view("12", 1)), 1);
}

TEST(ParseUnsigned, ReadsDecimalsAsStrtoulDoes) {
  EXPECT_EQ(parseUnsigned32("130010"), 130010u);
  EXPECT_EQ(parseUnsigned32(" \n+7x"), 7u);
  EXPECT_EQ(parseUnsigned32("-1"), 4294967295u);
  EXPECT_EQ(parseUnsigned32("-4294967295"), 1u);
  EXPECT_EQ(parseUnsigned32("4294967295"), 4294967295u);
  EXPECT_EQ(parseUnsigned32("4294967296"), 4294967295u);
  EXPECT_EQ(parseUnsigned32("-4294967296"), 4294967295u);
  EXPECT_EQ(parseUnsigned32("99999999999999999999999"), 4294967295u);
  EXPECT_EQ(parseUnsigned32("abc"), 0u);
  EXPECT_EQ(parseUnsigned32("- 5"), 0u);
  EXPECT_EQ(parseUnsigned32(""), 0u);
  // Only the C locale's white space is skipped, whatever the locale: a no-break space (0xA0
  // in Latin-1) or a UTF-8 one stops the reading.
  EXPECT_EQ(parseUnsigned32("\xA0"
                            "12"),
            0u);
  EXPECT_EQ(parseUnsigned32("\xC2\xA0"
                            "12"),
            0u);

  // strtoull is the 64-bit conversion itself on this platform.
  for (const char* text :
       {"1300100001", " -1", "18446744073709551615", "18446744073709551616",
        "-18446744073709551615", "-99999999999999999999", "+0042abc", "x1", "", "\t\v\f\r 12"}) {
    EXPECT_EQ(parseUnsigned64(text), std::strtoull(text, nullptr, 10)) << '"' << text << '"';
  }
}

TEST(ParseUnsigned, ReadsHexadecimalsAsStrtoulDoes) {
  // Colours: "0x" prefix optional, either case, the 32-bit rules for sign and overflow.
  for (const char* text :
       {"FF8000", "ff8000", "0xff8000", "0XFF8000", " +12", "-1", "0x", "0xg", "x12", "- 12",
        "12345678", "fffffffff", "-fffffffff", "0x0x12", "1g", ""}) {
    const unsigned long long expected = std::strtoull(text, nullptr, 16);
    const std::uint32_t value = parseUnsigned32(text, 16);
    const bool fits =
        expected <= 0xFFFFFFFFull || (text[0] == '-' && expected >= 0xFFFFFFFF00000001ull);
    if (fits) {
      EXPECT_EQ(value, static_cast<std::uint32_t>(expected)) << '"' << text << '"';
    } else {
      EXPECT_EQ(value, 0xFFFFFFFFu) << '"' << text << '"';
    }
  }
  EXPECT_EQ(parseUnsigned64("ffffffffffffffffff", 16), UINT64_MAX);
}

TEST(ParseSigned32, ReadsAsStrtolClampedTo32Bits) {
  EXPECT_EQ(parseSigned32("1"), 1);
  EXPECT_EQ(parseSigned32(" -12abc"), -12);
  EXPECT_EQ(parseSigned32("+2147483647"), 2147483647);
  EXPECT_EQ(parseSigned32("2147483648"), INT32_MAX);
  EXPECT_EQ(parseSigned32("-2147483648"), INT32_MIN);
  EXPECT_EQ(parseSigned32("-2147483649"), INT32_MIN);
  EXPECT_EQ(parseSigned32("99999999999999999999999"), INT32_MAX);
  EXPECT_EQ(parseSigned32("-99999999999999999999999"), INT32_MIN);
  EXPECT_EQ(parseSigned32("x"), 0);
  EXPECT_EQ(parseSigned32(""), 0);
}

}  // namespace
