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
#include "kernels/common/maths/lanes.h"
#include "kernels/common/maths/rounding.h"

namespace quill {
namespace maths {

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

// ln(1 + f) = 2 atanh(s), s = f / (2 + f): f - (f^2/2 - s (f^2/2 + R(s^2))).
inline double naturalLogOnePlusFast(double f)
{
    const double s = f / (2.0 + f);
    const double z = s * s;
    double r = 2.0 / 25;
    r = r * z + 2.0 / 23;
    r = r * z + 2.0 / 21;
    r = r * z + 2.0 / 19;
    r = r * z + 2.0 / 17;
    r = r * z + 2.0 / 15;
    r = r * z + 2.0 / 13;
    r = r * z + 2.0 / 11;
    r = r * z + 2.0 / 9;
    r = r * z + 2.0 / 7;
    r = r * z + 2.0 / 5;
    r = r * z + 2.0 / 3;
    r = r * z;
    const double halfSquare = 0.5 * f * f;
    return f - (halfSquare - s * (halfSquare + r));
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
    const double ed = static_cast<double>(e);
    const double r = ed * kLog10TwoHi + (ed * kLog10TwoLo + naturalLogOnePlusFast(f) * kLog10EHi);
    if (nearFloatMidpoint(r, 1024u)) return decimalLogExact(e, f);
    return static_cast<float>(r);
}

}  // namespace maths
}  // namespace quill
