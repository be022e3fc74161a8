#include "hydrochart/mappage/pagetext.h"

#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdio>
#include <random>

namespace {

std::string printed(const char* format, double value) {
  char text[512];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

std::string fixed8(double value) {
  std::string out;
  pagetext::appendFixed8(out, value);
  return out;
}

std::string fixed(double value, int precision) {
  std::string out;
  pagetext::appendFixed(out, value, precision);
  return out;
}

TEST(PageTextTest, Fixed8MatchesPrintf) {
  const double special[] = {0.0,
                            -0.0,
                            1.0,
                            -1.0,
                            35.0,
                            139.01,
                            0.001953125,  // 2^-9: an exact tie at the eighth decimal, to even
                            0.005859375,  // 3 * 2^-9: a tie rounded up to even
                            0.000000005,
                            0.000000015,
                            -0.000000004,  // rounds to zero and keeps its sign
                            99.999999995,
                            4294967295.999999,
                            4294967296.0,  // 2^32: first value beyond the integer path
                            std::ldexp(1.0, -68),
                            std::ldexp(1.0, -69),
                            1e-300,
                            DBL_MIN,
                            DBL_MAX,
                            -DBL_MAX,
                            1e22,
                            INFINITY,
                            -INFINITY};
  for (const double value : special) EXPECT_EQ(fixed8(value), printed("%.8f", value)) << value;
  EXPECT_EQ(fixed8(DBL_MAX),
            "1797693134862315708145274237317043567980705675258449965989174768031572607800285387605"
            "8955863276687817154045895351438246423432132688946418276846754670353751698604991057655"
            "1282076245490090389328944075868508455133942304583236903222948165808559332123348274797"
            "826204144723168738177180919299881250404026184124858368.00000000");
  EXPECT_EQ(fixed8(DBL_MIN), "0.00000000");
  EXPECT_EQ(fixed8(0.001953125), "0.00195312");
  EXPECT_EQ(fixed8(std::nan("")), printed("%.8f", std::nan("")));

  std::mt19937_64 random(20240601);
  std::uniform_real_distribution<double> latitude(20.0, 46.0);
  std::uniform_real_distribution<double> longitude(-180.0, 180.0);
  for (int i = 0; i < 100000; ++i) {
    const double lat = latitude(random);
    const double lon = longitude(random);
    ASSERT_EQ(fixed8(lat), printed("%.8f", lat));
    ASSERT_EQ(fixed8(lon), printed("%.8f", lon));
  }
  // Coordinates as the loader reads them from eight-decimal text.
  for (int i = 0; i < 100000; ++i) {
    const double value = std::round(latitude(random) * 1e8) / 1e8;
    ASSERT_EQ(fixed8(value), printed("%.8f", value));
  }
  // Any bit pattern, so that every exponent and both paths are met.
  for (int i = 0; i < 100000; ++i) {
    const double value = std::bit_cast<double>(random());
    ASSERT_EQ(fixed8(value), printed("%.8f", value));
  }
}

TEST(PageTextTest, IntegersAndOtherPrecisionsMatchPrintf) {
  const auto padded4 = [](std::int32_t value) {
    std::string out;
    pagetext::appendPadded4(out, value);
    return out;
  };
  EXPECT_EQ(padded4(0), "0000");
  EXPECT_EQ(padded4(1), "0001");
  EXPECT_EQ(padded4(9999), "9999");
  EXPECT_EQ(padded4(10000), "10000");  // a minimum width only
  EXPECT_EQ(padded4(123456), "123456");
  EXPECT_EQ(padded4(-5), "-005");
  EXPECT_EQ(padded4(-1234), "-1234");
  EXPECT_EQ(padded4(INT_MIN), "-2147483648");

  const auto hex6 = [](std::uint64_t value) {
    std::string out;
    pagetext::appendHex6(out, value);
    return out;
  };
  EXPECT_EQ(hex6(0), "000000");
  EXPECT_EQ(hex6(0xff0000), "ff0000");
  EXPECT_EQ(hex6(0xcf), "0000cf");
  EXPECT_EQ(hex6(0x1abcdef), "1abcdef");
  EXPECT_EQ(hex6(0xffffffff), "ffffffff");

  const auto decimal = [](std::int64_t value) {
    std::string out;
    pagetext::appendDecimal(out, value);
    return out;
  };
  EXPECT_EQ(decimal(0), "0");
  EXPECT_EQ(decimal(-42), "-42");
  EXPECT_EQ(decimal(1234560001), "1234560001");
  EXPECT_EQ(decimal(INT64_MIN), "-9223372036854775808");

  for (const double value :
       {0.0, 2.0222328, 0.0005, 0.0015, 0.0025, 1234.5675, -0.0004, 1e20, DBL_MAX}) {
    EXPECT_EQ(fixed(value, 3), printed("%.3f", value)) << value;
    EXPECT_EQ(fixed(value, 8), printed("%.8f", value)) << value;
  }
  EXPECT_EQ(fixed(2.0222328, 3), "2.022");
}

TEST(PageTextTest, ScriptTextEscapesWhatWouldBreakAString) {
  const auto escaped = [](std::string_view text) {
    std::string out;
    pagetext::appendScriptText(out, text);
    return out;
  };
  EXPECT_EQ(escaped("テスト川"), "テスト川");
  EXPECT_EQ(escaped("a'b&amp;c<d>/e"), "a'b&amp;c<d>/e");  // nothing else is touched
  EXPECT_EQ(escaped("say \"hi\""), "say \\\"hi\\\"");
  EXPECT_EQ(escaped("C:\\river"), "C:\\\\river");
  EXPECT_EQ(escaped("</script><script>x()</script>"), "<\\/script><script>x()<\\/script>");
  EXPECT_EQ(escaped("<"), "<");
  EXPECT_EQ(escaped(std::string_view("a\nb\rc\td\0e\x1f\x7f", 11)),
            "a\\u000ab\\u000dc\\u0009d\\u0000e\\u001f\\u007f");
  EXPECT_EQ(escaped("x\xc2\x85y\xc2\x9fz\xc2\xa0"), "x\\u0085y\\u009fz\xc2\xa0");  // C1, not NBSP
  EXPECT_EQ(escaped("a\xe2\x80\xa8"
                    "b\xe2\x80\xa9"
                    "c"),
            "a\\u2028b\\u2029c");
  EXPECT_EQ(escaped("\xe2\x80\xa7\xe2\x80\xaa"), "\xe2\x80\xa7\xe2\x80\xaa");  // neighbours stay
  // Invalid or cut UTF-8 passes through byte for byte.
  EXPECT_EQ(escaped("\xff\xfe\xe2\x80"), "\xff\xfe\xe2\x80");
  EXPECT_EQ(escaped("\xc2"), "\xc2");
}

}  // namespace
