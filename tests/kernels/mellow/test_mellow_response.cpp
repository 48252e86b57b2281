// What the filter does to a signal: gain at 0 Hz, at the cutoff and at half
// the rate, its gentle opening after init, and when a new control value lands.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "tests/kernels/mellow/mellow_run.h"
#include "kernels/common/maths/maths.h"

namespace {
constexpr double kPi = 3.14159265358979323846;
}  // namespace

TEST(MellowResponse, UnityGainAtZeroHertz)
{
    mellow k;
    k.init(48000);
    MellowRun r = runMellow(k, std::vector<float>(48000, 1.0f));
    EXPECT_NEAR(r.out0.back(), 1.0f, 1e-5f);
    EXPECT_EQ(r.out0, r.out1);
    // Another constant at another setting (float rounding allows a little more).
    mellow m;
    m.init(44100);
    m.cutoff = 300.0f;
    m.resonanceQ = 6.0f;
    EXPECT_NEAR(runMellow(m, std::vector<float>(88200, -0.25f)).out0.back(), -0.25f, 1e-4f);
}

TEST(MellowResponse, GainIsQAtTheCutoff)
{
    for (float q : {4.0f, 0.7f, 12.0f}) {
        mellow k;
        k.init(48000);
        k.cutoff = 2000.0f;
        k.resonanceQ = q;
        const size_t n = 48000;
        std::vector<float> in(n);
        for (size_t i = 0; i < n; ++i) in[i] = static_cast<float>(std::sin(2.0 * kPi * 2000.0 * static_cast<double>(i) / 48000.0));
        MellowRun r = runMellow(k, in);
        // Amplitude over the last 100 periods (24 samples each), by correlation.
        double a = 0.0, b = 0.0;
        const size_t from = n - 2400;
        for (size_t i = from; i < n; ++i) {
            const double w = 2.0 * kPi * 2000.0 * static_cast<double>(i) / 48000.0;
            a += r.out0[i] * std::sin(w);
            b += r.out0[i] * std::cos(w);
        }
        const double amplitude = 2.0 * std::hypot(a, b) / 2400.0;
        EXPECT_NEAR(amplitude, q, 2e-3 * q) << q;
    }
}

TEST(MellowResponse, ZeroAtHalfTheRate)
{
    mellow k;
    k.init(48000);
    k.resonanceQ = 10.0f;
    std::vector<float> in(48000);
    for (size_t i = 0; i < in.size(); ++i) in[i] = (i % 2 == 0) ? 1.0f : -1.0f;
    MellowRun r = runMellow(k, in);
    for (size_t i = in.size() - 100; i < in.size(); ++i) ASSERT_NEAR(r.out0[i], 0.0f, 1e-5f) << i;
}

TEST(MellowResponse, NearlySilentFirstSampleAfterInit)
{
    mellow k;
    k.init(48000);
    MellowRun r = runMellow(k, std::vector<float>(4800, 1.0f));
    // First sample by hand, in double: smoothers at 44.1/fs of their targets,
    // empty delay line, so y = g·x.
    const double fs = 48000.0, w = 44.1 / fs;
    const double c = 1.0 / std::tan(kPi / fs * (w * 2000.0));
    const double d = 1.0 / (w * 1.0);
    const double expected = 1.0 / (c * c + d * c + 1.0);
    EXPECT_NEAR(r.out0[0], expected, 1e-4 * expected);
    EXPECT_NEAR(r.out0[0], 1.3e-8, 0.05e-8);
    // It then opens: rising, still far below the step after 1 ms.
    for (int i = 1; i < 48; ++i) ASSERT_GT(r.out0[i], r.out0[i - 1]) << i;
    EXPECT_LT(r.out0[47], 0.1f);
    EXPECT_GT(r.out0[4799], 0.9f);
}

TEST(MellowResponse, ControlChangeLandsAtTheNextBlock)
{
    mellow a, b;
    a.init(48000);
    b.init(48000);
    std::vector<float> in = noise(64 * 40);
    // Settle both, then change b's cutoff between two blocks.
    MellowRun ra = runMellow(a, std::vector<float>(in.begin(), in.begin() + 64 * 20));
    MellowRun rb = runMellow(b, std::vector<float>(in.begin(), in.begin() + 64 * 20));
    EXPECT_EQ(ra.out0, rb.out0);
    const float smoothed = b.cutoffSmooth[1];
    b.cutoff = 500.0f;
    std::vector<float> next(in.begin() + 64 * 20, in.begin() + 64 * 21);
    MellowRun na = runMellow(a, next);
    MellowRun nb = runMellow(b, next);
    EXPECT_NE(na.out0[0], nb.out0[0]);
    // The whole block glides towards the value read at its start.
    float expected = smoothed;
    for (int i = 0; i < 64; ++i) expected = b.smoothPole * expected + b.smoothIn * 500.0f;
    EXPECT_EQ(b.cutoffSmooth[1], expected);
    // Smoothly: the first sample of the new block barely moves.
    EXPECT_NEAR(nb.out0[0], na.out0[0], 0.05f);
}

// The filter written out step by step as described, to check that the
// kernel keeps every operation's order, and that clamping changes nothing
// within the declared ranges at 44100 Hz and above.
TEST(MellowExactness, MatchesTheStepByStepDescription)
{
    for (int rate : {44100, 48000, 96000, 192000}) {
        const float fs = static_cast<float>(rate);
        const float piOverRate = 3.1415927f / fs, smoothIn = 44.1f / fs, smoothPole = 1.0f - smoothIn;
        float cs = 0.0f, qs = 0.0f, s1 = 0.0f, s2 = 0.0f;
        mellow k;
        k.init(rate);
        const std::vector<float> in = noise(64 * 200, 7);
        const float cutoffs[] = {2000.0f, 20.0f, 20000.0f, 150.5f};
        const float qs_[] = {1.0f, 15.0f, 0.5f, 3.3f};
        for (int block = 0; block < 200; ++block) {
            k.cutoff = cutoffs[(block / 50) % 4];
            k.resonanceQ = qs_[(block / 30) % 4];
            const float cutoffIn = smoothIn * k.cutoff, qIn = smoothIn * k.resonanceQ;
            float* ins[1] = {const_cast<float*>(in.data()) + 64 * block};
            float o0[64], o1[64];
            float* outs[2] = {o0, o1};
            k.compute(64, ins, outs);
            for (int i = 0; i < 64; ++i) {
                const float x = in[static_cast<size_t>(64 * block + i)];
                cs = smoothPole * cs + cutoffIn;
                const float c = 1.0f / quill::tangent(piOverRate * cs);
                qs = smoothPole * qs + qIn;
                const float d = 1.0f / qs;
                const float g = 1.0f / ((d + c) * c + 1.0f);
                const float s0 = x - g * (2.0f * (1.0f - c * c) * s1 + ((c - d) * c + 1.0f) * s2);
                const float y = g * (s0 + 2.0f * s1 + s2);
                s2 = s1;
                s1 = s0;
                ASSERT_EQ(o0[i], y) << rate << " block " << block << " sample " << i;
                ASSERT_EQ(o1[i], y);
            }
        }
    }
}

TEST(MellowHighRates, GainIsQAtTheCutoffAndStableAtEveryRateUpToTheCeiling)
{
    // At 384 and 768 kHz (Pd at -r 384000, an oversampling subpatch) the
    // resonance is where it is at 48 kHz.
    for (int rate : {384000, 768000}) {
        for (float q : {15.0f, 0.7f}) {
            mellow k;
            k.init(rate);
            k.cutoff = 2000.0f;
            k.resonanceQ = q;
            const size_t n = static_cast<size_t>(rate);
            std::vector<float> in(n);
            const double w = 2.0 * kPi * 2000.0 / rate;
            for (size_t i = 0; i < n; ++i) in[i] = static_cast<float>(std::sin(w * static_cast<double>(i)));
            MellowRun r = runMellow(k, in);
            double a = 0.0, b = 0.0;
            const size_t from = n / 2;
            for (size_t i = from; i < n; ++i) {
                a += r.out0[i] * std::sin(w * static_cast<double>(i));
                b += r.out0[i] * std::cos(w * static_cast<double>(i));
            }
            EXPECT_NEAR(2.0 * std::hypot(a, b) / static_cast<double>(n - from), q, 0.01 * q) << rate << " " << q;
        }
    }
    // The extreme corners at the ceiling rate: noise in, bounded and finite out.
    for (float cutoff : {20.0f, 20000.0f}) {
        for (float q : {0.5f, 15.0f}) {
            mellow k;
            k.init(1536000);
            k.cutoff = cutoff;
            k.resonanceQ = q;
            const MellowRun r = runMellow(k, noise(1536000));
            float peak = 0.0f;
            for (float y : r.out0) peak = std::max(peak, std::fabs(y));
            EXPECT_LT(peak, 2.0f * q + 2.0f) << cutoff << " " << q;
        }
    }
}
