// The leveler's algorithm written out literally, with no clamp of any kind,
// as the reference that the kernel must match bit for bit at 44100 Hz and
// above with intensities in [0, 1].
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <math.h>

struct LiteralLeveler {
    float piOverRate, smoothIn, smoothPole, bandTan, bandCot, bandNorm, hissCot, hissPole, hissNorm;
    float inputAttack, inputAttackIn, release, inputReleaseStep, bandA2, bandA1, detAttack, detAttackIn,
        detReleaseStep;
    float ks[2] = {}, nv[2] = {}, hs[2] = {}, ie[2] = {}, bs[3] = {}, bsum[2] = {}, de[2] = {}, sh[2] = {},
          tn[2] = {};
    int32_t ns[2] = {};

    explicit LiteralLeveler(int rate)
    {
        const float fs = std::min(192000.0f, static_cast<float>(std::max(1, rate)));
        const float u = 1.0f / fs;
        piOverRate = 3.1415927f * u;
        smoothIn = 44.1f * u;
        smoothPole = 1.0f - smoothIn;
        bandTan = tanf(56548.668f * u);
        bandCot = 1.0f / bandTan;
        bandNorm = 1.0f / ((1.4142135f + bandCot) * bandCot + 1.0f);
        hissCot = 1.0f / tanf(25132.742f * u);
        hissPole = 1.0f - hissCot;
        hissNorm = 1.0f / (hissCot + 1.0f);
        inputAttack = expf(-50.0f * u);
        inputAttackIn = 1.0f - inputAttack;
        release = expf(-10.0f * u);
        inputReleaseStep = release - inputAttack;
        bandA2 = (bandCot - 1.4142135f) / bandTan + 1.0f;
        bandA1 = 2.0f - 2.0f / (bandTan * bandTan);
        detAttack = expf(-333.33334f * u);
        detAttackIn = 1.0f - detAttack;
        detReleaseStep = release - detAttack;
    }

    void block(float intensity, const float* x, float* y, int count)
    {
        const float intensityIn = smoothIn * intensity;
        for (int i = 0; i < count; ++i) {
            ks[0] = smoothPole * ks[1] + intensityIn;
            const float k = ks[0];
            const float toneCot = 1.0f / tanf((k * -13000.0f + 20000.0f) * piOverRate);
            ns[0] = static_cast<int32_t>(static_cast<uint32_t>(ns[1]) * 1103515245u + 12345u);
            nv[0] = static_cast<float>(ns[0]);
            hs[0] = hissNorm * ((nv[0] + nv[1]) * 4.656613e-10f - hissPole * hs[1]);
            const float a = fabsf(x[i]);
            ie[0] = inputAttack * ie[1] + inputAttackIn * a + inputReleaseStep * std::max(ie[1] - a, 0.0f);
            const float q =
                floorf(2048.0f * (x[i] + std::min(3164.557f * ie[0], 1.0f) * (hs[0] * 0.00063f)) + 0.5f) *
                0.00048828125f;
            bs[0] = q - bandNorm * (bandA1 * bs[1] + bandA2 * bs[2]);
            bsum[0] = 2.0f * bs[1] + bs[2] + bs[0];
            const float d = fabsf(bandNorm * bsum[1]);
            de[0] = detAttack * de[1] + detAttackIn * d + detReleaseStep * std::max(de[1] - d, 0.0f);
            const float r = std::max(1.0f - k, 0.0001f);
            const float L = 20.0f * log10f(std::max(fabsf(de[0]), 1e-8f));
            const float knee = std::max(std::min(L + 39.0f, 6.0f), 0.0f);
            const float over = std::max(L + 33.0f, 0.0f);
            const float gain = exp10f((knee * knee * 0.083333336f + over) * (0.05f * r - 0.05f));
            const float makeup = exp10f(1.5f - 1.5f * r);
            const float z = makeup * bsum[0] * gain;
            sh[0] = z / (fabsf(z * bandNorm) + 1.0f);
            tn[0] = (bandNorm * (sh[0] + sh[1]) + (toneCot - 1.0f) * tn[1]) / (toneCot + 1.0f);
            y[i] = tn[0];
            ks[1] = ks[0];
            ns[1] = ns[0];
            nv[1] = nv[0];
            hs[1] = hs[0];
            ie[1] = ie[0];
            bs[2] = bs[1];
            bs[1] = bs[0];
            bsum[1] = bsum[0];
            de[1] = de[0];
            sh[1] = sh[0];
            tn[1] = tn[0];
        }
    }
};
