// Helpers for the leveler tests: block-wise runs, a snapshot of every public
// field, and test signals.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "kernels/leveler/leveler.h"

// Feeds `input` through `k` in blocks of `block` samples.
inline std::vector<float> runLeveler(leveler& k, const std::vector<float>& input, int block = 64)
{
    std::vector<float> in = input, out(input.size(), 0.0f);
    for (size_t start = 0; start < in.size(); start += static_cast<size_t>(block)) {
        const size_t n = std::min(in.size() - start, static_cast<size_t>(block));
        float* ins[1] = {in.data() + start};
        float* outs[1] = {out.data() + start};
        k.compute(static_cast<int>(n), ins, outs);
    }
    return out;
}

// Every public field as raw bits, so that NaN and -0 compare exactly.
inline std::vector<uint32_t> snapshot(const leveler& k)
{
    std::vector<uint32_t> s;
    auto put = [&s](float f) {
        uint32_t b;
        std::memcpy(&b, &f, sizeof b);
        s.push_back(b);
    };
    s.push_back(static_cast<uint32_t>(k.sampleRate));
    for (float f : {k.clampedRate, k.piOverRate, k.smoothIn, k.intensity, k.smoothPole, k.intensitySmooth[0],
                    k.intensitySmooth[1], k.bandTan, k.bandCot, k.bandNorm, k.hissCot, k.hissNorm,
                    k.noiseValue[0], k.noiseValue[1], k.hissPole, k.hiss[0], k.hiss[1], k.inputAttack,
                    k.inputAttackIn, k.release, k.inputReleaseStep, k.inputEnvelope[0], k.inputEnvelope[1],
                    k.bandA2, k.bandA1, k.bandState[0], k.bandState[1], k.bandState[2], k.bandSum[0],
                    k.bandSum[1], k.detAttack, k.detAttackIn, k.detReleaseStep, k.detEnvelope[0],
                    k.detEnvelope[1], k.shaped[0], k.shaped[1], k.tone[0], k.tone[1]})
        put(f);
    s.push_back(static_cast<uint32_t>(k.noiseState[0]));
    s.push_back(static_cast<uint32_t>(k.noiseState[1]));
    return s;
}

// amplitude * sin(2 pi f n / rate), n from 0.
inline std::vector<float> sine(float amplitude, double f, int rate, size_t length)
{
    std::vector<float> v(length);
    for (size_t n = 0; n < length; ++n)
        v[n] = amplitude * static_cast<float>(std::sin(2.0 * M_PI * f * static_cast<double>(n) / rate));
    return v;
}
