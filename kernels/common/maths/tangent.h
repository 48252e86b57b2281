// Tangent of a float angle in [0, pi/2), rounded once to float: the correctly
// rounded result (the exact tangent never comes within 2.9 double ulps of a
// float rounding midpoint there, and this double evaluation errs by less).
// One template serves one value and several at a time.
// tests/differential/exact_maths_sweeps.cpp checks every float of the range.
#pragma once

#include "kernels/common/lanes.h"


namespace quill {
namespace maths {

using namespace lanes;

// pi/2 = kHalfPiHi + kHalfPiLo, the first part the double nearest to it.
constexpr double kHalfPiHi = 0x1.921fb54442d18p+0;
constexpr double kHalfPiLo = 0x1.1a62633145c07p-54;
constexpr double kQuarterPi = 0x1.921fb54442d18p-1;

// tan y = y P(y^2) / Q(y^2), the convergent of Lambert's continued fraction
// x / (1 - x^2 / (3 - x^2 / (5 - ...))) that ends at 17: within 2^-60 of
// the tangent on [0, pi/4], with integer coefficients (exact in double).
// Above pi/4, tan x = cot y = Q / (y P) for y = pi/2 - x, carried as hi + lo.
// The convergent's numerator and denominator polynomials in z = y^2.
// (A function, not a lambda: a lambda's call is not always inlined, and an
// out-of-line call with 32-byte vectors from the AVX2 forms would break their ABI.)
template <class D>
__attribute__((always_inline)) inline void tangentPolynomials(D z, D& p, D& q)
{
    p = z - 990.0;
    p = p * z + 135135.0;
    p = p * z - 4729725.0;
    p = p * z + 34459425.0;
    q = 45.0 * z - 13860.0;
    q = q * z + 945945.0;
    q = q * z - 16216200.0;
    q = q * z + 34459425.0;
}

// kBelowQuarterPi: every lane is known to lie in [0, pi/4], where lo is 0;
// its terms then add +0 to non-negative values and are left out, same bits.
template <class D, bool kBelowQuarterPi = false>
__attribute__((always_inline)) inline D tangentOf(D x)
{
    D p, q;
    if (kBelowQuarterPi) {
        tangentPolynomials(x * x, p, q);
        return x * p / q;
    }
    const auto above = x > kQuarterPi;
    const D hi = select(above, kHalfPiHi - x, x);  // exact: x is within a factor 2 of pi/2
    const D lo = select(above, splat<D>(kHalfPiLo), D{} * 0.0);
    tangentPolynomials(hi * hi + (2.0 * lo) * hi, p, q);
    const D yp = hi * p + lo * p;
    return select(above, q, yp) / select(above, yp, q);
}

// The float tangent of one angle.
inline float tangent(float x)
{
    return static_cast<float>(tangentOf(static_cast<double>(x)));
}

// The float tangents of four float angles, as two SSE2/NEON vectors of two doubles.
__attribute__((always_inline)) inline f32x4 tangent(f32x4 x)
{
    const f32x2 a = __builtin_shufflevector(x, x, 0, 1), b = __builtin_shufflevector(x, x, 2, 3);
    const f32x2 ra = __builtin_convertvector(tangentOf(__builtin_convertvector(a, f64x2)), f32x2);
    const f32x2 rb = __builtin_convertvector(tangentOf(__builtin_convertvector(b, f64x2)), f32x2);
    return __builtin_shufflevector(ra, rb, 0, 1, 2, 3);
}

// out[i] = tangent(x[i]) for i < n, four at a time (the arrays may be the same).
__attribute__((noinline)) inline void tangentsBaseline(const float* x, float* out, int n)
{
    int i = 0;
    for (; i + 4 <= n; i += 4) store(out + i, tangent(load<f32x4>(x + i)));
    for (; i < n; ++i) out[i] = tangent(x[i]);
}

#ifdef QUILL_AVX2
// The tangents of eight angles, as two AVX2 vectors of four in double (not
// yet rounded to float).
__attribute__((target("avx2"), always_inline)) inline void tangentsOfEight(f64x4& a, f64x4& b)
{
    // Angles gliding slowly mostly lie on one side of pi/4 together.
    if (!any((a > kQuarterPi) | (b > kQuarterPi))) {
        a = tangentOf<f64x4, true>(a);
        b = tangentOf<f64x4, true>(b);
    } else {
        a = tangentOf(a);
        b = tangentOf(b);
    }
}

// The float tangents of eight float angles, for a kernel's step built for
// AVX2 (see lanes::widest, whose flattening inlines it; it is not
// always_inline, as the step's template itself is built without AVX2 until
// it is inlined).
__attribute__((target("avx2"))) inline f32x8 tangent(f32x8 x)
{
    const __m256 angles = reinterpret_cast<__m256>(x);
    f64x4 low = reinterpret_cast<f64x4>(_mm256_cvtps_pd(_mm256_castps256_ps128(angles)));
    f64x4 high = reinterpret_cast<f64x4>(_mm256_cvtps_pd(_mm256_extractf128_ps(angles, 1)));
    tangentsOfEight(low, high);
    return reinterpret_cast<f32x8>(_mm256_set_m128(_mm256_cvtpd_ps(reinterpret_cast<__m256d>(high)),
                                                   _mm256_cvtpd_ps(reinterpret_cast<__m256d>(low))));
}

// The same as tangentsBaseline, eight at a time.
__attribute__((target("avx2"), noinline)) inline void tangentsAvx2(const float* x, float* out, int n)
{
    int i = 0;
    for (; i + 8 <= n; i += 8) {
        f64x4 a = widen(x + i), b = widen(x + i + 4);
        tangentsOfEight(a, b);
        narrow(a, out + i);
        narrow(b, out + i + 4);
    }
    if (i < n) tangentsBaseline(x + i, out + i, n - i);
}
#endif

// out[i] = tangent(x[i]) for i < n, several at a time; the arrays may be the same.
// (GCC cannot see that a caller filled x[0..n) before the AVX2 call, which it
// does not inline, and would warn that x may be uninitialized.)
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
inline void tangents(const float* x, float* out, int n)
{
#ifdef QUILL_AVX2
    if (kHasAvx2) return tangentsAvx2(x, out, n);
#endif
    tangentsBaseline(x, out, n);
}
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

}  // namespace maths
}  // namespace quill
