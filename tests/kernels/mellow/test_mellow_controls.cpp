// The values a block gives the filter: clamped to the declared ranges and
// below half the rate, non-finite ones replaced, and every output finite.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "tests/kernels/mellow/mellow_run.h"

namespace {

const float kNaN = std::numeric_limits<float>::quiet_NaN();
const float kInf = std::numeric_limits<float>::infinity();

// Output of a fresh kernel at `rate` with the given control values.
std::vector<float> filtered(int rate, float cutoff, float q, const std::vector<float>& in)
{
    mellow k;
    k.init(rate);
    k.cutoff = cutoff;
    k.resonanceQ = q;
    return runMellow(k, in).out0;
}

}  // namespace

TEST(MellowClamp, ControlsOutsideTheirRangesActAsTheNearestEnd)
{
    const std::vector<float> in = noise(4096);
    EXPECT_EQ(filtered(48000, 1e9f, 1.0f, in), filtered(48000, 20000.0f, 1.0f, in));
    EXPECT_EQ(filtered(48000, -5.0f, 1.0f, in), filtered(48000, 20.0f, 1.0f, in));
    EXPECT_EQ(filtered(48000, 0.0f, 1.0f, in), filtered(48000, 20.0f, 1.0f, in));
    EXPECT_EQ(filtered(48000, 1000.0f, 0.0f, in), filtered(48000, 1000.0f, 0.5f, in));
    EXPECT_EQ(filtered(48000, 1000.0f, -1.0f, in), filtered(48000, 1000.0f, 0.5f, in));
    EXPECT_EQ(filtered(48000, 1000.0f, 100.0f, in), filtered(48000, 1000.0f, 15.0f, in));
    EXPECT_EQ(filtered(48000, kInf, 1.0f, in), filtered(48000, 2000.0f, 1.0f, in));  // not finite: ignored
    // The cells themselves keep what was stored.
    mellow k;
    k.init(48000);
    k.cutoff = 1e9f;
    k.resonanceQ = -1.0f;
    runMellow(k, in);
    EXPECT_EQ(k.cutoff, 1e9f);
    EXPECT_EQ(k.resonanceQ, -1.0f);
}

TEST(MellowClamp, CutoffStaysBelowHalfTheRate)
{
    const std::vector<float> in = noise(4096, 3);
    // 0.49 of the rate: 3920 Hz at 8000 Hz.
    const std::vector<float> ceiling = filtered(8000, 0.49f * 8000.0f, 2.0f, in);
    EXPECT_EQ(filtered(8000, 4000.0f, 2.0f, in), ceiling);
    EXPECT_EQ(filtered(8000, 20000.0f, 2.0f, in), ceiling);
    EXPECT_NE(filtered(8000, 3900.0f, 2.0f, in), ceiling);
    // At 44100 Hz the whole declared range is below the ceiling.
    EXPECT_NE(filtered(44100, 20000.0f, 2.0f, in), filtered(44100, 19999.0f, 2.0f, in));
}

TEST(MellowClamp, NonFiniteControlsFallBackToTheLastGoodValue)
{
    const std::vector<float> in = noise(64 * 10, 5);
    const std::vector<float> first(in.begin(), in.begin() + 320), second(in.begin() + 320, in.end());
    // Straight after init: the defaults.
    EXPECT_EQ(filtered(48000, kNaN, kNaN, in), filtered(48000, 2000.0f, 1.0f, in));
    // Later: the last finite value read.
    mellow a, b;
    a.init(48000);
    b.init(48000);
    a.cutoff = b.cutoff = 500.0f;
    a.resonanceQ = b.resonanceQ = 7.0f;
    runMellow(a, first);
    runMellow(b, first);
    b.cutoff = kNaN;
    b.resonanceQ = -kInf;
    EXPECT_EQ(runMellow(a, second).out0, runMellow(b, second).out0);
    // init restores the defaults as the fallback.
    b.init(48000);
    b.cutoff = kNaN;
    b.resonanceQ = kNaN;
    EXPECT_EQ(runMellow(b, in).out0, filtered(48000, 2000.0f, 1.0f, in));
}

TEST(MellowRobustness, EveryOutputFiniteForAnyControlsAndRates)
{
    std::vector<float> in = noise(64 * 40, 11);
    for (size_t i = 0; i < in.size(); ++i)
        if (i % 97 == 0) in[i] = (i % 2) ? 1e6f : -1e6f;
    const float cutoffs[] = {0.0f, -5.0f, 1e9f, kNaN, 20.0f, 20000.0f, 2000.0f};
    const float qs[] = {0.0f, -1.0f, kNaN, 0.5f, 15.0f, 1e9f};
    for (int rate : {1, 2, 22, 30, 44, 100, 8000, 44100, 192000, 500000}) {
        for (float c : cutoffs) {
            for (float q : qs) {
                mellow k;
                k.init(rate);
                k.cutoff = c;
                k.resonanceQ = q;
                MellowRun r = runMellow(k, in);
                for (size_t i = 0; i < in.size(); ++i)
                    ASSERT_TRUE(std::isfinite(r.out0[i])) << rate << " " << c << " " << q << " " << i;
            }
        }
    }
}

TEST(MellowRobustness, LowRatesStillPassDirectCurrent)
{
    // Cutoff held below half the rate and smoothers that follow at once
    // below 44.1 Hz: still a working lowpass with gain 1 at 0 Hz.
    for (int rate : {1, 22, 30, 44, 100, 8000}) {
        for (float q : {1.0f, 15.0f}) {
            mellow k;
            k.init(rate);
            k.resonanceQ = q;
            MellowRun r = runMellow(k, std::vector<float>(25600, 0.5f));
            EXPECT_NEAR(r.out0.back(), 0.5f, 1e-5f) << rate << " " << q;
        }
    }
}

TEST(MellowRobustness, RecoversFromNonFiniteInput)
{
    for (float bad : {kNaN, kInf, -kInf}) {
        mellow k;
        k.init(44100);
        std::vector<float> in = noise(64 * 6, 2);
        in[64 + 5] = bad;
        MellowRun r = runMellow(k, in);
        EXPECT_FALSE(std::isfinite(r.out0[64 + 5]));
        for (size_t i = 128; i < in.size(); ++i) ASSERT_TRUE(std::isfinite(r.out0[i])) << bad << " " << i;
    }
}

// A finite but absurd sample at a low, sharp resonance: the delay line must
// not carry it on until it rings up past the float range blocks later.
TEST(MellowRobustness, HugeFiniteSampleDoesNotRingUpToInfinity)
{
    for (int block : {64, 1}) {
        mellow k;
        k.init(48000);
        k.cutoff = 20.0f;
        k.resonanceQ = 15.0f;
        std::vector<float> in(48000, 0.0f);  // the smoothers settle
        const std::vector<float> tail = noise(64 * 40, 5);
        in.insert(in.end(), tail.begin(), tail.end());
        in[48000 + 64 * 2 + 7] = 1e30f;
        MellowRun r = runMellow(k, in, block);
        const size_t firstCleanBlock = 48000 + 64 * 3;
        for (size_t i = firstCleanBlock + static_cast<size_t>(block); i < in.size(); ++i)
            ASSERT_TRUE(std::isfinite(r.out0[i])) << "block " << block << " sample " << i;
    }
}
