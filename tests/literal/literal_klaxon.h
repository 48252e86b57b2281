// The siren written out step by step, exactly as described, one pair per
// running value and every pair shifted at the end of each sample. It is the
// oracle of the kernel tests and the baseline of the benchmarks: plain, no
// caching, five maths calls per sample.
//
// Fields carry the kernel's names, so that tests can compare them one by
// one. By default nothing is clamped. With `guarded` set it applies the kernel's
// own safety rules as well (sliders clamped to their ranges, non-finite
// controls replaced by the last good value, the smoothing weight held at 1,
// the cutoff kept below 0.45 of the rate, saturating counters, an infinite
// LFO phase restarted at 0), so that it can follow the kernel anywhere.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <math.h>

#include "kernels/common/float_to_int.h"
#include "kernels/common/maths/maths.h"

struct literal_klaxon {
    bool guarded = false;  // apply the kernel's safety rules

    // Constants.
    int32_t sampleRate = 0;
    float clampedRate = 0, invRate = 0, piOverRate = 0, smoothIn = 0, smoothPole = 0, attackStep = 0;
    float maxCutoff = 0;  // guarded only

    // Controls, as the cells hold them.
    float sweep = 0, decay = 0, pitch = 0, depth = 0, speed = 0;
    float triggerRandom = 0, triggerRevSaw = 0, triggerSaw = 0, triggerTriangle = 0, triggerSquare = 0;

    // Running state: [0] this sample, [1] the previous one.
    float sweepSmooth[2] = {}, randomButton[2] = {}, revSawButton[2] = {}, sawButton[2] = {};
    float triangleButton[2] = {}, squareButton[2] = {};
    int32_t held[2] = {}, holdCount[2] = {}, releaseCount[2] = {};
    float decaySmooth[2] = {}, decayLatched[2] = {}, depthSmooth[2] = {}, shapeLatched[2] = {};
    float speedSmooth[2] = {}, lfoPhase[2] = {};
    int32_t noiseState[2] = {};
    float noiseHeld[2] = {}, oscPhase[2] = {}, filterState1[2] = {}, filterState2[2] = {};

    // Last good control values (guarded only).
    float goodSweep = 0, goodDecay = 0, goodPitch = 0, goodDepth = 0, goodSpeed = 0;
    float goodRandom = 0, goodRevSaw = 0, goodSaw = 0, goodTriangle = 0, goodSquare = 0;

    void init(int rate)
    {
        instanceConstants(rate);
        instanceResetUserInterface();
        instanceClear();
    }

    void instanceConstants(int rate)
    {
        sampleRate = rate;
        clampedRate = std::min(1536000.0f, std::max(1.0f, static_cast<float>(rate)));
        invRate = 1.0f / clampedRate;
        piOverRate = invRate * 3.1415927f;
        smoothIn = invRate * 44.1f;
        if (guarded && smoothIn > 1.0f) smoothIn = 1.0f;
        smoothPole = 1.0f - smoothIn;
        attackStep = clampedRate > 999.99994f ? 999.99994f / clampedRate : 1.0f;
        maxCutoff = 0.45f * clampedRate;
    }

    void instanceResetUserInterface()
    {
        sweep = goodSweep = 0.5f;
        decay = goodDecay = 0.4f;
        pitch = goodPitch = 220.0f;
        depth = goodDepth = 0.2f;
        speed = goodSpeed = 4.0f;
        triggerRandom = triggerRevSaw = triggerSaw = triggerTriangle = triggerSquare = 0.0f;
        goodRandom = goodRevSaw = goodSaw = goodTriangle = goodSquare = 0.0f;
    }

    void instanceClear()
    {
        for (int j = 0; j < 2; ++j) {
            sweepSmooth[j] = randomButton[j] = revSawButton[j] = sawButton[j] = 0.0f;
            triangleButton[j] = squareButton[j] = 0.0f;
            held[j] = holdCount[j] = releaseCount[j] = noiseState[j] = 0;
            decaySmooth[j] = decayLatched[j] = depthSmooth[j] = shapeLatched[j] = 0.0f;
            speedSmooth[j] = lfoPhase[j] = noiseHeld[j] = oscPhase[j] = 0.0f;
            filterState1[j] = filterState2[j] = 0.0f;
        }
    }

    static float blep(float x, float dt, float period, float m)
    {
        if (x > 1.0f - dt) {
            const float v = (x - 1.0f) * period / m;
            return v * v + 2.0f * v + 1.0f;
        }
        if (x < dt) {
            const float u = x * period / m;
            return 2.0f * u - u * u - 1.0f;
        }
        return 0.0f;
    }

    float slider(float cell, float lo, float hi, float& good) const
    {
        if (!guarded) return cell;
        if (std::isfinite(cell)) good = std::min(hi, std::max(lo, cell));
        return good;
    }

    float button(float cell, float& good) const
    {
        if (!guarded) return cell;
        if (std::isfinite(cell)) good = cell;
        return good;
    }

    // count + step, stopping at INT32_MAX when guarded.
    int32_t countUp(int32_t count, int32_t step) const
    {
        if (guarded && count > INT32_MAX - step) return INT32_MAX;
        return count + step;
    }

    void compute(int count, float** /*inputs*/, float** outputs)
    {
        if (count <= 0) return;
        // Once per block.
        const float sweepV = slider(sweep, 0.0f, 1.0f, goodSweep);
        const float decayV = slider(decay, 0.05f, 3.0f, goodDecay);
        const float depthV = slider(depth, 0.0f, 1.0f, goodDepth);
        const float speedV = slider(speed, 0.1f, 20.0f, goodSpeed);
        const float pitchV = slider(pitch, 20.0f, 2000.0f, goodPitch);
        const float randomV = button(triggerRandom, goodRandom), revSawV = button(triggerRevSaw, goodRevSaw);
        const float sawV = button(triggerSaw, goodSaw), triangleV = button(triggerTriangle, goodTriangle);
        const float squareV = button(triggerSquare, goodSquare);
        const float sweepIn = smoothIn * sweepV, decayIn = smoothIn * decayV;
        const float depthIn = smoothIn * depthV, speedIn = smoothIn * speedV;
        const float pitchInc = invRate * pitchV, pitchPeriod = clampedRate / pitchV;
        const float total = randomV + revSawV + sawV + triangleV + squareV;
        const int32_t anyHeld = total > 0.0f ? 1 : 0, noneHeld = total <= 0.0f ? 1 : 0;

        for (int i = 0; i < count; ++i) {
            // Trigger bookkeeping.
            held[0] = anyHeld;
            holdCount[0] = anyHeld > held[1] ? anyHeld : countUp(holdCount[1], anyHeld);
            releaseCount[0] = noneHeld * countUp(releaseCount[1], 1);
            sawButton[0] = sawV, squareButton[0] = squareV, revSawButton[0] = revSawV;
            randomButton[0] = randomV, triangleButton[0] = triangleV;
            const float riseSaw = std::max(0.0f, sawV - sawButton[1]);
            const float riseSquare = std::max(0.0f, squareV - squareButton[1]);
            const float riseRevSaw = std::max(0.0f, revSawV - revSawButton[1]);
            const float riseRandom = std::max(0.0f, randomV - randomButton[1]);
            const float riseTriangle = std::max(0.0f, triangleV - triangleButton[1]);
            const float edge = riseSaw + riseSquare + riseRevSaw + riseRandom + riseTriangle;
            const bool pressed = quill::truncToInt(edge) != 0;

            // Smoothers and latches.
            sweepSmooth[0] = smoothPole * sweepSmooth[1] + sweepIn;
            decaySmooth[0] = smoothPole * decaySmooth[1] + decayIn;
            decayLatched[0] = pressed ? decaySmooth[0] : decayLatched[1];
            depthSmooth[0] = smoothPole * depthSmooth[1] + depthIn;

            // Envelope.
            const float env = std::max(0.0f, std::min(1.0f, static_cast<float>(holdCount[0]) * attackStep) -
                                                 static_cast<float>(releaseCount[0]) /
                                                     std::max(1.0f, decayLatched[0] * clampedRate));

            // Filter coefficient.
            float fc = 20.0f + 60.0f * env * quill::exponentialE(4.6051702f * sweepSmooth[0]);
            if (guarded) fc = std::min(fc, maxCutoff);
            const float g = quill::tangent(piOverRate * fc);

            // LFO.
            shapeLatched[0] =
                pressed ? riseSquare + 2.0f * riseSaw + 3.0f * riseRevSaw + 4.0f * riseRandom : shapeLatched[1];
            speedSmooth[0] = smoothPole * speedSmooth[1] + speedIn;
            noiseState[0] = static_cast<int32_t>(static_cast<uint32_t>(noiseState[1]) * 1103515245u + 12345u);
            const float q = speedSmooth[0] * invRate + (1.0f - edge) * lfoPhase[1];
            lfoPhase[0] = q - floorf(q);
            if (guarded && !std::isfinite(lfoPhase[0])) lfoPhase[0] = 0.0f;
            noiseHeld[0] =
                lfoPhase[0] < lfoPhase[1] ? static_cast<float>(noiseState[0]) * 4.656613e-10f : noiseHeld[1];
            const int32_t shape = quill::truncToInt(shapeLatched[0]);
            float L;
            if (shape <= 0) L = 4.0f * fabsf(lfoPhase[0] - 0.5f) - 1.0f;
            else if (shape == 1) L = lfoPhase[0] < 0.5f ? 1.0f : -1.0f;
            else if (shape == 2) L = 2.0f * lfoPhase[0] - 1.0f;
            else if (shape == 3) L = 1.0f - 2.0f * lfoPhase[0];
            else L = noiseHeld[0];

            // Oscillator.
            const float m = quill::exponentialTwo(depthSmooth[0] * (L + 0.5f * (env - 1.0f)));
            const float dt = pitchInc * m;
            float p = oscPhase[1] + dt;
            p = p - floorf(p);
            oscPhase[0] = p;
            const float h = fmodf(fmodf(p + 0.5f, 1.0f) + 1.0f, 1.0f);
            const float s = static_cast<float>(2 * static_cast<int64_t>(quill::truncToInt(2.0f * p)) - 1);
            const float x = s + blep(h, dt, pitchPeriod, m) - blep(p, dt, pitchPeriod, m);

            // Filter.
            const float d = 1.0f / (1.0f + g * (g + 1.0f));
            const float a = filterState1[1] + g * (x - filterState2[1]);
            const float band = a * d;
            const float low = filterState2[1] + g * band;
            filterState1[0] = 2.0f * band - filterState1[1];
            filterState2[0] = 2.0f * low - filterState2[1];

            // Output.
            const float e = env * low;
            outputs[0][i] = outputs[1][i] = e / (1.0f + fabsf(e));

            // Shift.
            sweepSmooth[1] = sweepSmooth[0], randomButton[1] = randomButton[0];
            revSawButton[1] = revSawButton[0], sawButton[1] = sawButton[0];
            triangleButton[1] = triangleButton[0], squareButton[1] = squareButton[0];
            held[1] = held[0], holdCount[1] = holdCount[0], releaseCount[1] = releaseCount[0];
            decaySmooth[1] = decaySmooth[0], decayLatched[1] = decayLatched[0];
            depthSmooth[1] = depthSmooth[0], shapeLatched[1] = shapeLatched[0];
            speedSmooth[1] = speedSmooth[0], lfoPhase[1] = lfoPhase[0];
            noiseState[1] = noiseState[0], noiseHeld[1] = noiseHeld[0], oscPhase[1] = oscPhase[0];
            filterState1[1] = filterState1[0], filterState2[1] = filterState2[0];
        }
    }
};

// The older face of the same model, as the kernel tests use it: built at a
// rate, buttons named by shape, one output.
struct LiteralKlaxon {
    float sweep = 0.5f, decay = 0.4f, pitch = 220.0f, depth = 0.2f, speed = 4.0f;
    float random = 0.0f, revSaw = 0.0f, saw = 0.0f, triangle = 0.0f, square = 0.0f;
    literal_klaxon model;

    explicit LiteralKlaxon(int rate, bool guarded = false)
    {
        model.guarded = guarded;
        model.init(rate);
    }

    void block(int count, float* out)
    {
        model.sweep = sweep, model.decay = decay, model.pitch = pitch, model.depth = depth, model.speed = speed;
        model.triggerRandom = random, model.triggerRevSaw = revSaw, model.triggerSaw = saw;
        model.triggerTriangle = triangle, model.triggerSquare = square;
        float* outs[2] = {out, out};
        model.compute(count, nullptr, outs);
    }
};
