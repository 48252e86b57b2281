// A released note dying away while the depth and sweep controls are turned
// down to 0, run as the plug-in runs the kernel (64-sample blocks,
// flush-to-zero on): no output sample and no state ever holds a subnormal
// value, and the output ends in silence. Without flush-to-zero the control
// smoothers' glide to 0 passes through the subnormal range, so the check has
// something to catch.
#include <cmath>
#include <optional>

#include <gtest/gtest.h>

#include "adapter/flush_to_zero.h"
#include "kernels/klaxon/klaxon.h"

namespace {

bool subnormal(float x) { return std::fpclassify(x) == FP_SUBNORMAL; }

struct Tail {
    long subnormalOutputs = 0;
    long subnormalStates = 0;
    bool silentAtEnd = false;  // last block all zeros
};

// A note held for `heldSeconds`, then released for `releasedSeconds` with
// depth and sweep at 0.
Tail runTail(klaxon& k, int rate, float heldSeconds, float releasedSeconds, bool flush)
{
    const long held = long(heldSeconds * float(rate)), total = held + long(releasedSeconds * float(rate));
    float out0[64], out1[64];
    float* outs[2] = {out0, out1};
    Tail t;
    for (long start = 0; start < total; start += 64) {
        k.triggerSaw = start < held ? 1.0f : 0.0f;
        if (start >= held) k.depth = k.sweep = 0.0f;
        {
            std::optional<quill::FlushToZeroScope> ftz;
            if (flush) ftz.emplace();
            k.compute(64, nullptr, outs);
        }
        bool blockSilent = true;
        for (int i = 0; i < 64; ++i) {
            if (subnormal(out0[i]) || subnormal(out1[i])) ++t.subnormalOutputs;
            if (out0[i] != 0.0f) blockSilent = false;
        }
        for (float s : {k.filterState1[0], k.filterState1[1], k.filterState2[0], k.filterState2[1],
                        k.sweepSmooth[0], k.decaySmooth[0], k.depthSmooth[0], k.speedSmooth[0]})
            if (subnormal(s)) ++t.subnormalStates;
        t.silentAtEnd = blockSilent;
    }
    return t;
}

}  // namespace

TEST(KlaxonSubnormals, ReleasedNotesHoldNoSubnormalValuesWithFlushToZero)
{
    for (int rate : {44100, 192000})
        for (float decay : {0.05f, 3.0f}) {
            SCOPED_TRACE(std::to_string(rate) + " Hz, decay " + std::to_string(decay));
            klaxon k;
            k.init(rate);
            k.decay = decay;
            const Tail t = runTail(k, rate, 0.5f, 10.0f, true);
            EXPECT_EQ(t.subnormalOutputs, 0);
            EXPECT_EQ(t.subnormalStates, 0);
            EXPECT_TRUE(t.silentAtEnd) << "the tail never reached silence";
        }
}

TEST(KlaxonSubnormals, WithoutFlushToZeroTheSmoothersPassThroughSubnormalValues)
{
    klaxon k;
    k.init(44100);
    k.decay = 0.05f;
    const Tail t = runTail(k, 44100, 0.5f, 10.0f, false);
    EXPECT_GT(t.subnormalOutputs + t.subnormalStates, 0);
}
