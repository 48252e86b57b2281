// Tangent of a float angle in [0, pi/2), rounded once to float: the correctly
// rounded result (the exact tangent never comes within 2.9 double ulps of a
// float rounding midpoint there, and this double evaluation errs by less).
// One template serves one value and several at a time.
//   tools/maths_sweep tangent   checks every float of the range.
#pragma once

#include "kernels/common/maths/exact_products.h"
#include "kernels/common/maths/lanes.h"

namespace quill {
namespace maths {

// pi/2 = kHalfPiHi + kHalfPiLo, the first part the double nearest to it.
constexpr double kHalfPiHi = 0x1.921fb54442d18p+0;
constexpr double kHalfPiLo = 0x1.1a62633145c07p-54;
constexpr double kQuarterPi = 0x1.921fb54442d18p-1;

// tan x = sin y / cos y for y = x up to pi/4, cos y / sin y for y = pi/2 - x
// above: both on [0, pi/4], where their Taylor series to the 19th and 20th
// powers are exact to well below a double ulp. y is carried as hi + lo.
template <class D>
inline D tangentOf(D x)
{
    const auto above = x > kQuarterPi;
    const D hi = select(above, kHalfPiHi - x, x);  // exact: x is within a factor 2 of pi/2
    const D lo = select(above, splat<D>(kHalfPiLo), D{} * 0.0);
    const D z = hi * hi;
    // sin y = y + y^3 S(y^2), with the lo part of y added to the small term.
    D sp = splat<D>(-0x1.2f49b46814157p-57);  // -1/19!
    sp = sp * z + 0x1.952c77030ad4ap-49;  // +1/17!
    sp = sp * z - 0x1.ae7f3e733b81fp-41;  // -1/15!
    sp = sp * z + 0x1.6124613a86d09p-33;  // +1/13!
    sp = sp * z - 0x1.ae64567f544e4p-26;  // -1/11!
    sp = sp * z + 0x1.71de3a556c734p-19;  // +1/9!
    sp = sp * z - 0x1.a01a01a01a01ap-13;  // -1/7!
    sp = sp * z + 0x1.1111111111111p-7;  // +1/5!
    sp = sp * z - 0x1.5555555555555p-3;  // -1/3!
    const D sine = hi + (lo + hi * z * sp);
    // cos y = 1 - y^2/2 + y^4 C(y^2): 1 - y^2/2 with its rounding errors
    // (of the square and of the difference) kept, and -lo sin y.
    D cp = splat<D>(0x1.e542ba4020225p-62);  // +1/20!
    cp = cp * z - 0x1.6827863b97d97p-53;  // -1/18!
    cp = cp * z + 0x1.ae7f3e733b81fp-45;  // +1/16!
    cp = cp * z - 0x1.93974a8c07c9dp-37;  // -1/14!
    cp = cp * z + 0x1.1eed8eff8d898p-29;  // +1/12!
    cp = cp * z - 0x1.27e4fb7789f5cp-22;  // -1/10!
    cp = cp * z + 0x1.a01a01a01a01ap-16;  // +1/8!
    cp = cp * z - 0x1.6c16c16c16c17p-10;  // -1/6!
    cp = cp * z + 0x1.5555555555555p-5;  // +1/4!
    D square, squareError;
    twoProduct(hi, hi, square, squareError);
    const D half = 0.5 * square;
    const D w = 1.0 - half;
    const D cosine = w + (((1.0 - w) - half) + (z * z * cp - 0.5 * squareError - lo * hi));
    return select(above, cosine, sine) / select(above, sine, cosine);
}

// The float tangent of one angle.
inline float tangent(float x)
{
    return static_cast<float>(tangentOf(static_cast<double>(x)));
}

// out[i] = tangent(x[i]) for i < n, kLanes at a time (the arrays may be
// the same).
inline void tangents(const float* x, float* out, int n)
{
    int i = 0;
    for (; i + kLanes <= n; i += kLanes) {
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

}  // namespace maths
}  // namespace quill
