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
#include <cstring>

#include "kernels/common/control_smoother.h"
#include "kernels/common/exact_phase.h"
#include "kernels/common/float_to_int.h"
#include "kernels/common/polyblep.h"
#include "kernels/common/wrapping_noise.h"
#include "kernels/klaxon/klaxon.h"
#include "kernels/common/maths/maths.h"

namespace {

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

uint32_t bitsOf(float v)
{
    uint32_t b;
    std::memcpy(&b, &v, sizeof b);
    return b;
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

// LFO value in [-1, 1] for shape code `shape` at `phase`.
float lfo(int32_t shape, float phase, float noiseHeld)
{
    if (shape <= 0) return 4.0f * std::fabs(phase - 0.5f) - 1.0f;  // triangle
    if (shape == 1) return phase < 0.5f ? 1.0f : -1.0f;           // square
    if (shape == 2) return 2.0f * phase - 1.0f;                    // rising ramp
    if (shape == 3) return 1.0f - 2.0f * phase;                    // falling ramp
    return noiseHeld;                                              // random steps
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

#ifdef QUILL_MATHS_AVX2
// The sweep filter's tangents and dampings for the gliding sweep's ranges
// (100^sweep) at envelope env, eight samples at a time on a processor with
// AVX2: the same operations, lane by lane, as the chunk loop's. Returns how
// many samples it formed (a multiple of eight).
__attribute__((target("avx2"), noinline)) int sweepFiltersAvx2(const float* ranges, int n, float env, float piOverRate,
                                                              float maxCutoff, float* gs, float* dampings)
{
    using namespace quill::maths;
    int i = 0;
    for (; i + 8 <= n; i += 8) {
        f32x8 range;
        std::memcpy(&range, ranges + i, sizeof range);
        const f32x8 fc = 20.0f + 60.0f * env * range;
        const f32x8 capped = maxCutoff < fc ? f32x8{} + maxCutoff : fc;  // std::min(fc, maxCutoff)
        const f32x8 g = tangentsOfEight(piOverRate * capped);
        const f32x8 damping = 1.0f / (1.0f + g * (g + 1.0f));
        std::memcpy(gs + i, &g, sizeof g);
        std::memcpy(dampings + i, &damping, sizeof damping);
    }
    return i;
}
#endif

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

bool klaxon::heldNote(const BlockControls& c) const
{
    const float edge = rise(c.saw, sawButton[1]) + rise(c.square, squareButton[1]) +
                       rise(c.revSaw, revSawButton[1]) + rise(c.random, randomButton[1]) +
                       rise(c.triangle, triangleButton[1]);
    // The hold count only grows, so a full attack stays full.
    return c.anyHeld == 1 && held[1] == 1 && edge == 0.0f &&
           std::min(1.0f, static_cast<float>(holdCount[1]) * attackStep) == 1.0f;
}

// With no press (edge +0), none released (release count 0) and a full
// attack, env is exactly 1 on every sample, and the envelope's pitch term a
// constant; (1 - edge) x phase is the phase itself, and env x low is low. The
// decay smoother only matters at a press. A chunk at a time: the smoothers
// and the LFO first (they never depend on the oscillator), then the pitch
// factors and, while the sweep glides, the lowpass coefficients, several
// lanes at a time; then oscillator and lowpass. A smoother at rest gives its
// own value again at every step, so running it changes nothing.
// The sweep filter's tangent and damping for smoothed sweep `sweepS` and
// envelope `env`: the cutoff from 20 Hz up to 20 + 60 * 100^sweep at full
// envelope. Each maths call is made only when its argument changed.
inline void klaxon::sweepFilter(float sweepS, float env, Remembered& range, Remembered& tangent, float& damping) const
{
    const float rangeArg = 4.6051702f * sweepS;
    if (bitsOf(rangeArg) != range.key) range = {bitsOf(rangeArg), quill::exponentialE(rangeArg)};
    const float fc = std::min(20.0f + 60.0f * env * range.value, maxCutoff);
    const float tanArg = piOverRate * fc;
    if (bitsOf(tanArg) != tangent.key) {
        tangent = {bitsOf(tanArg), quill::tangent(tanArg)};
        const float g = tangent.value;
        damping = 1.0f / (1.0f + g * (g + 1.0f));
    }
}

void klaxon::computeHeld(const BlockControls& c, int count, float* out0, float* out1)
{
    const float env = 1.0f;
    const float pole = smoothPole;
    float sweepS = sweepSmooth[1], decayS = decaySmooth[1], depthS = depthSmooth[1], speedS = speedSmooth[1];
    const bool sweepGlides = bitsOf(quill::smoothStep(pole, sweepS, c.sweepIn)) != bitsOf(sweepS);
    if (!sweepGlides) {
        sweepFilter(sweepS, env, sweepRange, cutoffTan, cutoffDamping);
    }
    const float envTerm = 0.5f * (env - 1.0f);
    int32_t holdNow = holdCount[1];
    int32_t noise = noiseState[1];
    float lfoP = lfoPhase[1], noiseH = noiseHeld[1], osc = oscPhase[1], s1 = filterState1[1], s2 = filterState2[1];
    Remembered factor = pitchFactor;

    // Five arrays of 64 floats: 1.25 KiB of stack.
    constexpr int kChunk = 64;
    float pitchArgs[kChunk], factors[kChunk], sweepArgs[kChunk], gs[kChunk], dampings[kChunk];
    auto run = [&](auto lfoValue) {
        for (int start = 0; start < count; start += kChunk) {
            const int n = count - start < kChunk ? count - start : kChunk;
            int changed = 0;
            for (int i = 0; i < n; ++i) {
                holdNow = addSaturating(holdNow, 1);
                sweepS = quill::smoothStep(pole, sweepS, c.sweepIn);
                sweepArgs[i] = 4.6051702f * sweepS;
                decayS = quill::smoothStep(pole, decayS, c.decayIn);
                depthS = quill::smoothStep(pole, depthS, c.depthIn);
                speedS = quill::smoothStep(pole, speedS, c.speedIn);
                noise = quill::noiseNext(noise);
                float phase = quill::wrapPhase(speedS * invRate + lfoP);
                if (!std::isfinite(phase)) phase = 0.0f;
                if (phase < lfoP) noiseH = static_cast<float>(noise) * 4.656613e-10f;
                lfoP = phase;
                pitchArgs[i] = depthS * (lfoValue(phase, noiseH) + envTerm);
                changed += bitsOf(pitchArgs[i]) != factor.key;
            }
            if (changed) {
                quill::exponentialsTwo(pitchArgs, factors, n);
                factor = {bitsOf(pitchArgs[n - 1]), factors[n - 1]};
            } else {
                for (int i = 0; i < n; ++i) factors[i] = factor.value;
            }
            if (sweepGlides) {
                sweepRange.key = bitsOf(sweepArgs[n - 1]);
                quill::exponentialsE(sweepArgs, sweepArgs, n);
                sweepRange.value = sweepArgs[n - 1];
                cutoffTan.key = bitsOf(piOverRate * std::min(20.0f + 60.0f * env * sweepArgs[n - 1], maxCutoff));
                int formed = 0;
#ifdef QUILL_MATHS_AVX2
                if (quill::maths::kHasAvx2) formed = sweepFiltersAvx2(sweepArgs, n, env, piOverRate, maxCutoff, gs, dampings);
#endif
                for (int i = formed; i < n; ++i) gs[i] = piOverRate * std::min(20.0f + 60.0f * env * sweepArgs[i], maxCutoff);
                quill::tangents(gs + formed, gs + formed, n - formed);
                for (int i = formed; i < n; ++i) dampings[i] = 1.0f / (1.0f + gs[i] * (gs[i] + 1.0f));
                cutoffTan.value = gs[n - 1];
                cutoffDamping = dampings[n - 1];
            } else {
                for (int i = 0; i < n; ++i) gs[i] = cutoffTan.value, dampings[i] = cutoffDamping;
            }
            for (int i = 0; i < n; ++i) {
                const float x = bandLimitedSquare(osc, factors[i], c.pitchInc, c.pitchPeriod);
                const float low = svfLowpass(x, gs[i], dampings[i], s1, s2);
                const float e = env * low;
                const float y = e / (1.0f + std::fabs(e));
                out0[start + i] = y;
                out1[start + i] = y;
            }
        }
    };
    // One loop per LFO shape, the shape's formula inlined.
    const int32_t shape = quill::truncToInt(shapeLatched[1]);
    if (shape <= 0) run([](float phase, float) { return lfo(0, phase, 0.0f); });
    else if (shape == 1) run([](float phase, float) { return lfo(1, phase, 0.0f); });
    else if (shape == 2) run([](float phase, float) { return lfo(2, phase, 0.0f); });
    else if (shape == 3) run([](float phase, float) { return lfo(3, phase, 0.0f); });
    else run([](float, float heldValue) { return heldValue; });

    held[0] = held[1] = 1;
    holdCount[0] = holdCount[1] = holdNow;
    releaseCount[0] = releaseCount[1] = 0;
    sawButton[0] = sawButton[1] = c.saw;
    squareButton[0] = squareButton[1] = c.square;
    revSawButton[0] = revSawButton[1] = c.revSaw;
    randomButton[0] = randomButton[1] = c.random;
    triangleButton[0] = triangleButton[1] = c.triangle;
    sweepSmooth[0] = sweepSmooth[1] = sweepS;
    decaySmooth[0] = decaySmooth[1] = decayS;
    decayLatched[0] = decayLatched[1];
    depthSmooth[0] = depthSmooth[1] = depthS;
    shapeLatched[0] = shapeLatched[1];
    speedSmooth[0] = speedSmooth[1] = speedS;
    lfoPhase[0] = lfoPhase[1] = lfoP;
    noiseState[0] = noiseState[1] = noise;
    noiseHeld[0] = noiseHeld[1] = noiseH;
    oscPhase[0] = oscPhase[1] = osc;
    filterState1[0] = filterState1[1] = s1;
    filterState2[0] = filterState2[1] = s2;
    pitchFactor = factor;
}

void klaxon::computeMoving(const BlockControls& c, int count, float* out0, float* out1)
{
    // The previous sample's values.
    int32_t heldPrev = held[1], holdPrev = holdCount[1], releasePrev = releaseCount[1];
    float sawPrev = sawButton[1], squarePrev = squareButton[1], revSawPrev = revSawButton[1];
    float randomPrev = randomButton[1], trianglePrev = triangleButton[1];
    float sweepS = sweepSmooth[1], decayS = decaySmooth[1], decayL = decayLatched[1], depthS = depthSmooth[1];
    float shape = shapeLatched[1], speedS = speedSmooth[1], lfoP = lfoPhase[1];
    int32_t noise = noiseState[1];
    float noiseH = noiseHeld[1], osc = oscPhase[1], s1 = filterState1[1], s2 = filterState2[1];
    Remembered range = sweepRange, tangent = cutoffTan, factor = pitchFactor;
    float damping = cutoffDamping;
    const float pole = smoothPole;

    for (int i = 0; i < count; ++i) {
        // Triggers: a rise from all released restarts the hold count.
        const int32_t holdNow = c.anyHeld > heldPrev ? c.anyHeld : addSaturating(holdPrev, c.anyHeld);
        const int32_t releaseNow = c.noneHeld * addSaturating(releasePrev, 1);
        const float riseSaw = rise(c.saw, sawPrev);
        const float riseSquare = rise(c.square, squarePrev);
        const float riseRevSaw = rise(c.revSaw, revSawPrev);
        const float riseRandom = rise(c.random, randomPrev);
        const float riseTriangle = rise(c.triangle, trianglePrev);
        const float edge = riseSaw + riseSquare + riseRevSaw + riseRandom + riseTriangle;
        const bool pressed = quill::truncToInt(edge) != 0;

        // Control smoothing; decay is latched at a press.
        sweepS = quill::smoothStep(pole, sweepS, c.sweepIn);
        decayS = quill::smoothStep(pole, decayS, c.decayIn);
        if (pressed) decayL = decayS;
        depthS = quill::smoothStep(pole, depthS, c.depthIn);

        const float env = envelope(holdNow, releaseNow, attackStep, decayL, clampedRate);

        sweepFilter(sweepS, env, range, tangent, damping);

        // LFO: shape latched at a press, phase restarted by it.
        if (pressed) shape = riseSquare + 2.0f * riseSaw + 3.0f * riseRevSaw + 4.0f * riseRandom;
        speedS = quill::smoothStep(pole, speedS, c.speedIn);
        noise = quill::noiseNext(noise);
        const float q = speedS * invRate + (1.0f - edge) * lfoP;
        float phase = quill::wrapPhase(q);
        // An infinite edge (huge button values) leaves no phase: restart at 0.
        if (!std::isfinite(phase)) phase = 0.0f;
        if (phase < lfoP) noiseH = static_cast<float>(noise) * 4.656613e-10f;
        lfoP = phase;
        const float L = lfo(quill::truncToInt(shape), phase, noiseH);

        // Oscillator: +-depth octaves of LFO, down by up to depth/2 octaves as env falls.
        const float pitchArg = depthS * (L + 0.5f * (env - 1.0f));
        if (bitsOf(pitchArg) != factor.key) factor = {bitsOf(pitchArg), quill::exponentialTwo(pitchArg)};
        const float x = bandLimitedSquare(osc, factor.value, c.pitchInc, c.pitchPeriod);

        const float low = svfLowpass(x, tangent.value, damping, s1, s2);

        const float e = env * low;
        const float y = e / (1.0f + std::fabs(e));
        out0[i] = y;
        out1[i] = y;

        heldPrev = c.anyHeld, holdPrev = holdNow, releasePrev = releaseNow;
        sawPrev = c.saw, squarePrev = c.square, revSawPrev = c.revSaw, randomPrev = c.random;
        trianglePrev = c.triangle;
    }

    // Back into the pairs: after the last shift both elements hold the last sample.
    held[0] = held[1] = heldPrev;
    holdCount[0] = holdCount[1] = holdPrev;
    releaseCount[0] = releaseCount[1] = releasePrev;
    sawButton[0] = sawButton[1] = sawPrev;
    squareButton[0] = squareButton[1] = squarePrev;
    revSawButton[0] = revSawButton[1] = revSawPrev;
    randomButton[0] = randomButton[1] = randomPrev;
    triangleButton[0] = triangleButton[1] = trianglePrev;
    sweepSmooth[0] = sweepSmooth[1] = sweepS;
    decaySmooth[0] = decaySmooth[1] = decayS;
    decayLatched[0] = decayLatched[1] = decayL;
    depthSmooth[0] = depthSmooth[1] = depthS;
    shapeLatched[0] = shapeLatched[1] = shape;
    speedSmooth[0] = speedSmooth[1] = speedS;
    lfoPhase[0] = lfoPhase[1] = lfoP;
    noiseState[0] = noiseState[1] = noise;
    noiseHeld[0] = noiseHeld[1] = noiseH;
    oscPhase[0] = oscPhase[1] = osc;
    filterState1[0] = filterState1[1] = s1;
    filterState2[0] = filterState2[1] = s2;
    sweepRange = range, cutoffTan = tangent, pitchFactor = factor;
    cutoffDamping = damping;
}
