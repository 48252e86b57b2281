// zigzag~'s voices, four or eight lanes at a time: the single-channel oscillator's
// sample written with selects instead of branches, around the integrator
// step both share (zigzag_integrator.h). Every branch of the scalar code
// becomes both sides computed and one chosen, lane by lane, so each lane
// takes exactly the scalar operations in the scalar order. The rare
// divisions (an infinite reciprocal's fallback, the return from a glide,
// the limit) run only when some lane needs them.
#include "kernels/zigzag/zigzag_voices.h"

#include <algorithm>
#include <cstring>

#include "kernels/common/lanes.h"
#include "kernels/common/voices_bank.h"
#include "kernels/zigzag/zigzag.h"
#include "kernels/zigzag/zigzag_integrator.h"

namespace {

using namespace quill::lanes;
using zigzag_integrator::leaked;

enum Array { kPhase, kIntegrator, kFrequency, kOutput, kGliding, kArrays };

template <class V>
struct Constants {
    V toCycles, toUnit, maxFrequency;
    float rate;
};

// A group of voices' running state (V: four or eight float lanes), and one
// sample of them.
template <class V>
struct Voices {
    typedef MaskOf<V> M;
    V p{}, integ{}, previous{}, y{};
    M gliding{};

    __attribute__((always_inline)) Voices(const float* bank, int n, int first)
    {
        if (first >= n) return;  // no such group: never stepped
        p = load<V>(bank + kPhase * n + first);
        integ = load<V>(bank + kIntegrator * n + first);
        previous = load<V>(bank + kFrequency * n + first);
        y = load<V>(bank + kOutput * n + first);
        gliding = load<V>(bank + kGliding * n + first) != 0.0f;
    }

    __attribute__((always_inline)) void save(float* bank, int n, int first) const
    {
        store(bank + kPhase * n + first, p);
        store(bank + kIntegrator * n + first, integ);
        store(bank + kFrequency * n + first, previous);
        store(bank + kOutput * n + first, y);
        store(bank + kGliding * n + first, gliding ? splat<V>(1.0f) : splat<V>(0.0f));
    }

    // A sample of any frequencies. The two usual kinds take short ways:
    // every lane's frequency moving on (a vibrato, a glide: forwards, below
    // half the rate, not from 0 Hz), and every lane's held.
    __attribute__((always_inline)) V step(const Constants<V>& c, V f)
    {
        const V dt = f * c.toCycles;
        const M changed = f != previous;
        const M glides = changed & (previous != 0.0f) & (f > 0.0f) & (dt < 0.5f);
        if (__builtin_expect(!any(~glides), 1)) return glide(c, f, dt, glides);
        const M over = ~(abs(dt) < 0.5f);
        if (__builtin_expect(any(over | changed | gliding | (dt < 0.0f)), 0)) {
            // Four lanes keep it out of line, which keeps the usual loop's
            // registers free; eight are inlined (the AVX2 build of the step
            // reaches everything it calls by inlining).
            if constexpr (widthOf<V> == kWidth)
                unusualOutOfLine(c, f, dt, over, changed);
            else
                unusual(c, f, dt, over, changed);
            return y;
        }
        p = quill::wrapForwardPhase(p + dt);
        const V unit = f * c.toUnit;
        integ = zigzag_integrator::integrate(p, dt, f, integ, c.rate);
        y = unit * integ;
        limit(unit);
        return y;
    }

    // Every lane gliding on to a new frequency f > 0 (dt >= 0, below half a
    // cycle), its level carried in output units: what `unusual` does for
    // such lanes, without the choices none of them needs.
    __attribute__((always_inline)) V glide(const Constants<V>& c, V f, V dt, M glides)
    {
        p = quill::wrapForwardPhase(p + dt);
        const V unit = f * c.toUnit;
        gliding = glides;
        previous = f;
        y = leaked(y, unit * zigzag_integrator::integrate(p, dt, f, V{}, c.rate));
        limit(unit);
        return y;
    }

    // Whether every lane's frequency is held through samples start to
    // start + length - 1 of its channel (read in place), below half the rate
    // (as every played frequency is) and not negative, with no glide to
    // leave: then `steady` plays them.
    __attribute__((always_inline)) bool holdsThrough(const float* const* in, int lanes, int start, int length) const
    {
        if (any(gliding | (previous < 0.0f))) return false;
        for (int l = 0; l < lanes; ++l) {
            const float* x = in[l] + start;
            const f32x4 f = splat(previous[l]);
            i32x4 moved{};
            int i = 0;
            for (; i + kWidth <= length; i += kWidth) moved |= load(x + i) != f;
            for (; i < length; ++i) moved[0] |= x[i] != previous[l] ? -1 : 0;
            if (any(moved)) return false;
        }
        return true;
    }

    // What `steady` keeps for held frequencies: increment, output scale, and
    // the bounds of the stretch in which no correction window lies.
    struct Held {
        V dt, unit, low, mid;
    };
    __attribute__((always_inline)) Held held(const Constants<V>& c) const
    {
        constexpr float kMargin = 1.0f / 1048576.0f;
        Held h;
        h.dt = previous * c.toCycles;
        h.unit = previous * c.toUnit;
        // At 0 Hz (and in lanes without a channel) no window ever holds: such
        // lanes are never near one.
        const M moving = previous > 0.0f;
        h.low = moving ? h.dt + kMargin : splat<V>(-1.0f);
        h.mid = moving ? 0.5f - h.low : splat<V>(2.0f);
        return h;
    }

    // A sample of held, forward frequencies. The phase stays in [0, 1)
    // (dt >= 0: it never wraps below 0, and the square is never 3). The
    // corrections are formed only when some lane's phase may lie in a
    // window: one at least `margin` beyond dt from 0, 0.5 and 1, which
    // |p - 0.5| against low and 0.5 - low tells, is in none, however that
    // difference and the twin half a cycle on round (a few 1e-8 at most).
    __attribute__((always_inline)) V steady(const Constants<V>& c, const Held& h)
    {
        p = quill::wrapForwardPhase(p + h.dt);
        const V fromMiddle = abs(p - 0.5f);
        const M near = (fromMiddle < h.low) | (fromMiddle > h.mid);
        if (__builtin_expect(any(near), 0))
            integ = zigzag_integrator::integrate(p, h.dt, previous, integ, c.rate);
        else
            integ = leaked(integ, -1.0f + (p >= 0.5f ? 2.0f : 0.0f));  // squareFromWrappedPhase below 1, one step shorter
        y = h.unit * integ;
        limit(h.unit);
        return y;
    }

    // Holds |y| to the limit, as the single-channel kernel does.
    __attribute__((always_inline)) void limit(V unit)
    {
        const M beyond = ~(abs(y) <= zigzag::kMaxLevel);
        if (__builtin_expect(any(beyond), 0)) {
            const V held = copysign(splat<V>(zigzag::kMaxLevel), y);
            integ = (beyond & ~gliding) ? held / unit : integ;
            y = beyond ? held : y;
        }
    }

    __attribute__((noinline)) void unusualOutOfLine(const Constants<V>& c, V f, V dt, M over, M changed)
    {
        unusual(c, f, dt, over, changed);
    }

    // Every other sample, its output left in y.
    __attribute__((always_inline)) void unusual(const Constants<V>& c, const V& frequency, const V& increment,
                                           const M& beyondHalf, const M& changedTo)
    {
        V f = frequency, dt = increment;
        M changed = changedTo;
        if (any(beyondHalf)) {
            f = beyondHalf ? zigzag_integrator::playable(f, c.maxFrequency) : f;
            dt = beyondHalf ? f * c.toCycles : dt;
            changed = f != previous;
        }
        p = quill::wrapNearPhase(p + dt);
        const V unit = f * c.toUnit;
        if (any(changed | gliding)) {
            const M heldAgain = ~changed & gliding;
            if (any(heldAgain)) {
                const V back = y / unit;
                integ = heldAgain ? (finite(back) ? back : V{}) : integ;
            }
            integ = (changed & (previous == 0.0f)) ? V{} : integ;
            gliding = changed & (previous != 0.0f) & (f != 0.0f);
            previous = changed ? f : previous;
            const V r = zigzag_integrator::advance(p, dt, f, gliding ? V{} : integ, c.rate);
            y = gliding ? leaked(y, unit * r) : unit * r;
            integ = gliding ? integ : r;
        } else {
            integ = zigzag_integrator::advance(p, dt, f, integ, c.rate);
            y = unit * integ;
        }
        limit(unit);
    }
};

template <class V>
__attribute__((always_inline)) inline Constants<V> constantsOf(const zigzag& k)
{
    return {splat<V>(k.invRate), splat<V>(k.ampScale), splat<V>(k.maxFrequency), k.clampedRate};
}

constexpr int kChunk = 64;

// One or two groups of four voices (channels first to first + 3 and, when
// Two, the next lanesB), side by side so that their recursions overlap. A
// chunk at a time: the lanes' inputs side by side, then the samples, then
// the outputs back to their channels. Each channel's inputs are all read
// before any output is written.
template <bool Two>
__attribute__((always_inline)) inline void runFours(const zigzag& k, float* bank, int n, int first, int lanesA,
                                                     int lanesB, int count, const float* const* in,
                                                     float* const* out0, float* const* out1)
{
    const Constants<f32x4> c = constantsOf<f32x4>(k);
    Voices<f32x4> a(bank, n, first), b(bank, n, first + kWidth);
    f32x4 frameA[kChunk], frameB[kChunk];
    for (int start = 0; start < count; start += kChunk) {
        const int length = std::min(kChunk, count - start);
        if (a.holdsThrough(in + first, lanesA, start, length) &&
            (!Two || b.holdsThrough(in + first + kWidth, lanesB, start, length))) {
            const auto ha = a.held(c), hb = b.held(c);
            for (int i = 0; i < length; ++i) {
                frameA[i] = a.steady(c, ha);
                if (Two) frameB[i] = b.steady(c, hb);
            }
        } else {
            gatherFrames(in + first, lanesA, start, length, frameA);
            if (Two) gatherFrames(in + first + kWidth, lanesB, start, length, frameB);
            for (int i = 0; i < length; ++i) {
                frameA[i] = a.step(c, frameA[i]);
                if (Two) frameB[i] = b.step(c, frameB[i]);
            }
        }
        scatterFrames(frameA, lanesA, start, length, out0 + first, out1 + first);
        if (Two) scatterFrames(frameB, lanesB, start, length, out0 + first + kWidth, out1 + first + kWidth);
    }
    a.save(bank, n, first);
    if (Two) b.save(bank, n, first + kWidth);
}

// Five to eight voices as one group of eight lanes V, gathered and
// scattered as two frames of four.
template <class V>
__attribute__((always_inline)) inline void runEight(const zigzag& k, float* bank, int n, int first, int lanesA,
                                                    int lanesB, int count, const float* const* in,
                                                    float* const* out0, float* const* out1)
{
    const Constants<V> c = constantsOf<V>(k);
    Voices<V> v(bank, n, first);
    f32x4 frameA[kChunk], frameB[kChunk];
    auto split = [&](int i, V y) __attribute__((always_inline)) {
        frameA[i] = __builtin_shufflevector(y, y, 0, 1, 2, 3);
        frameB[i] = __builtin_shufflevector(y, y, 4, 5, 6, 7);
    };
    for (int start = 0; start < count; start += kChunk) {
        const int length = std::min(kChunk, count - start);
        if (v.holdsThrough(in + first, lanesA + lanesB, start, length)) {
            const auto h = v.held(c);
            for (int i = 0; i < length; ++i) split(i, v.steady(c, h));
        } else {
            gatherFrames(in + first, lanesA, start, length, frameA);
            gatherFrames(in + first + kWidth, lanesB, start, length, frameB);
            for (int i = 0; i < length; ++i)
                split(i, v.step(c, __builtin_shufflevector(frameA[i], frameB[i], 0, 1, 2, 3, 4, 5, 6, 7)));
        }
        scatterFrames(frameA, lanesA, start, length, out0 + first, out1 + first);
        scatterFrames(frameB, lanesB, start, length, out0 + first + kWidth, out1 + first + kWidth);
    }
    v.save(bank, n, first);
}

}  // namespace

namespace zigzag_voices {

std::size_t bankFloats(int channels) { return quill::voices::bankFloats(kArrays, channels); }

void compute(const zigzag& k, float* bank, int channels, int count, const float* const* in, float* const* out0,
             float* const* out1)
{
    if (count <= 0) return;
    const int n = quill::voices::stride(channels);
    // Eight lanes where the processor has them: the two groups of a pair in one.
    widest([&](auto lanes) __attribute__((always_inline)) {
        using V = decltype(lanes);
        quill::voices::inPairsOfGroups(channels, [&](int first, int lanesA, int lanesB) __attribute__((always_inline)) {
            if constexpr (widthOf<V> == 2 * kWidth) {
                if (lanesB > 0) return runEight<V>(k, bank, n, first, lanesA, lanesB, count, in, out0, out1);
            }
            if (lanesB > 0)
                runFours<true>(k, bank, n, first, lanesA, lanesB, count, in, out0, out1);
            else
                runFours<false>(k, bank, n, first, lanesA, lanesB, count, in, out0, out1);
        });
    });
}

void carryOver(const float* from, int fromChannels, float* to, int toChannels)
{
    quill::voices::carryOver(kArrays, from, fromChannels, to, toChannels);
}

void toKernel(const float* bank, int channels, int voice, zigzag& k)
{
    const auto at = [&](Array a) { return quill::voices::entry(bank, channels, a, voice); };
    k.phase[0] = k.phase[1] = at(kPhase);
    k.integrator[0] = k.integrator[1] = at(kIntegrator);
    k.frequency[0] = k.frequency[1] = at(kFrequency);
    k.output[0] = k.output[1] = at(kOutput);
    k.levelInOutputUnits = at(kGliding) != 0.0f;
}

void fromKernel(const zigzag& k, float* bank, int channels, int voice)
{
    const auto at = [&](Array a) -> float& { return quill::voices::entry(bank, channels, a, voice); };
    at(kPhase) = k.phase[1];
    at(kIntegrator) = k.integrator[1];
    at(kFrequency) = k.frequency[1];
    at(kOutput) = k.output[1];
    at(kGliding) = k.levelInOutputUnits ? 1.0f : 0.0f;
}

}  // namespace zigzag_voices
