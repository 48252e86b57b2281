// klaxon~: the block loop, one sample at a time: triggers, envelope, LFO,
// oscillator, lowpass and saturation.
//
// The running state lives in locals for the whole block and goes back into
// the pairs at the end. Every value is formed by the same operations in the
// same order as the plain description, so the bits are the same; the
// savings are exact ones: a maths call runs again only when its argument
// changed, and the phase remainders and the naive square are formed by
// comparisons and exact subtractions (exact_phase.h).
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "kernels/common/control_smoother.h"
#include "kernels/common/exact_phase.h"
#include "kernels/common/float_to_int.h"
#include "kernels/common/lanes.h"
#include "kernels/common/polyblep.h"
#include "kernels/common/wrapping_noise.h"
#include "kernels/common/maths/maths.h"
#include "kernels/klaxon/klaxon.h"

namespace {

using quill::bitsOf;

// The sweep filter's coefficients, each written once for every number type
// that forms them (one float a sample, or lanes of them at a time).

// The exponent of the cutoff's range: 100^sweep = exp(4.6051702 · sweep).
inline float rangeExponent(float sweep) { return 4.6051702f * sweep; }

// The tangent's argument for range 100^sweep at envelope env: the cutoff
// runs from 20 Hz up to 20 + 60 · range at full envelope, capped at
// maxCutoff (below half the rate).
template <class T>
__attribute__((always_inline)) inline T cutoffAngle(T range, float env, T maxCutoff, float piOverRate)
{
    const T fc = 20.0f + 60.0f * env * range;
    return piOverRate * (maxCutoff < fc ? maxCutoff : fc);  // std::min(fc, maxCutoff)
}

// The trapezoidal lowpass's damping at resonance 1 for g = tan(angle).
template <class T>
__attribute__((always_inline)) inline T damping(T g)
{
    return 1.0f / (1.0f + g * (g + 1.0f));
}

// count + step for step >= 0, stopping at INT32_MAX instead of overflowing.
int32_t addSaturating(int32_t count, int32_t step)
{
    return count > INT32_MAX - step ? INT32_MAX : count + step;
}

// Positive part of a button's change since the previous sample.
float rise(float value, float previous)
{
    return std::max(0.0f, value - previous);
}

// Attack/hold/release level in [0, 1] from the counters. While held the
// release count is 0, and 0 / max(1, ...) is +0 whatever the divisor, so the
// division is made only after a release.
float envelope(int32_t holdCount, int32_t releaseCount, float attackStep, float decayLatched, float clampedRate)
{
    const float attack = std::min(1.0f, static_cast<float>(holdCount) * attackStep);
    const float release =
        releaseCount == 0 ? 0.0f
                          : static_cast<float>(releaseCount) / std::max(1.0f, decayLatched * clampedRate);
    return std::max(0.0f, attack - release);
}

// The LFO's next phase, restarted by a press (edge 1 or more; +0 leaves the
// phase running), and the random steps' value drawn at each wrap.
__attribute__((always_inline)) inline float lfoPhaseStep(float speedS, float invRate, float edge, float& lfoP,
                                                         int32_t& noise, float& noiseH)
{
    noise = quill::noiseNext(noise);
    float phase = quill::wrapPhase(speedS * invRate + (1.0f - edge) * lfoP);
    // An infinite edge (huge button values) leaves no phase: restart at 0.
    if (!std::isfinite(phase)) phase = 0.0f;
    if (phase < lfoP) noiseH = static_cast<float>(noise) * 4.656613e-10f;
    lfoP = phase;
    return phase;
}

// LFO value in [-1, 1] for shape code `shape` at `phase`.
float lfo(int32_t shape, float phase, float noiseHeld)
{
    if (shape <= 0) return 4.0f * std::fabs(phase - 0.5f) - 1.0f;  // triangle
    if (shape == 1) return phase < 0.5f ? 1.0f : -1.0f;           // square
    if (shape == 2) return 2.0f * phase - 1.0f;                    // rising ramp
    if (shape == 3) return 1.0f - 2.0f * phase;                    // falling ramp
    return noiseHeld;                                              // random steps
}

// The pitch exponent in octaves: +-depth of LFO, down by up to depth/2 as
// the envelope falls.
inline float pitchExponent(float depthS, float lfoValue, float env)
{
    return depthS * (lfoValue + 0.5f * (env - 1.0f));
}

// polyBLEP correction at phase x for increment dt, scaled by period / m. The
// window is judged with dt; the division by m happens only inside a window.
// "Before a jump" wins.
float polyBlep(float x, float dt, float period, float m)
{
    if (x > 1.0f - dt) return quill::blepBeforeJump((x - 1.0f) * period / m);
    if (x < dt) return quill::blepAfterJump(x * period / m);
    return 0.0f;
}

// The oscillator's next sample at pitch factor m: the phase advances by
// pitchInc·m, and the square's jumps are rounded off by polyBLEP. Always
// inlined: as a call it costs the held-note loop about 5 % more instructions.
__attribute__((always_inline)) inline float bandLimitedSquare(float& osc, float m, float pitchInc, float pitchPeriod)
{
    const float dt = pitchInc * m;
    const float p = quill::wrapPhase(osc + dt);
    osc = p;
    const float h = quill::halfCycleOnFast(p);
    const float s = quill::squareFromPhaseFast(p);
    return s + polyBlep(h, dt, pitchPeriod, m) - polyBlep(p, dt, pitchPeriod, m);
}

// One step of the trapezoidal state-variable lowpass with damping 1, for
// coefficient g and d = 1 / (1 + g (g + 1)); s1 and s2 advance.
float svfLowpass(float x, float g, float d, float& s1, float& s2)
{
    const float a = s1 + g * (x - s2);
    const float band = a * d;
    const float low = s2 + g * band;
    s1 = 2.0f * band - s1;
    s2 = 2.0f * low - s2;
    return low;
}

// The output: the lowpass times the envelope, softly saturated.
inline float saturated(float env, float low)
{
    const float e = env * low;
    return e / (1.0f + std::fabs(e));
}

// The sweep filter's tangents and dampings for the gliding sweep's ranges
// (100^sweep) at envelope env, in the widest lanes this processor has.
// Returns how many samples it formed (a multiple of the lanes' width).
int sweepFilters(const float* ranges, int n, float env, float piOverRate, float maxCutoff, float* gs, float* dampings)
{
    int formed = 0;
    quill::lanes::widest([&](auto lanes) __attribute__((always_inline)) {
        using V = decltype(lanes);
        const V cap = quill::lanes::splat<V>(maxCutoff);
        for (; formed + quill::lanes::widthOf<V> <= n; formed += quill::lanes::widthOf<V>) {
            const V g = quill::tangent(cutoffAngle(quill::lanes::load<V>(ranges + formed), env, cap, piOverRate));
            quill::lanes::store(gs + formed, g);
            quill::lanes::store(dampings + formed, damping(g));
        }
    });
    return formed;
}

}  // namespace

void klaxon::compute(int count, QUILLFLOAT** /*inputs*/, QUILLFLOAT** outputs)
{
    if (count <= 0) return;
    const BlockControls c = readControls();
    if (heldNote(c))
        computeHeld(c, count, outputs[0], outputs[1]);
    else
        computeMoving(c, count, outputs[0], outputs[1]);
}

klaxon::Running klaxon::load() const
{
    return Running{held[1],        holdCount[1],    releaseCount[1], sawButton[1],   squareButton[1],
                   revSawButton[1], randomButton[1], triangleButton[1], sweepSmooth[1], decaySmooth[1],
                   decayLatched[1], depthSmooth[1],  shapeLatched[1], speedSmooth[1],  lfoPhase[1],
                   noiseState[1],  noiseHeld[1],    oscPhase[1],     filterState1[1], filterState2[1],
                   sweepRange,     cutoffTan,       pitchFactor,     cutoffDamping};
}

void klaxon::store(const Running& r)
{
    held[0] = held[1] = r.held;
    holdCount[0] = holdCount[1] = r.holdCount;
    releaseCount[0] = releaseCount[1] = r.releaseCount;
    sawButton[0] = sawButton[1] = r.saw;
    squareButton[0] = squareButton[1] = r.square;
    revSawButton[0] = revSawButton[1] = r.revSaw;
    randomButton[0] = randomButton[1] = r.random;
    triangleButton[0] = triangleButton[1] = r.triangle;
    sweepSmooth[0] = sweepSmooth[1] = r.sweepS;
    decaySmooth[0] = decaySmooth[1] = r.decayS;
    decayLatched[0] = decayLatched[1] = r.decayL;
    depthSmooth[0] = depthSmooth[1] = r.depthS;
    shapeLatched[0] = shapeLatched[1] = r.shape;
    speedSmooth[0] = speedSmooth[1] = r.speedS;
    lfoPhase[0] = lfoPhase[1] = r.lfoP;
    noiseState[0] = noiseState[1] = r.noise;
    noiseHeld[0] = noiseHeld[1] = r.noiseH;
    oscPhase[0] = oscPhase[1] = r.osc;
    filterState1[0] = filterState1[1] = r.s1;
    filterState2[0] = filterState2[1] = r.s2;
    sweepRange = r.range, cutoffTan = r.tangent, pitchFactor = r.factor;
    cutoffDamping = r.damping;
}

bool klaxon::heldNote(const BlockControls& c) const
{
    const float edge = rise(c.saw, sawButton[1]) + rise(c.square, squareButton[1]) +
                       rise(c.revSaw, revSawButton[1]) + rise(c.random, randomButton[1]) +
                       rise(c.triangle, triangleButton[1]);
    // The hold count only grows, so a full attack stays full.
    return c.anyHeld == 1 && held[1] == 1 && edge == 0.0f &&
           std::min(1.0f, static_cast<float>(holdCount[1]) * attackStep) == 1.0f;
}

inline void klaxon::sweepFilter(float sweepS, float env, quill::Remembered& range, quill::Remembered& tangent,
                                float& d) const
{
    range.of(rangeExponent(sweepS), [](float x) { return quill::exponentialE(x); });
    const float tanArg = cutoffAngle(range.value, env, maxCutoff, piOverRate);
    if (tangent.differs(tanArg)) {
        tangent = {bitsOf(tanArg), quill::tangent(tanArg)};
        d = damping(tangent.value);
    }
}

// With no press (edge +0), none released (release count 0) and a full
// attack, env is exactly 1 on every sample, and the envelope's pitch term a
// constant; (1 - edge) x phase is the phase itself, and env x low is low. The
// decay smoother only matters at a press. A chunk at a time: the smoothers
// and the LFO first (they never depend on the oscillator), then the pitch
// factors and, while the sweep glides, the lowpass coefficients, several
// lanes at a time; then oscillator and lowpass. A smoother at rest gives its
// own value again at every step, so running it changes nothing.
void klaxon::computeHeld(const BlockControls& c, int count, float* out0, float* out1)
{
    const float env = 1.0f;
    const float pole = smoothPole;
    Running r = load();
    const bool sweepGlides = bitsOf(quill::smoothStep(pole, r.sweepS, c.sweepIn)) != bitsOf(r.sweepS);
    if (!sweepGlides) sweepFilter(r.sweepS, env, r.range, r.tangent, r.damping);

    // Five arrays of 64 floats: 1.25 KiB of stack.
    constexpr int kChunk = 64;
    float pitchArgs[kChunk], factors[kChunk], sweepArgs[kChunk], gs[kChunk], dampings[kChunk];
    auto run = [&](auto lfoValue) {
        for (int start = 0; start < count; start += kChunk) {
            const int n = count - start < kChunk ? count - start : kChunk;
            int changed = 0;
            for (int i = 0; i < n; ++i) {
                r.holdCount = addSaturating(r.holdCount, 1);
                r.sweepS = quill::smoothStep(pole, r.sweepS, c.sweepIn);
                sweepArgs[i] = rangeExponent(r.sweepS);
                r.decayS = quill::smoothStep(pole, r.decayS, c.decayIn);
                r.depthS = quill::smoothStep(pole, r.depthS, c.depthIn);
                r.speedS = quill::smoothStep(pole, r.speedS, c.speedIn);
                const float phase = lfoPhaseStep(r.speedS, invRate, 0.0f, r.lfoP, r.noise, r.noiseH);
                pitchArgs[i] = pitchExponent(r.depthS, lfoValue(phase, r.noiseH), env);
                changed += r.factor.differs(pitchArgs[i]);
            }
            if (changed) {
                quill::exponentialsTwo(pitchArgs, factors, n);
                r.factor = {bitsOf(pitchArgs[n - 1]), factors[n - 1]};
            } else {
                for (int i = 0; i < n; ++i) factors[i] = r.factor.value;
            }
            if (sweepGlides) {
                r.range.key = bitsOf(sweepArgs[n - 1]);
                quill::exponentialsE(sweepArgs, sweepArgs, n);
                r.range.value = sweepArgs[n - 1];
                r.tangent.key = bitsOf(cutoffAngle(sweepArgs[n - 1], env, maxCutoff, piOverRate));
                for (int i = sweepFilters(sweepArgs, n, env, piOverRate, maxCutoff, gs, dampings); i < n; ++i) {
                    gs[i] = quill::tangent(cutoffAngle(sweepArgs[i], env, maxCutoff, piOverRate));
                    dampings[i] = damping(gs[i]);
                }
                r.tangent.value = gs[n - 1];
                r.damping = dampings[n - 1];
            } else {
                for (int i = 0; i < n; ++i) gs[i] = r.tangent.value, dampings[i] = r.damping;
            }
            for (int i = 0; i < n; ++i) {
                const float x = bandLimitedSquare(r.osc, factors[i], c.pitchInc, c.pitchPeriod);
                const float y = saturated(env, svfLowpass(x, gs[i], dampings[i], r.s1, r.s2));
                out0[start + i] = y;
                out1[start + i] = y;
            }
        }
    };
    // One loop per LFO shape, the shape's formula inlined.
    const int32_t shape = quill::truncToInt(r.shape);
    if (shape <= 0) run([](float phase, float) { return lfo(0, phase, 0.0f); });
    else if (shape == 1) run([](float phase, float) { return lfo(1, phase, 0.0f); });
    else if (shape == 2) run([](float phase, float) { return lfo(2, phase, 0.0f); });
    else if (shape == 3) run([](float phase, float) { return lfo(3, phase, 0.0f); });
    else run([](float, float heldValue) { return heldValue; });

    r.held = 1;
    r.releaseCount = 0;
    r.saw = c.saw, r.square = c.square, r.revSaw = c.revSaw, r.random = c.random, r.triangle = c.triangle;
    store(r);
}

void klaxon::computeMoving(const BlockControls& c, int count, float* out0, float* out1)
{
    Running r = load();  // the previous sample's values
    const float pole = smoothPole;

    for (int i = 0; i < count; ++i) {
        // Triggers: a rise from all released restarts the hold count.
        const int32_t holdNow = c.anyHeld > r.held ? c.anyHeld : addSaturating(r.holdCount, c.anyHeld);
        const int32_t releaseNow = c.noneHeld * addSaturating(r.releaseCount, 1);
        const float riseSaw = rise(c.saw, r.saw);
        const float riseSquare = rise(c.square, r.square);
        const float riseRevSaw = rise(c.revSaw, r.revSaw);
        const float riseRandom = rise(c.random, r.random);
        const float riseTriangle = rise(c.triangle, r.triangle);
        const float edge = riseSaw + riseSquare + riseRevSaw + riseRandom + riseTriangle;
        const bool pressed = quill::truncToInt(edge) != 0;

        // Control smoothing; decay is latched at a press.
        r.sweepS = quill::smoothStep(pole, r.sweepS, c.sweepIn);
        r.decayS = quill::smoothStep(pole, r.decayS, c.decayIn);
        if (pressed) r.decayL = r.decayS;
        r.depthS = quill::smoothStep(pole, r.depthS, c.depthIn);

        const float env = envelope(holdNow, releaseNow, attackStep, r.decayL, clampedRate);

        sweepFilter(r.sweepS, env, r.range, r.tangent, r.damping);

        // LFO: shape latched at a press, phase restarted by it.
        if (pressed) r.shape = riseSquare + 2.0f * riseSaw + 3.0f * riseRevSaw + 4.0f * riseRandom;
        r.speedS = quill::smoothStep(pole, r.speedS, c.speedIn);
        const float phase = lfoPhaseStep(r.speedS, invRate, edge, r.lfoP, r.noise, r.noiseH);
        const float L = lfo(quill::truncToInt(r.shape), phase, r.noiseH);

        const float pitchArg = pitchExponent(r.depthS, L, env);
        const float factor = r.factor.of(pitchArg, [](float x) { return quill::exponentialTwo(x); });
        const float x = bandLimitedSquare(r.osc, factor, c.pitchInc, c.pitchPeriod);

        const float y = saturated(env, svfLowpass(x, r.tangent.value, r.damping, r.s1, r.s2));
        out0[i] = y;
        out1[i] = y;

        r.held = c.anyHeld, r.holdCount = holdNow, r.releaseCount = releaseNow;
        r.saw = c.saw, r.square = c.square, r.revSaw = c.revSaw, r.random = c.random, r.triangle = c.triangle;
    }
    store(r);
}
