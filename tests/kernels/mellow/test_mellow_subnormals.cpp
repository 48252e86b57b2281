// Decaying tails into silence, run as the plug-in runs the kernel (64-sample
// blocks, flush-to-zero on): no output sample and no running state ever holds
// a subnormal value, and the output ends in true silence (a ringing filter's
// delay line may keep a tiny normal value for good, which costs nothing
// extra and is inaudible). Without flush-to-zero
// the same tail passes through the subnormal range, so the check has
// something to catch.
#include <cmath>
#include <cstdint>
#include <optional>
#include <vector>

#include <gtest/gtest.h>

#include "adapter/flush_to_zero.h"
#include "kernels/mellow/mellow.h"

namespace {

bool subnormal(float x) { return std::fpclassify(x) == FP_SUBNORMAL; }

struct Tail {
    long subnormalOutputs = 0;
    long subnormalStates = 0;
    bool silentAtEnd = false;  // last block all zeros
};

// `loudSeconds` of noise, then `quietSeconds` of zeros.
Tail runTail(mellow& k, int rate, float loudSeconds, float quietSeconds, bool flush)
{
    const long loud = long(loudSeconds * float(rate)), total = loud + long(quietSeconds * float(rate));
    float in[64], out0[64], out1[64];
    float* ins[1] = {in};
    float* outs[2] = {out0, out1};
    uint32_t seed = 12345u;
    Tail t;
    for (long start = 0; start < total; start += 64) {
        bool blockSilent = true;
        for (int i = 0; i < 64; ++i) {
            seed = seed * 1664525u + 1013904223u;
            in[i] = start + i < loud ? float(int32_t(seed)) * 4.656613e-10f * 0.8f : 0.0f;
        }
        {
            std::optional<quill::FlushToZeroScope> ftz;
            if (flush) ftz.emplace();
            k.compute(64, ins, outs);
        }
        for (int i = 0; i < 64; ++i) {
            if (subnormal(out0[i]) || subnormal(out1[i])) ++t.subnormalOutputs;
            if (out0[i] != 0.0f) blockSilent = false;
        }
        for (float s : {k.lowpassState[0], k.lowpassState[1], k.lowpassState[2], k.cutoffSmooth[0],
                        k.cutoffSmooth[1], k.resonanceQSmooth[0], k.resonanceQSmooth[1]})
            if (subnormal(s)) ++t.subnormalStates;
        t.silentAtEnd = blockSilent;
    }
    return t;
}

}  // namespace

// Slow and fast tails, damped and ringing (at 20 Hz and Q 15 the tail takes
// about 21 s to fall below the smallest normal float).
TEST(MellowSubnormals, TailsIntoSilenceHoldNoSubnormalValuesWithFlushToZero)
{
    for (int rate : {44100, 192000})
        for (float cutoff : {20.0f, 1000.0f, 20000.0f})
            for (float q : {0.5f, 15.0f}) {
                SCOPED_TRACE(std::to_string(rate) + " Hz, cutoff " + std::to_string(cutoff) + ", Q " +
                             std::to_string(q));
                mellow k;
                k.init(rate);
                k.cutoff = cutoff;
                k.resonanceQ = q;
                const Tail t = runTail(k, rate, 0.25f, cutoff < 100.0f && q > 1.0f ? 30.0f : 5.0f, true);
                EXPECT_EQ(t.subnormalOutputs, 0);
                EXPECT_EQ(t.subnormalStates, 0);
                EXPECT_TRUE(t.silentAtEnd) << "the tail never reached silence";
            }
}

TEST(MellowSubnormals, WithoutFlushToZeroTheSameTailPassesThroughSubnormalValues)
{
    mellow k;
    k.init(44100);
    k.cutoff = 1000.0f;
    k.resonanceQ = 0.5f;
    const Tail t = runTail(k, 44100, 0.25f, 5.0f, false);
    EXPECT_GT(t.subnormalOutputs + t.subnormalStates, 0);
}
