// The per-sample pieces of mellow's lowpass, written in the order in which
// they are evaluated (float sums are not associative).
#pragma once

#include <cmath>
#include "kernels/common/maths/maths.h"

namespace mellow_filter {

// c = cot(π·fc/fs): the prewarped cotangent of the smoothed cutoff.
inline float prewarpedCotangent(float piOverRate, float smoothedCutoff)
{
    return 1.0f / quill::tangent(piOverRate * smoothedCutoff);
}

// The weights are templates: float, or a vector of floats for several
// samples at a time (the same operations in every lane).

// g = 1 / (c² + d·c + 1), the reciprocal of a0; d is the damping 1/Q.
template <class F>
__attribute__((always_inline)) inline F lowpassNormaliser(F c, F d)
{
    return 1.0f / ((d + c) * c + 1.0f);
}

// Feedback weight a1 = 2(1 - c²).
template <class F>
__attribute__((always_inline)) inline F lowpassA1(F c)
{
    return 2.0f * (1.0f - c * c);
}

// Feedback weight a2 = c² - d·c + 1, formed as (c - d)·c + 1.
template <class F>
__attribute__((always_inline)) inline F lowpassA2(F c, F d)
{
    return (c - d) * c + 1.0f;
}

// New delay-line input: x - g·(a1·s1 + a2·s2).
inline float lowpassFeedback(float x, float g, float a1, float a2, float s1, float s2)
{
    return x - g * (a1 * s1 + a2 * s2);
}

// Output through the double zero at half the rate: g·(s0 + 2·s1 + s2).
inline float lowpassFeedforward(float g, float s0, float s1, float s2)
{
    return g * (s0 + 2.0f * s1 + s2);
}

}  // namespace mellow_filter
