#include "hydrochart/mappage/geometry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "hydrochart/mappage/colors.h"

namespace {

std::string hex(Color color) {
  char text[16];
  std::snprintf(text, sizeof text, "#%06lx", static_cast<unsigned long>(color));
  return text;
}

TEST(GeometryTest, KmPerDegreeMatchesWorkedValues) {
  const auto [kyEquator, kxEquator] = kmPerDegreeAt(0);
  EXPECT_EQ(kyEquator, 110.57427582158813);
  EXPECT_EQ(kxEquator, 111.31949079327356);
  const auto [ky35, kx35] = kmPerDegreeAt(35);
  EXPECT_NEAR(ky35, 110.9405745, 1e-7);
  EXPECT_NEAR(kx35, 91.2881697, 1e-7);
  const auto [kyMid, kxMid] = kmPerDegreeAt(35.005);
  EXPECT_NEAR(kyMid, 110.9406661, 1e-7);
  EXPECT_NEAR(kxMid, 91.2826163, 1e-7);
  // Symmetric about the equator; the east-west scale vanishes at the pole.
  EXPECT_EQ(kmPerDegreeAt(-35).first, ky35);
  EXPECT_NEAR(kmPerDegreeAt(90).second, 0.0, 1e-12);
}

TEST(GeometryTest, CurveLengthUsesMiddleLatitudeScales) {
  const std::vector<LatLon> points = {{35.00, 139.00}, {35.01, 139.00}, {35.01, 139.01}};
  const double length = curveLength(points, 0, 2);
  EXPECT_NEAR(length, 2.0222328, 1e-7);
  char shown[32];
  std::snprintf(shown, sizeof shown, "%.3f", length);
  EXPECT_STREQ(shown, "2.022");

  // Exactly the two segments, summed in order, at the scales of latitude 35.005.
  const auto [ky, kx] = kmPerDegreeAt((35.01 + 35.00) * 0.5);
  const double first = std::sqrt(((139.00 - 139.00) * kx) * ((139.00 - 139.00) * kx) +
                                 ((35.01 - 35.00) * ky) * ((35.01 - 35.00) * ky));
  const double second = std::sqrt(((139.01 - 139.00) * kx) * ((139.01 - 139.00) * kx) +
                                  ((35.01 - 35.01) * ky) * ((35.01 - 35.01) * ky));
  EXPECT_EQ(length, second + (first + 0));

  EXPECT_EQ(curveLength(points, 1, 1), 0.0);  // a single position
  EXPECT_EQ(curveLength(points, 2, 1), 0.0);  // no positions: nothing is read

  // One longitude: ky times the sum of the absolute latitude steps.
  const std::vector<LatLon> meridian = {{35.0, 139.0}, {35.5, 139.0}, {35.25, 139.0}};
  EXPECT_NEAR(curveLength(meridian, 0, 2), kmPerDegreeAt(35.25).first * 0.75, 1e-9);
  // One latitude: that latitude is the middle latitude.
  const std::vector<LatLon> parallel = {{36.0, 139.0}, {36.0, 139.5}};
  EXPECT_NEAR(curveLength(parallel, 0, 1), kmPerDegreeAt(36.0).second * 0.5, 1e-9);
  // The range is honoured: positions outside it count for nothing.
  const std::vector<LatLon> padded = {
      {0, 0}, {35.00, 139.00}, {35.01, 139.00}, {35.01, 139.01}, {80, 80}};
  EXPECT_EQ(curveLength(padded, 1, 3), length);
}

TEST(GeometryTest, CurveLengthIsTheSumOfItsSegmentsInOrderToTheLastBit) {
  // Irregular positions, odd and even segment counts, any start: the sum is that of the
  // segments one after the other at the scales of the middle latitude.
  std::vector<LatLon> points;
  for (int i = 0; i < 41; ++i) {
    points.push_back(
        {35.0 + std::sin(i * 0.7) * 0.013 + i * 1e-4, 139.0 + std::cos(i * 1.3) * 0.017});
  }
  for (std::int32_t first = 0; first < 4; ++first) {
    for (std::int32_t last = first + 1; last < 41; ++last) {
      double maxLat = points[first].lat;
      double minLat = maxLat;
      for (std::int32_t i = first; i <= last; ++i) {
        maxLat = std::max(maxLat, points[i].lat);
        minLat = std::min(minLat, points[i].lat);
      }
      const auto [ky, kx] = kmPerDegreeAt((maxLat + minLat) * 0.5);
      double expected = 0;
      for (std::int32_t i = first; i < last; ++i) {
        const double dy = (points[i + 1].lat - points[i].lat) * ky;
        const double dx = (points[i + 1].lon - points[i].lon) * kx;
        expected = std::sqrt(dx * dx + dy * dy) + expected;
      }
      ASSERT_EQ(curveLength(points, first, last), expected) << first << ".." << last;
    }
  }
}

TEST(GeometryTest, HueChannelIsATrapezoidOverTheCircle) {
  EXPECT_EQ(hueChannel(0), 0.0);
  EXPECT_EQ(hueChannel(std::nextafter(120.0, 0.0)), 0.0);
  EXPECT_EQ(hueChannel(120), 0.0);
  EXPECT_EQ(hueChannel(150), 0.5);
  EXPECT_EQ(hueChannel(180), 1.0);
  EXPECT_EQ(hueChannel(std::nextafter(300.0, 0.0)), 1.0);
  EXPECT_EQ(hueChannel(300), 1.0);
  EXPECT_EQ(hueChannel(330), 0.5);
  EXPECT_EQ(hueChannel(360), 0.0);
  EXPECT_EQ(hueChannel(720), 0.0);
  EXPECT_EQ(hueChannel(-90), 1.0);   // as 270
  EXPECT_EQ(hueChannel(-210), 0.5);  // as 150
  EXPECT_EQ(hueChannel(135 + 720), 0.25);
  // Angles far outside one turn still come back instead of looping.
  EXPECT_EQ(hueChannel(1.0e300), hueChannel(std::fmod(1.0e300, 360.0)));
  EXPECT_EQ(hueChannel(INFINITY), 1.0);
}

TEST(GeometryTest, HsvToRgbTruncatesEachChannel) {
  EXPECT_EQ(hsvToRgb(0, 0, 1), 0xffffffu);
  EXPECT_EQ(hsvToRgb(123, 0, 0.5), 0x7f7f7fu);  // trunc(127.5) in every channel
  EXPECT_EQ(hsvToRgb(300, 0, 0.1), 0x191919u);  // trunc(25.5)
  EXPECT_EQ(hsvToRgb(0, 1, 0), 0u);
  EXPECT_EQ(hsvToRgb(270, 1, 1), 0x7f00ffu);
  EXPECT_EQ(hex(hsvToRgb(270, 1, 1)), "#7f00ff");
  EXPECT_EQ(hsvToRgb(0, 1, 1), 0xff0000u);
  EXPECT_EQ(hsvToRgb(120, 1, 1), 0x00ff00u);
  EXPECT_EQ(hsvToRgb(240, 1, 1), 0x0000ffu);
  EXPECT_EQ(hsvToRgb(60, 0.5, 1), 0xffff7fu);
}

TEST(GeometryTest, ColorFromIndexCyclesAndDarkens) {
  const char* const expected[] = {"#ff0000", "#0000ff", "#00cf00", "#ff00ff", "#7f00ff",
                                  "#00cfcf", "#bf0000", "#0000bf", "#009b00", "#bf00bf",
                                  "#5f00bf", "#009b9b", "#8f0000"};
  for (int i = 0; i < 13; ++i) EXPECT_EQ(hex(colorFromIndex(i, 0.75)), expected[i]) << i;
  EXPECT_EQ(hex(colorFromIndex(18, 0.75)), "#6b0000");
  EXPECT_EQ(colorFromIndex(6, 0.75) >> 16, 191u);  // trunc(191.25)

  const double large = std::pow(0.3, 6.0 / 64);
  EXPECT_NEAR(large, 0.8932645883860881, 1e-16);
  EXPECT_EQ(hex(colorFromIndex(6, large)), "#e30000");
  EXPECT_EQ(hex(colorFromIndex(63, large)), "#520052");

  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(colorFromIndex(i + 60, 1.0), colorFromIndex(i, 1.0));
    EXPECT_EQ(colorFromIndex(i, 1.0), colorFromIndex(i, 0.75));
  }
}

}  // namespace

TEST(ColorFromIndex, LargeIndexesDarkenOneMultiplicationAtATime) {
  // Pages of every water system reach indexes in the tens of thousands; the value must be the
  // palette value multiplied by the factor once per turn, in that order, down to black.
  const double hues[6] = {0, 240, 120, 300, 270, 180};
  const double values[6] = {1.0, 1.0, 0.812, 1.0, 1.0, 0.812};
  for (const double factor : {0.75, std::pow(0.3, 6.0 / 64), std::pow(0.3, 6.0 / 500), 1.0}) {
    for (std::int32_t index : {0, 5, 6, 7, 600, 6001, 20000, 59999, 3, 12}) {
      double value = values[index % 6];
      for (std::int32_t turn = 0; turn < index / 6; ++turn) value *= factor;
      EXPECT_EQ(colorFromIndex(index, factor), hsvToRgb(hues[index % 6], 1.0, value))
          << index << " " << factor;
    }
  }
  EXPECT_EQ(colorFromIndex(60000, 0.75), 0u);
}
