#include "hydrochart/mappage/geometry.h"

#include <cmath>
#include <cstdint>
#include <vector>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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
#if defined(__SSE2__)
  // Two segments at a time: the same operations on both lanes give the same rounded values,
  // and the sum still takes the segments one by one in order.
  const __m128d scale = _mm_set_pd(kx, ky);
  for (; i + 1 < last; i += 2) {
    const __m128d p0 = _mm_loadu_pd(&pointList[i].lat);
    const __m128d p1 = _mm_loadu_pd(&pointList[i + 1].lat);
    const __m128d p2 = _mm_loadu_pd(&pointList[i + 2].lat);
    const __m128d d0 = _mm_mul_pd(_mm_sub_pd(p1, p0), scale);  // (dy, dx) of segment i
    const __m128d d1 = _mm_mul_pd(_mm_sub_pd(p2, p1), scale);  // of segment i + 1
    const __m128d squares0 = _mm_mul_pd(d0, d0);
    const __m128d squares1 = _mm_mul_pd(d1, d1);
    // dx * dx + dy * dy of both segments, added in that order.
    const __m128d sums =
        _mm_add_pd(_mm_unpackhi_pd(squares0, squares1), _mm_unpacklo_pd(squares0, squares1));
    const __m128d roots = _mm_sqrt_pd(sums);
    length = _mm_cvtsd_f64(roots) + length;
    length = _mm_cvtsd_f64(_mm_unpackhi_pd(roots, roots)) + length;
  }
#endif
  for (; i < last; ++i) {
    const double dy = (pointList[i + 1].lat - pointList[i].lat) * ky;
    const double dx = (pointList[i + 1].lon - pointList[i].lon) * kx;
    length = std::sqrt(dx * dx + dy * dy) + length;
  }
  return length;
}
