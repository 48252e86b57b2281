// A tone whose frequency glides exponentially down to 0 Hz, run as the
// plug-in runs the kernel (64-sample blocks, flush-to-zero on): the output,
// scaled by the frequency, fades into silence, and no output sample and no
// state ever holds a subnormal value. Without flush-to-zero the fading
// output passes through the subnormal range, so the check has something to
// catch.
#include <cmath>
#include <optional>

#include <gtest/gtest.h>

#include "adapter/flush_to_zero.h"
#include "kernels/zigzag/zigzag.h"

namespace {

bool subnormal(float x) { return std::fpclassify(x) == FP_SUBNORMAL; }

struct Tail {
    long subnormalOutputs = 0;
    long subnormalStates = 0;
    bool silentAtEnd = false;  // last block all zeros
};

// `toneSeconds` at `frequency`, then `glideSeconds` of a glide that loses
// 0.1 % of the frequency per sample (the frequency itself ends subnormal, then 0).
Tail runTail(zigzag& k, int rate, float frequency, float toneSeconds, float glideSeconds, bool flush)
{
    const long tone = long(toneSeconds * float(rate)), total = tone + long(glideSeconds * float(rate));
    float in[64], out0[64], out1[64];
    float* ins[1] = {in};
    float* outs[2] = {out0, out1};
    Tail t;
    for (long start = 0; start < total; start += 64) {
        for (int i = 0; i < 64; ++i) {
            if (start + i >= tone) frequency *= 0.999f;
            in[i] = frequency;
        }
        {
            std::optional<quill::FlushToZeroScope> ftz;
            if (flush) ftz.emplace();
            k.compute(64, ins, outs);
        }
        bool blockSilent = true;
        for (int i = 0; i < 64; ++i) {
            if (subnormal(out0[i]) || subnormal(out1[i])) ++t.subnormalOutputs;
            if (out0[i] != 0.0f) blockSilent = false;
        }
        t.silentAtEnd = blockSilent;
        for (float s : {k.phase[0], k.phase[1], k.integrator[0], k.integrator[1]})
            if (subnormal(s)) ++t.subnormalStates;
    }
    return t;
}

}  // namespace

TEST(ZigzagSubnormals, AFadingOutputHoldsNoSubnormalValuesWithFlushToZero)
{
    for (int rate : {44100, 192000})
        for (float frequency : {55.0f, 3000.0f}) {
            SCOPED_TRACE(std::to_string(rate) + " Hz, tone at " + std::to_string(frequency));
            zigzag k;
            k.init(rate);
            const Tail t = runTail(k, rate, frequency, 0.3f, 3.0f, true);
            EXPECT_EQ(t.subnormalOutputs, 0);
            EXPECT_EQ(t.subnormalStates, 0);
            EXPECT_TRUE(t.silentAtEnd) << "the output never faded to silence";
        }
}

TEST(ZigzagSubnormals, WithoutFlushToZeroTheFadingOutputPassesThroughSubnormalValues)
{
    zigzag k;
    k.init(44100);
    const Tail t = runTail(k, 44100, 55.0f, 0.3f, 3.0f, false);
    EXPECT_GT(t.subnormalOutputs, 0);
}
