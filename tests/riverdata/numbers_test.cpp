#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "hydrochart/riverdata/textscan.h"

using namespace riverdata_detail;

namespace {

// Same double as strtod, bit for bit (NaN payloads aside).
void expectSameAsStrtod(const std::string& text) {
  const double expected = std::strtod(text.c_str(), nullptr);
  const double actual = parseCoordinate(text);
  if (std::isnan(expected)) {
    EXPECT_TRUE(std::isnan(actual)) << '"' << text << '"';
  } else {
    EXPECT_EQ(std::memcmp(&expected, &actual, sizeof expected), 0)
        << '"' << text << "\" gave " << actual << ", strtod " << expected;
  }
}

TEST(ParseCoordinate, ReadsNumbersAsStrtodDoes) {
  const std::vector<std::string> texts = {"35.61222222",
                                          "139.12345678",
                                          " \t35.5",
                                          "-0.0",
                                          "0",
                                          "-12",
                                          "+1.5",
                                          "+-1",
                                          "--1",
                                          "-",
                                          "+",
                                          ".",
                                          ".5",
                                          "5.",
                                          "-.5",
                                          "1e5",
                                          "1E-3",
                                          "1e",
                                          "1e+",
                                          "2.5e-3x",
                                          "1e400",
                                          "-1e400",
                                          "1e-400",
                                          "4.9e-324",
                                          "0x1p3",
                                          "0X1A",
                                          "-0x10",
                                          "0x",
                                          "inf",
                                          "-Infinity",
                                          "nan",
                                          "NAN(12)",
                                          "",
                                          "   ",
                                          "abc",
                                          "1,5",
                                          "12.34.56",
                                          "35.6 139.7",
                                          "35.6</gml:pos>",
                                          "9007199254740993",
                                          "9007199254740993.5",
                                          "0.1000000000000000055511151231257827",
                                          "123456789012345678901234567890",
                                          "0.00000000000000000000001",
                                          "1.00000000000000000000001",
                                          "12345678.12345678",
                                          "99999999.99999999",
                                          "00000000000000000000035.5"};
  for (const std::string& text : texts) expectSameAsStrtod(text);
}

TEST(ParseCoordinate, MatchesStrtodOnRandomDecimals) {
  std::uint64_t state = 99;
  auto next = [&state]() {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return state >> 33;
  };
  for (int i = 0; i < 20000; ++i) {
    std::string text = (next() % 4 == 0) ? "-" : "";
    const std::uint64_t intDigits = next() % 12;
    for (std::uint64_t d = 0; d < intDigits; ++d) text += static_cast<char>('0' + next() % 10);
    if (next() % 5 != 0) {
      text += '.';
      const std::uint64_t fracDigits = next() % 25;
      for (std::uint64_t d = 0; d < fracDigits; ++d) text += static_cast<char>('0' + next() % 10);
    }
    if (next() % 10 == 0) text += " 139";
    expectSameAsStrtod(text);
  }
}

TEST(ParsePlainDecimal, TakesOnlyTheExactlyRoundedForms) {
  auto plain = [](const std::string& text, double& value, std::size_t& used) {
    const char* p = text.data();
    const bool ok = parsePlainDecimal(p, text.data() + text.size(), value);
    used = static_cast<std::size_t>(p - text.data());
    return ok;
  };
  double value = 0;
  std::size_t used = 0;
  ASSERT_TRUE(plain("35.61222222 139.5", value, used));
  EXPECT_EQ(value, 35.61222222);
  EXPECT_EQ(used, 11u);
  ASSERT_TRUE(plain("-139.12345678", value, used));
  EXPECT_EQ(value, -139.12345678);
  EXPECT_EQ(used, 13u);
  EXPECT_FALSE(plain("1e5", value, used));
  EXPECT_FALSE(plain("0x10", value, used));
  EXPECT_FALSE(plain("+1", value, used));
  EXPECT_FALSE(plain(".", value, used));
  EXPECT_FALSE(plain("12345678901234567890", value, used));       // more than 19 digits
  EXPECT_FALSE(plain("9007199254740993", value, used));           // above 2^53
  EXPECT_FALSE(plain("0.00000000000000000000001", value, used));  // 23 decimals
}

}  // namespace
