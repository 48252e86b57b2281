// Base-10 logarithm of a float, correctly rounded to float. A double
// evaluation (errs by a few double ulps) decides all but about one argument
// in 250,000: those whose double result lies within 1024 double ulps of a
// float rounding midpoint take a double-double evaluation (errs by less than
// 2^-58 relative; the exact logarithms of floats come no closer than 0.09
// double ulps to a midpoint).
// tests/differential/exact_maths_sweeps.cpp checks every positive float.
#pragma once

#include <cstdint>
#include <limits>

#include "kernels/common/maths/exact_products.h"
#include "kernels/common/lanes.h"
#include "kernels/common/maths/rounding.h"

namespace quill {
namespace maths {

using namespace lanes;

// log10(2) = hi + lo, hi with 45 bits so that e * hi is exact; log10(e).
constexpr double kLog10TwoHi = 0x1.34413509f7a00p-2;
constexpr double kLog10TwoLo = -0x1.0cee0ed4ca7e9p-54;
constexpr double kLog10EHi = 0x1.bcb7b1526e50ep-2;
constexpr double kLog10ELo = 0x1.95355baaafad3p-57;

// x = 2^e * (1 + f) with 1 + f in [sqrt(1/2), sqrt(2)), for positive normal x;
// f is exact in double.
inline void splitLogArgument(float x, int32_t& e, double& f)
{
    const uint32_t b = bitsOf(x);
    const uint32_t mantissa = b & 0x7fffffu;
    const bool high = mantissa > 0x3504f3u;  // 1.mantissa > sqrt(2)
    e = static_cast<int32_t>(b >> 23) - 127 + (high ? 1 : 0);
    const float m = floatOf(mantissa | (high ? 0x3f000000u : 0x3f800000u));
    f = static_cast<double>(m) - 1.0;
}

// ln(1 + f) = 2 atanh(s), s = f / (2 + f): f - (f^2/2 - s (f^2/2 + R(s^2))),
// R to s^16 (error below 2^-50 relative for |s| < 0.1716).
template <class D>
__attribute__((always_inline)) inline D naturalLogOnePlusFast(D f)
{
    const D s = f / (2.0 + f);
    const D z = s * s;
    D r = splat<D>(2.0 / 17);
    r = r * z + 2.0 / 15;
    r = r * z + 2.0 / 13;
    r = r * z + 2.0 / 11;
    r = r * z + 2.0 / 9;
    r = r * z + 2.0 / 7;
    r = r * z + 2.0 / 5;
    r = r * z + 2.0 / 3;
    r = r * z;
    const D halfSquare = 0.5 * f * f;
    return f - (halfSquare - s * (halfSquare + r));
}

// The double evaluation of log10(2^e (1 + f)).
template <class D>
__attribute__((always_inline)) inline D decimalLogFast(D e, D f)
{
    return e * kLog10TwoHi + (e * kLog10TwoLo + naturalLogOnePlusFast(f) * kLog10EHi);
}

// The same logarithm as hi + lo to about 2^-60 relative: s as a
// double-double, then 2s + 2s^3 (1/3 + s^2/5 + ...).
inline void naturalLogOnePlusExact(double f, double& hi, double& lo)
{
    const double d = 2.0 + f;  // exact: f is a multiple of 2^-24 below 1/2
    const double s = f / d;
    double p, pe;
    twoProduct(s, d, p, pe);
    const double sLo = ((f - p) - pe) / d;
    const double z = s * s;
    double q = 1.0 / 25;
    q = q * z + 1.0 / 23;
    q = q * z + 1.0 / 21;
    q = q * z + 1.0 / 19;
    q = q * z + 1.0 / 17;
    q = q * z + 1.0 / 15;
    q = q * z + 1.0 / 13;
    q = q * z + 1.0 / 11;
    q = q * z + 1.0 / 9;
    q = q * z + 1.0 / 7;
    q = q * z + 1.0 / 5;
    q = q * z + 1.0 / 3;
    hi = 2.0 * s;
    lo = 2.0 * sLo + (2.0 * s * z * q + 2.0 * z * sLo);
}

// log10 of a positive normal float through the double-double logarithm.
inline float decimalLogExact(int32_t e, double f)
{
    double lnHi, lnLo;
    naturalLogOnePlusExact(f, lnHi, lnLo);
    double a, ae;
    twoProduct(lnHi, kLog10EHi, a, ae);
    ae += lnHi * kLog10ELo + lnLo * kLog10EHi;
    const double ed = static_cast<double>(e);
    double s, se;
    twoSum(ed * kLog10TwoHi, a, s, se);
    se += ae + ed * kLog10TwoLo;
    double hi, lo;
    fastTwoSum(s, se, hi, lo);
    return roundToFloat(hi, lo);
}

inline float decimalLog(float x)
{
    if (!(x > 0.0f) || x == std::numeric_limits<float>::infinity()) {
        if (x == 0.0f) return -std::numeric_limits<float>::infinity();
        if (x < 0.0f) return std::numeric_limits<float>::quiet_NaN();
        return x + x;  // +inf, or NaN quietened
    }
    int32_t e;
    double f;
    if (x < 0x1p-126f) {  // subnormal: scale into the normal range
        splitLogArgument(x * 0x1p24f, e, f);
        e -= 24;
    } else {
        splitLogArgument(x, e, f);
    }
    const double r = decimalLogFast(static_cast<double>(e), f);
    if (nearFloatMidpoint(r, 1024u)) return decimalLogExact(e, f);
    return static_cast<float>(r);
}

// Four floats split as splitLogArgument splits one: their bits b, the
// exponents e and the mantissas m in [sqrt(1/2), sqrt(2)), lane by lane.
struct LogArguments4 {
    i32x4 b, e;
    f32x4 m;
};

__attribute__((always_inline)) inline LogArguments4 splitLogArguments(f32x4 v)
{
    LogArguments4 a;
    a.b = (i32x4)v;
    const i32x4 mantissa = a.b & 0x7fffff;
    const i32x4 high = mantissa > 0x3504f3;  // -1 where 1.mantissa > sqrt(2)
    a.e = ((a.b >> 23) & 0xff) - 127 - high;
    a.m = (f32x4)(mantissa | (high ? 0x3f000000 : 0x3f800000));
    return a;
}

// Positive normal finite lanes: biased exponent 1 to 254, sign clear.
__attribute__((always_inline)) inline i32x4 usableLogArguments(i32x4 b)
{
    return (b >= 0x00800000) & (b < 0x7f800000);
}

// out[i] = decimalLog(x[i]) for i < n, four at a time as two SSE2/NEON
// vectors; a group with an argument that is not a positive normal finite
// float, or a result the double evaluation leaves undecided, takes the
// scalar way. The arrays may be the same.
__attribute__((noinline)) inline void decimalLogsBaseline(const float* x, float* out, int n)
{
    int i = 0;
    for (; i + 4 <= n; i += 4) {
        f32x4 v;
        std::memcpy(&v, x + i, sizeof v);
        const LogArguments4 a = splitLogArguments(v);
        const f32x4 m = a.m;
        const auto e = a.e;
        const f32x2 mLow = __builtin_shufflevector(m, m, 0, 1), mHigh = __builtin_shufflevector(m, m, 2, 3);
        const f32x2 eLow = __builtin_convertvector(__builtin_shufflevector(e, e, 0, 1), f32x2);
        const f32x2 eHigh = __builtin_convertvector(__builtin_shufflevector(e, e, 2, 3), f32x2);
        const f64x2 rLow = decimalLogFast(__builtin_convertvector(eLow, f64x2), __builtin_convertvector(mLow, f64x2) - 1.0);
        const f64x2 rHigh = decimalLogFast(__builtin_convertvector(eHigh, f64x2), __builtin_convertvector(mHigh, f64x2) - 1.0);
        const auto usable = usableLogArguments(a.b);
        if (usable[0] && usable[1] && usable[2] && usable[3] && !nearFloatMidpoint(rLow[0], 1024u) &&
            !nearFloatMidpoint(rLow[1], 1024u) && !nearFloatMidpoint(rHigh[0], 1024u) &&
            !nearFloatMidpoint(rHigh[1], 1024u)) {
            const f32x2 low = __builtin_convertvector(rLow, f32x2), high = __builtin_convertvector(rHigh, f32x2);
            const f32x4 r = __builtin_shufflevector(low, high, 0, 1, 2, 3);
            std::memcpy(out + i, &r, sizeof r);
        } else {
            for (int k = 0; k < 4; ++k) out[i + k] = decimalLog(v[k]);
        }
    }
    for (; i < n; ++i) out[i] = decimalLog(x[i]);
}

#ifdef QUILL_AVX2
// The same, four at a time as one AVX2 vector.
__attribute__((target("avx2"), noinline)) inline void decimalLogsAvx2(const float* x, float* out, int n)
{
    int i = 0;
    for (; i + 4 <= n; i += 4) {
        f32x4 v;
        std::memcpy(&v, x + i, sizeof v);
        const LogArguments4 a = splitLogArguments(v);
        const f64x4 ed = reinterpret_cast<f64x4>(_mm256_cvtepi32_pd(reinterpret_cast<__m128i>(a.e)));
        const f64x4 r = decimalLogFast(ed, widen(reinterpret_cast<const float*>(&a.m)) - 1.0);
        const auto usable = usableLogArguments(a.b);
        if (_mm_movemask_ps(reinterpret_cast<__m128>(usable)) == 0xf && !anyNearFloatMidpoint(r, 1024)) {
            narrow(r, out + i);
        } else {
            for (int k = 0; k < 4; ++k) out[i + k] = decimalLog(v[k]);
        }
    }
    for (; i < n; ++i) out[i] = decimalLog(x[i]);
}
#endif

// out[i] = decimalLog(x[i]) for i < n, several at a time; the arrays may be the same.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"  // as for tangents
#endif
inline void decimalLogs(const float* x, float* out, int n)
{
#ifdef QUILL_AVX2
    if (kHasAvx2) return decimalLogsAvx2(x, out, n);
#endif
    decimalLogsBaseline(x, out, n);
}
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

}  // namespace maths
}  // namespace quill
