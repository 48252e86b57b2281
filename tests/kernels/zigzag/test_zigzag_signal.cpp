// The oscillator's sound: start, band-limiting, the integrator at rest,
// backwards and very fast phases, and recovery from non-finite input.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "kernels/common/polyblep.h"
#include "tests/kernels/zigzag/zigzag_run.h"

namespace {

// One sample at frequency f; returns the output.
float step(zigzag& k, float f)
{
    float in = f, a = 0.0f, b = 0.0f;
    float* ins[1] = {&in};
    float* outs[2] = {&a, &b};
    k.compute(1, ins, outs);
    EXPECT_EQ(a, b);
    return a;
}

}  // namespace

TEST(ZigzagStart, FirstSampleIsMinusFourFOverFs)
{
    for (int rate : {44100, 48000, 96000, 8000}) {
        for (float f : {1.0f, 440.0f, 1000.0f, 0.24f * static_cast<float>(rate)}) {
            zigzag k;
            k.init(rate);
            // p = dt, square -1, no window: integrator -1, y = f·(4/fs)·(-1).
            const float invRate = 1.0f / static_cast<float>(rate);
            const float expected = f * (invRate * 4.0f) * -1.0f;
            ZigzagRun r = runZigzag(k, std::vector<float>(3, f));
            EXPECT_EQ(r.out0[0], expected) << rate << " " << f;
            EXPECT_EQ(r.out1[0], expected);
            EXPECT_NEAR(r.out0[0], -4.0f * f / static_cast<float>(rate), 1e-6f);
        }
    }
}

TEST(ZigzagStart, BandLimitedTrianglePeaksNearOne)
{
    zigzag k;
    k.init(44100);
    ZigzagRun r = runZigzag(k, std::vector<float>(44100, 1000.0f));
    // After the integrator's start-up offset has leaked away (about 1000 samples).
    const auto tail = r.out0.begin() + 22050;
    const float hi = *std::max_element(tail, r.out0.end());
    const float lo = *std::min_element(tail, r.out0.end());
    EXPECT_NEAR(hi, 1.0f, 0.05f);
    EXPECT_NEAR(lo, -1.0f, 0.05f);
    // The smoothing keeps each step within the triangle's slope (4·f/fs per
    // sample) plus a little: no jump of the size of the square's.
    float maxStep = 0.0f;
    for (auto it = tail + 1; it != r.out0.end(); ++it) maxStep = std::max(maxStep, std::fabs(*it - *(it - 1)));
    EXPECT_LT(maxStep, 1.2f * 4.0f * 1000.0f / 44100.0f);
}

TEST(ZigzagIntegrator, DriftsTowardsMinusThousandAtZeroHertz)
{
    zigzag k;
    k.init(44100);
    // Phase stays 0, square -1, no window: i = 0.999·i - 1.
    float expected = 0.0f;
    for (int n = 0; n < 50; ++n) {
        EXPECT_EQ(step(k, 0.0f), 0.0f);
        expected = 0.999f * expected + -1.0f;
        ASSERT_EQ(k.integrator[0], expected) << n;
        EXPECT_EQ(k.phase[0], 0.0f);
    }
    EXPECT_EQ(k.integrator[0], k.integrator[1]);
    runZigzag(k, std::vector<float>(30000, 0.0f));
    EXPECT_NEAR(k.integrator[1], -1000.0f, 0.5f);
    // A later frequency starts from that value.
    EXPECT_EQ(step(k, 100.0f), 100.0f * k.ampScale * k.integrator[0]);
    EXPECT_LT(k.integrator[0], -990.0f);
}

TEST(ZigzagPhase, NegativeFrequencyRunsBackwardsUnsmoothed)
{
    zigzag k;
    k.init(44100);
    const float f = -3000.0f;
    float previousPhase = 0.0f, i1 = 0.0f;
    int wraps = 0;
    for (int n = 0; n < 200; ++n) {
        const float y = step(k, f);
        const float p = k.phase[0];
        if (p > previousPhase) ++wraps;  // backwards: only a wrap increases it
        previousPhase = p;
        // No correction window ever holds: the plain leaky integral of the square.
        i1 = 0.999f * i1 + (p < 0.5f ? -1.0f : 1.0f);
        ASSERT_EQ(k.integrator[0], i1) << n;
        ASSERT_EQ(y, f * k.ampScale * i1);
    }
    EXPECT_GE(wraps, 13);  // 200 samples at 3000/44100 cycles each
}

TEST(ZigzagPhase, BothWindowsUseTheBeforeJumpPolynomial)
{
    zigzag k;
    k.init(44100);
    const float f = 0.7f * 44100.0f;  // dt above 0.5
    const float dt = f * k.invRate;
    step(k, f);
    const float i1 = k.integrator[0];
    step(k, f);
    const float p = k.phase[0];
    ASSERT_LT(p, dt);
    ASSERT_GT(p, 1.0f - dt);  // in both windows
    const float h = quill::halfCycleOn(p);
    ASSERT_GT(h, 1.0f - dt);
    ASSERT_FALSE(h < dt);     // only before a jump
    const float rate = k.clampedRate;
    const float fallBefore = quill::blepBeforeJump((p - 1.0f) * rate * (1.0f / f));
    const float fallAfter = quill::blepAfterJump(p * rate * (1.0f / f));
    const float rise = quill::blepBeforeJump((h - 1.0f) * rate * (1.0f / f));
    const float s = quill::squareFromPhase(p);
    EXPECT_EQ(k.integrator[0], 0.999f * i1 + s + rise - fallBefore);
    EXPECT_NE(k.integrator[0], 0.999f * i1 + s + rise - fallAfter);
}

TEST(ZigzagRecovery, NonFiniteInputRecoversFromTheNextBlock)
{
    const float bad[] = {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                         -std::numeric_limits<float>::infinity()};
    for (float b : bad) {
        zigzag k;
        k.init(48000);
        std::vector<float> in(64 * 4, 440.0f);
        in[64 + 10] = b;
        ZigzagRun r = runZigzag(k, in);
        EXPECT_FALSE(std::isfinite(r.out0[64 + 10]));
        for (size_t n = 128; n < in.size(); ++n) ASSERT_TRUE(std::isfinite(r.out0[n])) << b << " " << n;
        // It starts again from a cleared state.
        EXPECT_EQ(r.out0[128], 440.0f * k.ampScale * -1.0f);
    }
}

TEST(ZigzagRecovery, FiniteInputGivesFiniteOutput)
{
    // Subnormal frequencies have no finite reciprocal: at rate 2 a phase of
    // exactly 0.5 puts the next phase's half-cycle twin at 0, inside the window.
    zigzag k;
    k.init(2);
    ZigzagRun r = runZigzag(k, {1.0f, 1e-39f, 1e-39f, 1.0f});
    for (float y : r.out0) EXPECT_TRUE(std::isfinite(y));
    EXPECT_TRUE(std::isfinite(k.integrator[1]));

    // Extreme but finite frequencies at extreme rates.
    for (int rate : {1, 100, 44100, 192000}) {
        zigzag z;
        z.init(rate);
        std::vector<float> in;
        for (float f : {1e6f, -1e6f, 0.0f, 1e-30f, -1e-39f, 0.5f, 3e5f, 1e6f})
            in.insert(in.end(), 500, f);
        ZigzagRun rr = runZigzag(z, in);
        for (size_t n = 0; n < in.size(); ++n) ASSERT_TRUE(std::isfinite(rr.out0[n])) << rate << " " << n;
    }
}

// The oscillator written out step by step as described, to check that the
// kernel keeps every operation's order (float sums are not associative).
TEST(ZigzagExactness, MatchesTheStepByStepDescription)
{
    const int rate = 44100;
    const float fs = 44100.0f, invRate = 1.0f / fs, ampScale = invRate * 4.0f;
    auto blep = [&](float x, float dt, float f) {
        const int k = (x < dt ? 1 : 0) + 2 * (x > 1.0f - dt ? 1 : 0);
        if (k == 0) return 0.0f;
        if (k == 1) {
            const float u = x * fs * (1.0f / f);
            return 2.0f * u - u * u - 1.0f;
        }
        const float v = (x - 1.0f) * fs * (1.0f / f);
        return v * v + 2.0f * v + 1.0f;
    };
    zigzag k;
    k.init(rate);
    float phase = 0.0f, integ = 0.0f;
    for (int n = 0; n < 20000; ++n) {
        const float f = 30.0f + 1.37f * static_cast<float>(n) * (n % 3 == 0 ? -1.0f : 1.0f);
        const float dt = f * invRate;
        float p = phase + dt;
        p = p - std::floor(p);
        const float h = std::fmod(std::fmod(p + 0.5f, 1.0f) + 1.0f, 1.0f);
        const float s = static_cast<float>(2 * static_cast<int>(2.0f * p) - 1);
        integ = 0.999f * integ + s + blep(h, dt, f) - blep(p, dt, f);
        phase = p;
        ASSERT_EQ(step(k, f), f * ampScale * integ) << n;
    }
}
