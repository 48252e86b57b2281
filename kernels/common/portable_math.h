// The tangent and base-10 logarithm of the kernels, the same bits on every
// processor. The C library's float versions are built differently per
// processor (64-bit Arm's tanf and log10f use fused multiply-adds), so the
// same patch would come out a little different on an Arm board than on an
// x86-64 laptop. These compute in double precision and round once to float:
// the correctly rounded result, unless the exact value lies within about
// 2^-29 of a float's half-way point.
#pragma once

#include <cmath>

namespace quill {

inline float tangent(float x)
{
    return static_cast<float>(std::tan(static_cast<double>(x)));
}

inline float decimalLog(float x)
{
    return static_cast<float>(std::log10(static_cast<double>(x)));
}

}  // namespace quill
