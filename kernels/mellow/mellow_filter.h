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

// The gliding loop's step: kGlideStep samples, one vector of the widest lanes.
constexpr int kGlideStep = 8;

// The weights of kCount gliding samples from their prewarp angles and Q
// values, V's lanes at a time; with kHeldQ every damping is heldD and q is
// not read.
template <class V, int kCount, bool kHeldQ>
__attribute__((always_inline)) inline void weighGlide(const float* angle, const float* q, float heldD, float* g,
                                                      float* a1, float* a2)
{
    using namespace quill::lanes;
    static_assert(kCount % widthOf<V> == 0, "whole vectors");
    for (int i = 0; i < kCount; i += widthOf<V>) {
        const V d = kHeldQ ? splat<V>(heldD) : 1.0f / load<V>(q + i);
        const Weights<V> w = lowpassWeights(load<V>(angle + i), d);
        store(g + i, w.g);
        store(a1 + i, w.a1);
        store(a2 + i, w.a2);
    }
}

// The weights of a gliding step's n samples: a whole step in the widest
// lanes this processor runs, the block's last few samples one by one.
inline void weighGlideStep(const float* angle, const float* q, bool heldQ, float heldD, float* g, float* a1,
                           float* a2, int n)
{
    if (n == kGlideStep) {
        if (heldQ)
            quill::lanes::widest([=](auto lanes) __attribute__((always_inline)) {
                weighGlide<decltype(lanes), kGlideStep, true>(angle, q, heldD, g, a1, a2);
            });
        else
            quill::lanes::widest([=](auto lanes) __attribute__((always_inline)) {
                weighGlide<decltype(lanes), kGlideStep, false>(angle, q, heldD, g, a1, a2);
            });
        return;
    }
    for (int i = 0; i < n; ++i)
        if (heldQ)
            weighGlide<float, 1, true>(angle + i, q + i, heldD, g + i, a1 + i, a2 + i);
        else
            weighGlide<float, 1, false>(angle + i, q + i, heldD, g + i, a1 + i, a2 + i);
}

}  // namespace mellow_filter
