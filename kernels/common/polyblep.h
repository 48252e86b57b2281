// Pieces of the polyBLEP band-limited square shared by the klaxon and zigzag
// oscillators. Each oscillator scales the offsets u and v into the two-sample
// window in its own way; the polynomials and the phase helpers are common,
// written once for one float or for lanes of floats.
#pragma once

#include <cmath>
#include <cstdint>

#include "kernels/common/float_to_int.h"

namespace quill {

// Correction just after a jump, u = phase / increment in [0, 1).
template <class T>
__attribute__((always_inline)) inline T blepAfterJump(T u)
{
    return 2.0f * u - u * u - 1.0f;
}

// Correction just before a jump, v = (phase - 1) / increment in (-1, 0].
template <class T>
__attribute__((always_inline)) inline T blepBeforeJump(T v)
{
    return v * v + 2.0f * v + 1.0f;
}

// The phase half a cycle on, in [0, 1).
inline float halfCycleOn(float p)
{
    return std::fmod(std::fmod(p + 0.5f, 1.0f) + 1.0f, 1.0f);
}

// Naive square: -1 while p < 0.5, +1 from 0.5 on.
inline float squareFromPhase(float p)
{
    return static_cast<float>(2 * static_cast<int64_t>(truncToInt(2.0f * p)) - 1);
}

}  // namespace quill
