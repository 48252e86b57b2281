// Decaying tails into silence, run as the plug-in runs the kernel (64-sample
// blocks, flush-to-zero on): no output sample and no running state ever holds
// a subnormal value, and the tail ends in true silence once the envelopes
// have shut the hiss gate. Without flush-to-zero the same tail passes through
// the subnormal range, so the check has something to catch.
#include <cmath>
#include <cstdint>
#include <optional>
#include <vector>

#include <gtest/gtest.h>

#include "adapter/flush_to_zero.h"
#include "kernels/leveler/leveler.h"

namespace {

bool subnormal(float x) { return std::fpclassify(x) == FP_SUBNORMAL; }

struct Tail {
    long subnormalOutputs = 0;
    long subnormalStates = 0;
    bool silentAtEnd = false;  // last block all zeros, filters and envelopes all zeros
};

// `loudSeconds` of noise, then `quietSeconds` of zeros.
Tail runTail(leveler& k, int rate, float loudSeconds, float quietSeconds, bool flush)
{
    const long loud = long(loudSeconds * float(rate)), total = loud + long(quietSeconds * float(rate));
    float in[64], out[64];
    float* ins[1] = {in};
    float* outs[1] = {out};
    uint32_t seed = 777u;
    Tail t;
    for (long start = 0; start < total; start += 64) {
        bool blockSilent = true;
        for (int i = 0; i < 64; ++i) {
            seed = seed * 1664525u + 1013904223u;
            in[i] = start + i < loud ? float(int32_t(seed)) * 4.656613e-10f * 0.7f : 0.0f;
        }
        {
            std::optional<quill::FlushToZeroScope> ftz;
            if (flush) ftz.emplace();
            k.compute(64, ins, outs);
        }
        for (int i = 0; i < 64; ++i) {
            if (subnormal(out[i])) ++t.subnormalOutputs;
            if (out[i] != 0.0f) blockSilent = false;
        }
        const float states[] = {k.intensitySmooth[0], k.intensitySmooth[1], k.hiss[0],        k.hiss[1],
                                k.inputEnvelope[0],   k.inputEnvelope[1],   k.bandState[0],   k.bandState[1],
                                k.bandState[2],       k.bandSum[0],         k.bandSum[1],     k.detEnvelope[0],
                                k.detEnvelope[1],     k.shaped[0],          k.shaped[1],      k.tone[0],
                                k.tone[1]};
        bool settled = true;
        for (float s : states) {
            if (subnormal(s)) ++t.subnormalStates;
            if (&s >= &states[2] && s != 0.0f) settled = false;  // all but the intensity smoother
        }
        t.silentAtEnd = blockSilent && settled;
    }
    return t;
}

}  // namespace

TEST(LevelerSubnormals, TailsIntoSilenceHoldNoSubnormalValuesWithFlushToZero)
{
    for (int rate : {44100, 192000})
        for (float intensity : {0.0f, 0.3f, 1.0f}) {
            SCOPED_TRACE(std::to_string(rate) + " Hz, intensity " + std::to_string(intensity));
            leveler k;
            k.init(rate);
            k.intensity = intensity;
            const Tail t = runTail(k, rate, 0.5f, 12.0f, true);  // the gate needs about 9 s
            EXPECT_EQ(t.subnormalOutputs, 0);
            EXPECT_EQ(t.subnormalStates, 0);
            EXPECT_TRUE(t.silentAtEnd) << "the tail never reached silence";
        }
}

TEST(LevelerSubnormals, WithoutFlushToZeroTheSameTailPassesThroughSubnormalValues)
{
    leveler k;
    k.init(44100);
    k.intensity = 0.3f;
    const Tail t = runTail(k, 44100, 0.5f, 12.0f, false);
    EXPECT_GT(t.subnormalOutputs + t.subnormalStates, 0);
}
