// Fast forms of the phase arithmetic in polyblep.h and of p - floor(p), each
// giving exactly the bits of the library call it replaces, for every float
// (the short forms also for lanes of floats, lane by lane).
// Each takes a short path over the range in which a phase normally lies,
// where the result follows from comparisons and one exact subtraction, and
// falls back to the library call elsewhere.
#pragma once

#include <cmath>

#include "kernels/common/polyblep.h"

namespace quill {

// p - floor(p) for p in [-1, 2) other than -0: floor(p) is -1, +0 or 1 by
// comparison, p - (-1) is the same operation as p + 1, and p - (+0) is p.
// Lanes subtract and add 1 or +0, chosen by the comparisons (a choice of a
// constant or +0 costs them one mask); p ± +0 is p, as p is never -0.
template <class T>
__attribute__((always_inline)) inline T wrapNearPhase(T p)
{
    return p - (p >= 1.0f ? 1.0f : 0.0f) + (p < 0.0f ? 1.0f : 0.0f);
}
// The same for a phase p + dt that cannot lie below 0 (dt >= 0).
template <class T>
__attribute__((always_inline)) inline T wrapForwardPhase(T p)
{
    return p - (p >= 1.0f ? 1.0f : 0.0f);
}
// The same for one float, as branches: a wrapped phase mostly needs neither,
// and a predicted branch keeps the comparison out of the phase's recursion.
inline float wrapNearPhase(float p)
{
    if (__builtin_expect(p >= 1.0f, 0)) return p - 1.0f;
    if (__builtin_expect(p < 0.0f, 0)) return p + 1.0f;
    return p;
}

// p - floor(p), the phase wrapped into [0, 1], for every p (both zeros and
// everything outside [-1, 2) go to the library).
inline float wrapPhase(float p)
{
    if (p >= -1.0f && p < 2.0f && p != 0.0f) return wrapNearPhase(p);
    return p - std::floor(p);
}

// fmod(x, 1) for x in [0.5, 3): the remainder is x, x - 1 or x - 2, and
// those subtractions are exact (Sterbenz), as fmod's result always is.
inline float remainderByOneNear(float x)
{
    return x < 1.0f ? x : (x < 2.0f ? x - 1.0f : x - 2.0f);
}

// fmod(x, 1) for every x.
inline float remainderByOne(float x)
{
    if (x >= 0.5f && x < 3.0f) return remainderByOneNear(x);
    return std::fmod(x, 1.0f);
}

// halfCycleOn(p) for a wrapped phase p in [0, 1]: the first remainder's
// argument lies in [0.5, 1.5], the second's in [1, 2], where each is
// remainderByOneNear, written as subtractions of +0, 1 or 2 chosen by the
// comparisons that apply there (exact: no operand is -0).
template <class T>
__attribute__((always_inline)) inline T halfCycleOnWrapped(T p)
{
    const T q = p + 0.5f;
    const T r = q - (q >= 1.0f ? 1.0f : 0.0f);
    const T t = r + 1.0f;
    return t - ((t >= 2.0f ? 1.0f : 0.0f) + 1.0f);
}
// The same for one float, with the choices of the results: fewer operations
// where the processor branches.
inline float halfCycleOnWrapped(float p)
{
    const float q = p + 0.5f;
    const float r = q >= 1.0f ? q - 1.0f : q;
    const float t = r + 1.0f;
    return t >= 2.0f ? t - 2.0f : t - 1.0f;
}

// halfCycleOn(p) = fmod(fmod(p + 0.5, 1) + 1, 1) for every p.
inline float halfCycleOnFast(float p)
{
    return remainderByOne(remainderByOne(p + 0.5f) + 1.0f);
}

// squareFromPhase(p) = 2·trunc(2p) - 1 for p in [0, 1]: trunc(2p) is 0, 1
// or 2 by comparison (2p is exact): -1 below 0.5, 1 below 1, 3 at 1.
template <class T>
__attribute__((always_inline)) inline T squareFromWrappedPhase(T p)
{
    return -1.0f + (p >= 0.5f ? 2.0f : 0.0f) + (p >= 1.0f ? 2.0f : 0.0f);
}
// The same for one float, choosing the result (fewer operations there).
inline float squareFromWrappedPhase(float p)
{
    return p < 0.5f ? -1.0f : (p < 1.0f ? 1.0f : 3.0f);
}

// squareFromPhase(p) for every p.
inline float squareFromPhaseFast(float p)
{
    if (p >= 0.0f && p <= 1.0f) return squareFromWrappedPhase(p);
    return squareFromPhase(p);
}

}  // namespace quill
