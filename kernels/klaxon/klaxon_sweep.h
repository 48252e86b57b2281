// klaxon~'s sweep filter: its cutoff and damping, written once for every
// number type that forms them (one float a sample, or eight lanes at a time).
#pragma once

#include "kernels/common/lanes.h"

namespace klaxon_sweep {

// The exponent of the cutoff's range: 100^sweep = exp(4.6051702 · sweep).
inline float rangeExponent(float sweep) { return 4.6051702f * sweep; }

// The tangent's argument for range 100^sweep at envelope env: the cutoff
// runs from 20 Hz up to 20 + 60 · range at full envelope, capped at
// maxCutoff (below half the rate).
template <class T>
__attribute__((always_inline)) inline T cutoffAngle(T range, float env, T maxCutoff, float piOverRate)
{
    const T fc = 20.0f + 60.0f * env * range;
    return piOverRate * quill::lanes::select(maxCutoff < fc, maxCutoff, fc);  // std::min(fc, maxCutoff)
}

// The trapezoidal lowpass's damping at resonance 1 for g = tan(angle).
template <class T>
__attribute__((always_inline)) inline T damping(T g)
{
    return 1.0f / (1.0f + g * (g + 1.0f));
}

}  // namespace klaxon_sweep
