// The oscillator's sound: start, band-limiting, the integrator at rest,
// backwards and very fast phases, and non-finite input.
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
    // Leaving 0 Hz starts from rest, as a fresh oscillator does.
    EXPECT_EQ(step(k, 100.0f), 100.0f * k.ampScale * -1.0f);
}

TEST(ZigzagPhase, NegativeFrequencyPlaysTheTriangleBackwards)
{
    // Backwards from phase 0 is forwards on the mirrored phase 1 - p: the
    // same rounded-off triangle, up to the rounding of 1 - p.
    for (float f : {440.0f, 3000.0f, 15000.0f}) {
        zigzag back, ahead;
        back.init(44100);
        ahead.init(44100);
        ZigzagRun b = runZigzag(back, std::vector<float>(20000, -f));
        ZigzagRun a = runZigzag(ahead, std::vector<float>(20000, f));
        for (size_t n = 0; n < a.out0.size(); ++n) ASSERT_NEAR(b.out0[n], a.out0[n], 2e-3f) << f << " " << n;
    }
}

TEST(ZigzagPhase, AtOrBeyondHalfTheRatePlaysJustBelowIt)
{
    zigzag k;
    k.init(44100);
    const float top = k.maxFrequency;
    EXPECT_LT(top * k.invRate, 0.5f);
    EXPECT_GE(std::nextafter(top, 1e9f) * k.invRate, 0.5f);
    const float inf = std::numeric_limits<float>::infinity();
    for (float f : {22050.0f, 30000.0f, 44100.0f, 1e9f, inf, -30000.0f, -inf}) {
        zigzag beyond, below;
        beyond.init(44100);
        below.init(44100);
        ZigzagRun r = runZigzag(beyond, std::vector<float>(500, f));
        ZigzagRun ref = runZigzag(below, std::vector<float>(500, std::copysign(top, f)));
        EXPECT_EQ(r.out0, ref.out0) << f;
    }
    // NaN plays as silence and holds the phase.
    runZigzag(k, std::vector<float>(100, 440.0f));
    const float phase = k.phase[1];
    ZigzagRun r = runZigzag(k, std::vector<float>(10, std::numeric_limits<float>::quiet_NaN()));
    for (float y : r.out0) EXPECT_EQ(y, 0.0f);
    EXPECT_EQ(k.phase[1], phase);
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
    // For a frequency held since the start, the oscillator is the plain
    // recursion below (clamp, rescaling and mirroring never act).
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
    for (float f : {30.0f, 441.37f, 5000.5f, 17000.0f}) {
        zigzag k;
        k.init(rate);
        float phase = 0.0f, integ = 0.0f;
        for (int n = 0; n < 5000; ++n) {
            const float dt = f * invRate;
            float p = phase + dt;
            p = p - std::floor(p);
            const float h = std::fmod(std::fmod(p + 0.5f, 1.0f) + 1.0f, 1.0f);
            const float s = static_cast<float>(2 * static_cast<int>(2.0f * p) - 1);
            integ = 0.999f * integ + s + blep(h, dt, f) - blep(p, dt, f);
            phase = p;
            ASSERT_EQ(step(k, f), f * ampScale * integ) << f << " " << n;
        }
    }
}
