// The per-sample pieces of mellow's lowpass, written in the order in which
// they are evaluated (float sums are not associative). Each is a template
// over the number type: float, or a vector of floats for several samples or
// voices at a time (the same operations in every lane).
#pragma once

#include "kernels/common/control_smoother.h"
#include "kernels/common/lanes.h"
#include "kernels/common/maths/maths.h"

namespace mellow_filter {

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

template <class F>
struct Weights {
    F g, a1, a2;
};

// The weights for prewarp angle π·fc/fs and damping d: c = cot(angle).
template <class F>
__attribute__((always_inline)) inline Weights<F> lowpassWeights(F angle, F d)
{
    const F c = 1.0f / quill::tangent(angle);
    return {lowpassNormaliser(c, d), lowpassA1(c), lowpassA2(c, d)};
}

// New delay-line input: x - g·(a1·s1 + a2·s2).
template <class F>
__attribute__((always_inline)) inline F lowpassFeedback(F x, F g, F a1, F a2, F s1, F s2)
{
    return x - g * (a1 * s1 + a2 * s2);
}

// Output through the double zero at half the rate: g·(s0 + 2·s1 + s2).
template <class F>
__attribute__((always_inline)) inline F lowpassFeedforward(F g, F s0, F s1, F s2)
{
    return g * (s0 + 2.0f * s1 + s2);
}

// k steps of gliding smoothers from cs and qs: the cutoff's prewarp angles
// (toAngle times each value) into angle, the Q values into q; with heldQ the
// Q smoother rests and q is not written.
__attribute__((always_inline)) inline void glideSmoothers(float pole, float toAngle, float cutoffIn, float qIn,
                                                          bool heldQ, float& cs, float& qs, float* angle, float* q,
                                                          int k)
{
#pragma GCC unroll 8
    for (int i = 0; i < k; ++i) {
        cs = quill::smoothStep(pole, cs, cutoffIn);
        angle[i] = toAngle * cs;
    }
    if (heldQ) return;
    for (int i = 0; i < k; ++i) {
        qs = quill::smoothStep(pole, qs, qIn);
        q[i] = qs;
    }
}

// The weights of n gliding samples from their prewarp angles and Q values;
// with heldQ every damping is heldD and q is not read.
template <class N>
__attribute__((always_inline)) inline void weighGlide(const float* angle, const float* q, bool heldQ, float heldD,
                                                      float* g, float* a1, float* a2, N n)
{
    using namespace quill::lanes;
    overWidestLanes(n, [=](auto lanes, int i) __attribute__((always_inline)) {
        using V = decltype(lanes);
        const V d = heldQ ? splat<V>(heldD) : 1.0f / load<V>(q + i);
        const Weights<V> w = lowpassWeights(load<V>(angle + i), d);
        store(g + i, w.g);
        store(a1 + i, w.a1);
        store(a2 + i, w.a2);
    });
}

}  // namespace mellow_filter
