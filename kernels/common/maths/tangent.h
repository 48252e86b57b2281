// Tangent of a float angle in [0, pi/2), rounded once to float: the correctly
// rounded result (the exact tangent never comes within 2.9 double ulps of a
// float rounding midpoint there, and this double evaluation errs by less).
// One template serves one value and several at a time.
// tests/differential/exact_maths_sweeps.cpp checks every float of the range.
#pragma once

#include "kernels/common/maths/lanes.h"

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#include <immintrin.h>
#endif


namespace quill {
namespace maths {

// pi/2 = kHalfPiHi + kHalfPiLo, the first part the double nearest to it.
constexpr double kHalfPiHi = 0x1.921fb54442d18p+0;
constexpr double kHalfPiLo = 0x1.1a62633145c07p-54;
constexpr double kQuarterPi = 0x1.921fb54442d18p-1;

// tan y = y P(y^2) / Q(y^2), the convergent of Lambert's continued fraction
// x / (1 - x^2 / (3 - x^2 / (5 - ...))) that ends at 17: within 2^-60 of
// the tangent on [0, pi/4], with integer coefficients (exact in double).
// Above pi/4, tan x = cot y = Q / (y P) for y = pi/2 - x, carried as hi + lo.
// kBelowQuarterPi: every lane is known to lie in [0, pi/4], where lo is 0;
// its terms then add +0 to non-negative values and are left out, same bits.
template <class D, bool kBelowQuarterPi = false>
__attribute__((always_inline)) inline D tangentOf(D x)
{
    auto polynomials = [](D z, D& p, D& q) {
        p = z - 990.0;
        p = p * z + 135135.0;
        p = p * z - 4729725.0;
        p = p * z + 34459425.0;
        q = 45.0 * z - 13860.0;
        q = q * z + 945945.0;
        q = q * z - 16216200.0;
        q = q * z + 34459425.0;
    };
    D p, q;
    if (kBelowQuarterPi) {
        polynomials(x * x, p, q);
        return x * p / q;
    }
    const auto above = x > kQuarterPi;
    const D hi = select(above, kHalfPiHi - x, x);  // exact: x is within a factor 2 of pi/2
    const D lo = select(above, splat<D>(kHalfPiLo), D{} * 0.0);
    polynomials(hi * hi + (2.0 * lo) * hi, p, q);
    const D yp = hi * p + lo * p;
    return select(above, q, yp) / select(above, yp, q);
}

// The float tangent of one angle.
inline float tangent(float x)
{
    return static_cast<float>(tangentOf(static_cast<double>(x)));
}

// out[i] = tangent(x[i]) for i < n, four at a time as two SSE2/NEON vectors
// (the arrays may be the same).
inline void tangentsBaseline(const float* x, float* out, int n)
{
    int i = 0;
    for (; i + 4 <= n; i += 4) {
        f32x2 a, b;
        std::memcpy(&a, x + i, sizeof a);
        std::memcpy(&b, x + i + 2, sizeof b);
        const f32x2 ra = __builtin_convertvector(tangentOf(__builtin_convertvector(a, f64x2)), f32x2);
        const f32x2 rb = __builtin_convertvector(tangentOf(__builtin_convertvector(b, f64x2)), f32x2);
        std::memcpy(out + i, &ra, sizeof ra);
        std::memcpy(out + i + 2, &rb, sizeof rb);
    }
    for (; i < n; ++i) out[i] = tangent(x[i]);
}

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)  // GCC: Clang rejects 32-byte vectors without AVX
#define QUILL_MATHS_AVX2 1
// The same, eight at a time as two AVX2 vectors of four: for processors that
// have AVX2 (chosen at run time); the same IEEE operations in every lane
// (AVX2 alone: no fused multiply-add).
__attribute__((target("avx2"))) inline void tangentsAvx2(const float* x, float* out, int n)
{
    typedef double f64x4v __attribute__((vector_size(32)));
    int i = 0;
    const __m256d quarterPi = _mm256_set1_pd(kQuarterPi);
    for (; i + 8 <= n; i += 8) {
        // The conversions as single instructions: the generic ones go
        // through the stack a half at a time.
        const __m256d a = _mm256_cvtps_pd(_mm_loadu_ps(x + i));
        const __m256d b = _mm256_cvtps_pd(_mm_loadu_ps(x + i + 4));
        __m256d ta, tb;
        // Angles gliding slowly mostly lie on one side of pi/4 together.
        if (_mm256_movemask_pd(_mm256_or_pd(_mm256_cmp_pd(a, quarterPi, _CMP_GT_OQ), _mm256_cmp_pd(b, quarterPi, _CMP_GT_OQ))) == 0) {
            ta = reinterpret_cast<__m256d>(tangentOf<f64x4v, true>(reinterpret_cast<f64x4v>(a)));
            tb = reinterpret_cast<__m256d>(tangentOf<f64x4v, true>(reinterpret_cast<f64x4v>(b)));
        } else {
            ta = reinterpret_cast<__m256d>(tangentOf(reinterpret_cast<f64x4v>(a)));
            tb = reinterpret_cast<__m256d>(tangentOf(reinterpret_cast<f64x4v>(b)));
        }
        _mm_storeu_ps(out + i, _mm256_cvtpd_ps(ta));
        _mm_storeu_ps(out + i + 4, _mm256_cvtpd_ps(tb));
    }
    tangentsBaseline(x + i, out + i, n - i);
}

// Whether this processor has AVX2, asked once when the module loads.
inline const bool kHasAvx2 = (__builtin_cpu_init(), __builtin_cpu_supports("avx2") != 0);
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
#ifdef QUILL_MATHS_AVX2
    if (kHasAvx2) return tangentsAvx2(x, out, n);
#endif
    tangentsBaseline(x, out, n);
}
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

}  // namespace maths
}  // namespace quill
