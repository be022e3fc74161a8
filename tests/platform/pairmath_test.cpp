#include "platform/pairmath.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Both lanes are rounded as std::sqrt rounds each value on its own, whichever lane it is in.
TEST(PairMathTest, SquareRootsAreThoseOfStdSqrt) {
  const double values[] = {0.0,
                           -0.0,
                           DBL_TRUE_MIN,
                           DBL_MIN,
                           1e-300,
                           2.0,
                           0.123456789,
                           1.0e300,
                           DBL_MAX,
                           3.0 * 3.0 + 4.0 * 4.0,
                           std::numeric_limits<double>::infinity()};
  for (const double a : values) {
    for (const double b : values) {
      const auto [rootA, rootB] = platform::sqrtPair(a, b);
      EXPECT_TRUE(sameBits(rootA, std::sqrt(a))) << a;
      EXPECT_TRUE(sameBits(rootB, std::sqrt(b))) << b;
    }
  }
  EXPECT_TRUE(std::isnan(platform::sqrtPair(-1.0, 4.0).first));
  EXPECT_EQ(platform::sqrtPair(-1.0, 4.0).second, 2.0);
}

}  // namespace
