// Arithmetic on two values at once, where the processor has two-lane instructions for it.
#pragma once

#include <cmath>
#include <utility>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace platform {

// The square roots of `a` and `b`, each correctly rounded as std::sqrt rounds it: one two-lane
// instruction on processors with SSE2, two square roots elsewhere. Stream lengths take a
// square root per segment, and pages hold millions of segments.
inline std::pair<double, double> sqrtPair(double a, double b) {
#if defined(__SSE2__)
  const __m128d roots = _mm_sqrt_pd(_mm_set_pd(b, a));
  return {_mm_cvtsd_f64(roots), _mm_cvtsd_f64(_mm_unpackhi_pd(roots, roots))};
#else
  return {std::sqrt(a), std::sqrt(b)};
#endif
}

}  // namespace platform
