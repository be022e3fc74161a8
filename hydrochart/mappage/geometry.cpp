#include "hydrochart/mappage/geometry.h"

#include <cmath>
#include <cstdint>
#include <vector>

#include "platform/pairmath.h"

namespace {

constexpr double kDegreesToRadians = 0.017453292519943295;
constexpr double kOneMinusE2 = 0.9933056200098028;
constexpr double kEquatorKmPerDegree = 111.31949079327356;

}  // namespace

std::pair<double, double> kmPerDegreeAt(double latitude) {
  const double r = latitude * kDegreesToRadians;
  const double s = std::sin(r);
  const double w = 1 - (1 - kOneMinusE2) * s * s;
  const double q = std::sqrt(w);
  const double kmPerLatitude = (kEquatorKmPerDegree * kOneMinusE2) / (w * q);
  const double kmPerLongitude = (kEquatorKmPerDegree / q) * std::cos(r);
  return {kmPerLatitude, kmPerLongitude};
}

double curveLength(const std::vector<LatLon>& pointList, std::int32_t first, std::int32_t last) {
  if (last <= first) return 0;
  // The scales of both axes are taken at the middle latitude of the line.
  double maxLat = pointList[first].lat;
  double minLat = maxLat;
  for (std::int32_t i = first + 1; i <= last; ++i) {
    const double lat = pointList[i].lat;
    if (lat > maxLat) {
      maxLat = lat;
    } else if (lat < minLat) {
      minLat = lat;
    }
  }
  const auto [ky, kx] = kmPerDegreeAt((maxLat + minLat) * 0.5);
  double length = 0;
  std::int32_t i = first;
  // Two segments at a time share one two-lane square root; the sum still takes the segments
  // one by one in order.
  for (; i + 1 < last; i += 2) {
    const double dy0 = (pointList[i + 1].lat - pointList[i].lat) * ky;
    const double dx0 = (pointList[i + 1].lon - pointList[i].lon) * kx;
    const double dy1 = (pointList[i + 2].lat - pointList[i + 1].lat) * ky;
    const double dx1 = (pointList[i + 2].lon - pointList[i + 1].lon) * kx;
    const auto [root0, root1] = platform::sqrtPair(dx0 * dx0 + dy0 * dy0, dx1 * dx1 + dy1 * dy1);
    length = root0 + length;
    length = root1 + length;
  }
  for (; i < last; ++i) {
    const double dy = (pointList[i + 1].lat - pointList[i].lat) * ky;
    const double dx = (pointList[i + 1].lon - pointList[i].lon) * kx;
    length = std::sqrt(dx * dx + dy * dy) + length;
  }
  return length;
}
