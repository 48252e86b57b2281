// One sample of zigzag~'s leaky integrator of the band-limited square, and
// the frequency it plays, written once for one float (the single-channel
// oscillator) and for lanes of floats (the voices, lane by lane the same
// operations). The choices are conditional expressions, which lanes take
// lane by lane; the rare work (the corrections, a mirrored phase) runs only
// when some lane needs it.
#pragma once

#include <cmath>

#include "kernels/common/exact_phase.h"
#include "kernels/common/lanes.h"
#include "kernels/common/polyblep.h"

namespace zigzag_integrator {

// Whether a condition holds (for lanes: in any lane).
inline bool any(bool holds) { return holds; }
using quill::lanes::any;

// Where a value is infinite.
inline bool isInfinite(float v) { return std::isinf(v); }
template <class T>
__attribute__((always_inline)) inline auto isInfinite(T v)
{
    return ~quill::lanes::finite(v) & (v == v);
}

// The frequency played for an input f whose increment is not below half a
// cycle. At or beyond half the rate the phase would alias (at the rate itself
// it stands still) and the integrator run away: such frequencies play just
// below half the rate (maxFrequency), with their sign. NaN plays as silence.
template <class T>
__attribute__((always_inline)) inline T playable(T f, T maxFrequency)
{
    using quill::lanes::copysign;
    using std::copysign;
    return f != f ? T{} : copysign(maxFrequency, f);
}

// The leaky integrator's step before the jump corrections: leak 0.999 keeps
// the triangle centred.
template <class T>
__attribute__((always_inline)) inline T leaked(T previous, T square)
{
    return 0.999f * previous + square;
}

// The polyBLEP corrections at increment dt of frequency f, the window's
// offsets x·fs/f formed with one reciprocal.
template <class T>
struct Corrections {
    T dt, f, recip;
    float rate;

    // Offset of x into a window in samples, x·fs/f. A subnormal f has no
    // finite reciprocal (its window is narrower than float resolution):
    // there it divides instead, which keeps the offset finite.
    __attribute__((always_inline)) T offset(T x) const
    {
        const T scaled = x * rate;
        const auto infinite = isInfinite(recip);
        if (__builtin_expect(any(infinite), 0)) return infinite ? scaled / f : scaled * recip;
        return scaled * recip;
    }

    // Rounds off a jump of the square at phase x: just after a jump (x <
    // dt) or just before one (x > 1 - dt; both at once, only when dt > 0.5,
    // counts as before).
    __attribute__((always_inline)) T operator()(T x) const
    {
        const auto before = x > 1.0f - dt;
        const auto after = x < dt;
        return before ? quill::blepBeforeJump(offset(x - 1.0f)) : (after ? quill::blepAfterJump(offset(x)) : T{});
    }
};

// One sample from `from` at phase p (wrapped into [0, 1], never -0),
// increment dt > 0 or ±0, frequency f: the leaked level plus the square of
// p, its two jumps rounded off. Outside the windows both corrections are +0,
// and adding and subtracting +0 leaves the level's bits alone (it is never
// -0: 0.999·i + s with s = ±1 or 3 is -0 for no i), so they are skipped there.
template <class T>
__attribute__((always_inline)) inline T integrate(T p, T dt, T f, T from, float rate)
{
    const T h = quill::halfCycleOnWrapped(p);
    const T level = leaked(from, quill::squareFromWrappedPhase(p));
    // Either phase in a window: the lower one after a jump or the higher one before.
    const T lower = p < h ? p : h, higher = h < p ? p : h;  // std::min and std::max
    const auto window = (lower < dt) | (higher > 1.0f - dt);
    if (!any(window)) return level;
    const Corrections<T> blep{dt, f, 1.0f / f, rate};
    return window ? level + blep(h) - blep(p) : level;
}

// The same in either direction. A phase running backwards is a forward
// phase 1 - p whose square is negated: the triangle played backwards,
// rounded off the same way (left unrounded, the jumps' errors would pile up
// in the integrator). dt is never NaN.
template <class T>
__attribute__((always_inline)) inline T advance(T p, T dt, T f, T from, float rate)
{
    const auto back = dt < 0.0f;
    if (__builtin_expect(!any(back), 1)) return integrate(p, dt, f, from, rate);
    const T mirrored = p == 0.0f ? T{} : 1.0f - p;
    const T result = integrate(back ? mirrored : p, back ? -dt : dt, back ? -f : f, back ? -from : from, rate);
    return back ? -result : result;
}

}  // namespace zigzag_integrator
