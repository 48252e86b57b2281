// Rounding a double, or a double-double hi + lo, to float.
#pragma once

#include <cstdint>

#include "kernels/common/lanes.h"

namespace quill {
namespace maths {

using namespace lanes;

// True when double v lies within `margin` double ulps of a float rounding
// midpoint (v of normal float size): its float rounding is then uncertain
// for an approximation of that accuracy. A float's ulp is 2^29 double ulps,
// so the midpoints sit where the 29 low bits read 2^28.
inline bool nearFloatMidpoint(double v, uint32_t margin)
{
    const uint32_t low = static_cast<uint32_t>(bitsOf(v) & 0x1fffffffu);
    const uint32_t distance = low > 0x10000000u ? low - 0x10000000u : 0x10000000u - low;
    return distance <= margin;
}

#ifdef QUILL_AVX2
// Whether any lane of v lies within `margin` double ulps of a float rounding
// midpoint, as nearFloatMidpoint asks of each.
__attribute__((target("avx2"), always_inline)) inline bool anyNearFloatMidpoint(f64x4 v, int64_t margin)
{
    const i64x4 offset = (reinterpret_cast<i64x4>(v) & 0x1fffffff) - 0x10000000;
    return any((offset <= margin) & (offset >= -margin));
}
#endif

// The float nearest to hi + lo (|lo| at most half an ulp of hi): hi is first
// rounded to odd in its last bit by lo's sign, which keeps the one rounding
// to float exact (a double has more than two bits to spare).
inline float roundToFloat(double hi, double lo)
{
    uint64_t b = bitsOf(hi);
    if (lo != 0.0 && (b & 1u) == 0u) b = (lo > 0.0) == (hi > 0.0) ? b + 1u : b - 1u;
    return static_cast<float>(doubleOf(b));
}

}  // namespace maths
}  // namespace quill
