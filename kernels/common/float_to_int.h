// Truncation toward zero from float to a 32-bit integer that stays defined for
// every input: NaN gives 0 and values beyond the int range saturate. Within
// the range it is exactly the plain conversion.
#pragma once

#include <cstdint>

namespace quill {

inline int32_t truncToInt(float x)
{
    if (x >= 2147483648.0f) return INT32_MAX;
    if (x >= -2147483648.0f) return static_cast<int32_t>(x);
    if (x < -2147483648.0f) return INT32_MIN;
    return 0;  // NaN fails every comparison
}

}  // namespace quill
