// zigzag~'s voices, four lanes at a time: the single-channel oscillator's
// sample written with selects instead of branches. Every branch of the
// scalar code becomes both sides computed and one chosen, lane by lane, so
// each lane takes exactly the scalar operations in the scalar order. The
// rare divisions (an infinite reciprocal's fallback, the return from a glide,
// the limit) run only when some lane needs them.
#include "kernels/zigzag/zigzag_voices.h"

#include <algorithm>
#include <cstring>

#include "kernels/common/lanes.h"
#include "kernels/common/voices_bank.h"
#include "kernels/zigzag/zigzag.h"

namespace {

using namespace quill::lanes;

enum Array { kPhase, kIntegrator, kFrequency, kOutput, kGliding, kArrays };

// 1 (or 2) where a comparison holds, +0 elsewhere.
inline f4 ones(m4 mask) { return reinterpret_cast<f4>(mask & reinterpret_cast<m4>(splat(1.0f))); }
inline f4 twos(m4 mask) { return reinterpret_cast<f4>(mask & reinterpret_cast<m4>(splat(2.0f))); }

struct Constants {
    f4 toCycles, toUnit, rate, maxFrequency;
};

// polyBLEP corrections of phases h and q at increment dt (> 0 where a window
// holds), with u·fs/f formed as the scalar windowOffset forms it.
struct Blep {
    f4 recip, g, rate;
    m4 recipInfinite;
    bool anyInfinite;

    f4 offset(f4 x) const
    {
        const f4 scaled = x * rate;
        const f4 quick = scaled * recip;
        return anyInfinite ? select(recipInfinite, scaled / g, quick) : quick;
    }
    f4 operator()(f4 x, f4 dt) const
    {
        const m4 after = x < dt;
        const m4 before = x > splat(1.0f) - dt;
        const f4 u = offset(x);
        const f4 v = offset(x - splat(1.0f));
        const f4 afterJump = splat(2.0f) * u - u * u - splat(1.0f);
        const f4 beforeJump = v * v + splat(2.0f) * v + splat(1.0f);
        return select(before, beforeJump, select(after, afterJump, splat(0.0f)));
    }
};

// The leaky integrator from `start` at phase p, increment dt, frequency f,
// in either direction (a backwards phase is the mirrored forward one, negated).
__attribute__((always_inline)) inline f4 integrate(const Constants& c, f4 q, f4 e, f4 g, f4 from);

__attribute__((always_inline)) inline f4 advance(const Constants& c, f4 p, f4 dt, f4 f, f4 start)
{
    const m4 back = ~(dt >= splat(0.0f));
    if (!any(back)) return integrate(c, p, dt, f, start);
    const f4 q = select(back, select(p == splat(0.0f), splat(0.0f), splat(1.0f) - p), p);
    const f4 result = integrate(c, q, select(back, -dt, dt), select(back, -f, f), select(back, -start, start));
    return select(back, -result, result);
}

// One forward step of the leaky integrator from `from` at phase q,
// increment e, frequency g.
__attribute__((always_inline)) inline f4 integrate(const Constants& c, f4 q, f4 e, f4 g, f4 from)
{
    // The phase half a cycle on, and the square (-1, 1 or 3), with the
    // comparisons' choices written as subtracted or added 0 or 1: exact, as
    // no operand here is -0.
    const f4 a = q + splat(0.5f);
    const f4 r = a - ones(a >= splat(1.0f));
    const f4 t = r + splat(1.0f);
    const f4 h = t - (ones(t >= splat(2.0f)) + splat(1.0f));
    const f4 s = splat(-1.0f) + twos(q >= splat(0.5f)) + twos(q >= splat(1.0f));
    const f4 leaked = splat(0.999f) * from + s;
    const f4 top = splat(1.0f) - e;
    const m4 window = (h < e) | (q < e) | (h > top) | (q > top);
    f4 result = leaked;
    if (any(window)) {
        Blep blep;
        blep.recip = splat(1.0f) / g;
        blep.recipInfinite = ~finite(blep.recip) & (blep.recip == blep.recip);
        blep.anyInfinite = any(blep.recipInfinite & window);
        blep.g = g;
        blep.rate = c.rate;
        result = select(window, leaked + blep(h, e) - blep(q, e), leaked);
    }
    return result;
}


// Four voices' running state, and one sample of them.
struct Voices {
    f4 p{}, integ{}, previous{}, y{};
    m4 gliding{};

    Voices(const float* bank, int n, int first)
    {
        if (first >= n) return;  // no such group: never stepped
        p = load(bank + kPhase * n + first);
        integ = load(bank + kIntegrator * n + first);
        previous = load(bank + kFrequency * n + first);
        y = load(bank + kOutput * n + first);
        gliding = load(bank + kGliding * n + first) != splat(0.0f);
    }

    void save(float* bank, int n, int first) const
    {
        store(bank + kPhase * n + first, p);
        store(bank + kIntegrator * n + first, integ);
        store(bank + kFrequency * n + first, previous);
        store(bank + kOutput * n + first, y);
        store(bank + kGliding * n + first, select(gliding, splat(1.0f), splat(0.0f)));
    }

    // The usual sample (every lane's frequency held below half the rate,
    // running forwards, no glide to leave) takes the short way.
    __attribute__((always_inline)) f4 step(const Constants& c, f4 f)
    {
        f4 dt = f * c.toCycles;
        const m4 over = ~(abs(dt) < splat(0.5f));
        const m4 changed = f != previous;
        if (__builtin_expect(any(over | changed | gliding | (dt < splat(0.0f))), 0)) return unusual(c, f, dt, over, changed);
        const f4 next = p + dt;
        p = next - ones(next >= splat(1.0f)) + ones(next < splat(0.0f));  // next is never -0
        const f4 unit = f * c.toUnit;
        integ = integrate(c, p, dt, f, integ);
        y = unit * integ;
        limit(unit);
        return y;
    }

    // Whether every lane's frequency is held through samples start to
    // start + length - 1 of its channel (read in place), below half the rate
    // (as every played frequency is) and not negative, with no glide to
    // leave: then `steady` plays them.
    bool holdsThrough(const float* const* in, int lanes, int start, int length) const
    {
        if (any(gliding | (previous < splat(0.0f)))) return false;
        for (int l = 0; l < lanes; ++l) {
            const float* x = in[l] + start;
            const f4 f = splat(previous[l]);
            m4 moved{};
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
        f4 dt, unit, low, mid;
    };
    Held held(const Constants& c) const
    {
        constexpr float kMargin = 1.0f / 1048576.0f;
        Held h;
        h.dt = previous * c.toCycles;
        h.unit = previous * c.toUnit;
        // At 0 Hz (and in lanes without a channel) no window ever holds: such
        // lanes are never near one.
        const m4 moving = previous > splat(0.0f);
        h.low = select(moving, h.dt + splat(kMargin), splat(-1.0f));
        h.mid = select(moving, splat(0.5f) - h.low, splat(2.0f));
        return h;
    }

    // A sample of held, forward frequencies. The phase stays in [0, 1)
    // (dt >= 0: it never wraps below 0, and the square is never 3). The
    // corrections are formed only when some lane's phase may lie in a
    // window: one at least `margin` beyond dt from 0, 0.5 and 1, which
    // |p - 0.5| against low and 0.5 - low tells, is in none, however that
    // difference and the twin half a cycle on round (a few 1e-8 at most).
    __attribute__((always_inline)) f4 steady(const Constants& c, const Held& h)
    {
        const f4 next = p + h.dt;
        p = next - ones(next >= splat(1.0f));
        const f4 fromMiddle = abs(p - splat(0.5f));
        const m4 near = (fromMiddle < h.low) | (fromMiddle > h.mid);
        if (__builtin_expect(any(near), 0))
            integ = integrate(c, p, h.dt, previous, integ);
        else
            integ = splat(0.999f) * integ + (splat(-1.0f) + twos(p >= splat(0.5f)));
        y = h.unit * integ;
        limit(h.unit);
        return y;
    }

    // Holds |y| to the limit, as the single-channel kernel does.
    __attribute__((always_inline)) void limit(f4 unit)
    {
        const m4 beyond = ~(abs(y) <= splat(zigzag::kMaxLevel));
        if (__builtin_expect(any(beyond), 0)) {
            const f4 held = copysign(splat(zigzag::kMaxLevel), y);
            integ = select(beyond & ~gliding, held / unit, integ);
            y = select(beyond, held, y);
        }
    }

    __attribute__((noinline)) f4 unusual(const Constants& c, f4 f, f4 dt, m4 over, m4 changed)
    {
        if (any(over)) {
            f = select(over, select(f != f, splat(0.0f), copysign(c.maxFrequency, f)), f);
            dt = select(over, f * c.toCycles, dt);
            changed = f != previous;
        }
        const f4 next = p + dt;
        p = next - ones(next >= splat(1.0f)) + ones(next < splat(0.0f));  // next is never -0
        const f4 unit = f * c.toUnit;
        if (any(changed | gliding)) {
            const m4 heldAgain = ~changed & gliding;
            if (any(heldAgain)) {
                const f4 back = y / unit;
                integ = select(heldAgain, select(finite(back), back, splat(0.0f)), integ);
            }
            integ = select(changed & (previous == splat(0.0f)), splat(0.0f), integ);
            gliding = changed & (previous != splat(0.0f)) & (f != splat(0.0f));
            previous = select(changed, f, previous);
            const f4 r = advance(c, p, dt, f, select(gliding, splat(0.0f), integ));
            y = select(gliding, splat(0.999f) * y + unit * r, unit * r);
            integ = select(gliding, integ, r);
        } else {
            integ = advance(c, p, dt, f, integ);
            y = unit * integ;
        }
        limit(unit);
        return y;
    }
};

}  // namespace

namespace zigzag_voices {

int stride(int channels) { return quill::voices::stride(channels); }

std::size_t bankFloats(int channels) { return quill::voices::bankFloats(kArrays, channels); }

void compute(const zigzag& k, float* bank, int channels, int count, const float* const* in, float* const* out0,
             float* const* out1)
{
    if (count <= 0) return;
    const int n = stride(channels);
    const Constants c{splat(k.invRate), splat(k.ampScale), splat(k.clampedRate), splat(k.maxFrequency)};
    quill::voices::inPairsOfGroups(channels, [&](int first, int lanesA, int lanesB) {
        Voices a(bank, n, first), b(bank, n, first + kWidth);
        // A chunk at a time: the lanes' inputs side by side, then the
        // samples, then the outputs back to their channels. Each channel's
        // inputs are all read before any output is written.
        constexpr int kChunk = 64;
        f4 frameA[kChunk], frameB[kChunk];
        for (int start = 0; start < count; start += kChunk) {
            const int length = std::min(kChunk, count - start);
            const bool heldA = a.holdsThrough(in + first, lanesA, start, length);
            if (lanesB > 0) {
                if (heldA && b.holdsThrough(in + first + kWidth, lanesB, start, length)) {
                    const Voices::Held ha = a.held(c), hb = b.held(c);
                    for (int i = 0; i < length; ++i) {
                        frameA[i] = a.steady(c, ha);
                        frameB[i] = b.steady(c, hb);
                    }
                } else {
                    gatherFrames(in + first, lanesA, start, length, frameA);
                    gatherFrames(in + first + kWidth, lanesB, start, length, frameB);
                    for (int i = 0; i < length; ++i) {
                        frameA[i] = a.step(c, frameA[i]);
                        frameB[i] = b.step(c, frameB[i]);
                    }
                }
                scatterFrames(frameB, lanesB, start, length, out0 + first + kWidth, out1 + first + kWidth);
            } else if (heldA) {
                const Voices::Held ha = a.held(c);
                for (int i = 0; i < length; ++i) frameA[i] = a.steady(c, ha);
            } else {
                gatherFrames(in + first, lanesA, start, length, frameA);
                for (int i = 0; i < length; ++i) frameA[i] = a.step(c, frameA[i]);
            }
            scatterFrames(frameA, lanesA, start, length, out0 + first, out1 + first);
        }
        a.save(bank, n, first);
        if (lanesB > 0) b.save(bank, n, first + kWidth);
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
