// The leveler's algorithm written out step by step, one pair per running
// value and every pair shifted at the end of each sample. It is the oracle of
// the kernel tests and the baseline of the benchmarks: plain, no caching,
// four maths calls per sample.
//
// By default nothing is clamped. With `guarded` set it applies the kernel's
// own safety rules as well (intensity clamped to [0, 1] with the last good
// value standing in for a non-finite one, the smoothing weight held at 1,
// every cutoff angle capped at 0.46 pi, and the input-fed state cleared at
// the end of a block that left it non-finite).
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <math.h>
#include "kernels/common/maths/maths.h"

struct literal_leveler {
    bool guarded = false;        // apply the kernel's safety rules
    float goodIntensity = 0.3f;  // guarded only

    // Constants and the control, named after the kernel's fields.
    int32_t sampleRate = 0;
    float intensity = 0.3f;
    float clampedRate = 0, piOverRate = 0, smoothIn = 0, smoothPole = 0, bandTan = 0, bandCot = 0, bandNorm = 0;
    float hissCot = 0, hissPole = 0, hissNorm = 0, inputAttack = 0, inputAttackIn = 0, release = 0;
    float inputReleaseStep = 0, bandA2 = 0, bandA1 = 0, detAttack = 0, detAttackIn = 0, detReleaseStep = 0;

    // Running state: [0] this sample, [1] the previous one (bandState[2] two back).
    float intensitySmooth[2] = {}, noiseValue[2] = {}, hiss[2] = {}, inputEnvelope[2] = {}, bandState[3] = {},
          bandSum[2] = {}, detEnvelope[2] = {}, shaped[2] = {}, tone[2] = {};
    int32_t noiseState[2] = {};

    static constexpr float kMaxAngle = 1.4451326f;  // 0.46 pi

    float angle(float a) const { return guarded ? std::min(a, kMaxAngle) : a; }

    void init(int rate)
    {
        instanceConstants(rate);
        intensity = goodIntensity = 0.3f;
        instanceClear();
    }

    void instanceClear()
    {
        intensitySmooth[0] = intensitySmooth[1] = 0.0f;
        noiseState[0] = noiseState[1] = 0;
        noiseValue[0] = noiseValue[1] = 0.0f;
        hiss[0] = hiss[1] = 0.0f;
        clearInputState();
    }

    void instanceConstants(int rate)
    {
        sampleRate = rate;
        const float fs = std::min(1536000.0f, static_cast<float>(std::max(1, rate)));
        clampedRate = fs;
        const float u = 1.0f / fs;
        piOverRate = 3.1415927f * u;
        smoothIn = 44.1f * u;
        if (guarded && smoothIn > 1.0f) smoothIn = 1.0f;
        smoothPole = 1.0f - smoothIn;
        bandTan = quill::tangent(angle(56548.668f * u));
        bandCot = 1.0f / bandTan;
        bandNorm = 1.0f / ((1.4142135f + bandCot) * bandCot + 1.0f);
        hissCot = 1.0f / quill::tangent(angle(25132.742f * u));
        hissPole = 1.0f - hissCot;
        hissNorm = 1.0f / (hissCot + 1.0f);
        inputAttack = quill::exponentialE(-50.0f * u);
        inputAttackIn = 1.0f - inputAttack;
        release = quill::exponentialE(-10.0f * u);
        inputReleaseStep = release - inputAttack;
        bandA2 = (bandCot - 1.4142135f) / bandTan + 1.0f;
        bandA1 = 2.0f - 2.0f / (bandTan * bandTan);
        detAttack = quill::exponentialE(-333.33334f * u);
        detAttackIn = 1.0f - detAttack;
        detReleaseStep = release - detAttack;
    }

    void compute(int count, float** inputs, float** outputs)
    {
        if (count <= 0) return;
        float value = intensity;
        if (guarded) {
            if (std::isfinite(value)) goodIntensity = std::min(std::max(value, 0.0f), 1.0f);
            value = goodIntensity;
        }
        const float intensityIn = smoothIn * value;
        const float* x = inputs[0];
        float* y = outputs[0];
        for (int i = 0; i < count; ++i) {
            intensitySmooth[0] = smoothPole * intensitySmooth[1] + intensityIn;
            const float k = intensitySmooth[0];
            const float toneCot = 1.0f / quill::tangent(angle((k * -13000.0f + 20000.0f) * piOverRate));
            noiseState[0] = static_cast<int32_t>(static_cast<uint32_t>(noiseState[1]) * 1103515245u + 12345u);
            noiseValue[0] = static_cast<float>(noiseState[0]);
            hiss[0] = hissNorm * ((noiseValue[0] + noiseValue[1]) * 4.656613e-10f - hissPole * hiss[1]);
            const float a = fabsf(x[i]);
            inputEnvelope[0] = inputAttack * inputEnvelope[1] + inputAttackIn * a +
                               inputReleaseStep * std::max(inputEnvelope[1] - a, 0.0f);
            const float q =
                floorf(2048.0f * (x[i] + std::min(3164.557f * inputEnvelope[0], 1.0f) * (hiss[0] * 0.00063f)) +
                       0.5f) *
                0.00048828125f;
            bandState[0] = q - bandNorm * (bandA1 * bandState[1] + bandA2 * bandState[2]);
            bandSum[0] = 2.0f * bandState[1] + bandState[2] + bandState[0];
            const float d = fabsf(bandNorm * bandSum[1]);
            detEnvelope[0] =
                detAttack * detEnvelope[1] + detAttackIn * d + detReleaseStep * std::max(detEnvelope[1] - d, 0.0f);
            const float r = std::max(1.0f - k, 0.0001f);
            const float L = 20.0f * quill::decimalLog(std::max(fabsf(detEnvelope[0]), 1e-8f));
            const float knee = std::max(std::min(L + 39.0f, 6.0f), 0.0f);
            const float over = std::max(L + 33.0f, 0.0f);
            const float gain = quill::exponentialTen((knee * knee * 0.083333336f + over) * (0.05f * r - 0.05f));
            const float makeup = quill::exponentialTen(1.5f - 1.5f * r);
            const float z = makeup * bandSum[0] * gain;
            shaped[0] = z / (fabsf(z * bandNorm) + 1.0f);
            tone[0] = (bandNorm * (shaped[0] + shaped[1]) + (toneCot - 1.0f) * tone[1]) / (toneCot + 1.0f);
            y[i] = tone[0];
            intensitySmooth[1] = intensitySmooth[0];
            noiseState[1] = noiseState[0];
            noiseValue[1] = noiseValue[0];
            hiss[1] = hiss[0];
            inputEnvelope[1] = inputEnvelope[0];
            bandState[2] = bandState[1];
            bandState[1] = bandState[0];
            bandSum[1] = bandSum[0];
            detEnvelope[1] = detEnvelope[0];
            shaped[1] = shaped[0];
            tone[1] = tone[0];
        }
        if (guarded && !inputStateFinite()) clearInputState();
    }

    bool inputStateFinite() const
    {
        for (float v : {inputEnvelope[1], bandState[1], bandState[2], bandSum[1], detEnvelope[1], shaped[1], tone[1]})
            if (!(std::fabs(v) <= 1e20f)) return false;  // finite and sane
        return true;
    }

    void clearInputState()
    {
        inputEnvelope[0] = inputEnvelope[1] = 0.0f;
        bandState[0] = bandState[1] = bandState[2] = 0.0f;
        bandSum[0] = bandSum[1] = 0.0f;
        detEnvelope[0] = detEnvelope[1] = 0.0f;
        shaped[0] = shaped[1] = 0.0f;
        tone[0] = tone[1] = 0.0f;
    }
};

// The older face of the same model, as the kernel tests use it: built at a
// rate, the intensity given with each block.
struct LiteralLeveler {
    literal_leveler model;

    explicit LiteralLeveler(int rate, bool guarded = false)
    {
        model.guarded = guarded;
        model.init(rate);
    }

    void block(float intensity, const float* x, float* y, int count)
    {
        model.intensity = intensity;
        float* ins[1] = {const_cast<float*>(x)};
        float* outs[1] = {y};
        model.compute(count, ins, outs);
    }
};
