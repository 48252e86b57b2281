// The leveler's sound: noise generator, silence, unity and default intensity
// levels, quantisation, and agreement with the literal algorithm.
#include <algorithm>
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "kernels/leveler/leveler_stages.h"
#include "tests/literal/literal_leveler.h"
#include "tests/kernels/leveler/leveler_run.h"

namespace {

// Amplitude of the component at `f` over whole periods of `y` from `start`.
double fundamental(const std::vector<float>& y, size_t start, size_t periods, double f, int rate)
{
    const size_t period = static_cast<size_t>(rate / f);
    const size_t n = periods * period;
    double c = 0.0, s = 0.0;
    for (size_t i = 0; i < n; ++i) {
        const double w = 2.0 * M_PI * f * static_cast<double>(start + i) / rate;
        s += y[start + i] * std::sin(w);
        c += y[start + i] * std::cos(w);
    }
    return 2.0 * std::hypot(s, c) / static_cast<double>(n);
}

// Magnitude at f of the bilinear first-order lowpass with cutoff fc.
double onePoleGain(double f, double fc, int rate)
{
    const double ratio = std::tan(M_PI * f / rate) / std::tan(M_PI * fc / rate);
    return 1.0 / std::sqrt(1.0 + ratio * ratio);
}

}  // namespace

TEST(LevelerNoise, GeneratorStatesAfterInit)
{
    leveler k;
    k.init(48000);
    const int32_t expected[3] = {12345, -740551042, -1492899873};
    for (int32_t e : expected) {
        runLeveler(k, {0.0f});
        EXPECT_EQ(k.noiseState[0], e);
        EXPECT_EQ(k.noiseState[1], e);
        EXPECT_EQ(k.noiseValue[1], static_cast<float>(e));
    }
    leveler thousand;
    thousand.init(44100);
    runLeveler(thousand, std::vector<float>(1000, 0.0f), 37);
    EXPECT_EQ(thousand.noiseState[1], 1268113592);
}

TEST(LevelerSilence, ExactZeroAtEveryIntensity)
{
    // Includes rates where an unguarded hiss filter would blow up (12000)
    // and the smoother overshoot (1).
    for (int rate : {1, 12000, 44100, 48000, 96000}) {
        for (float intensity : {0.0f, 0.3f, 0.65f, 1.0f}) {
            leveler k;
            k.init(rate);
            k.intensity = intensity;
            const std::vector<float> y = runLeveler(k, std::vector<float>(4000, 0.0f));
            for (size_t n = 0; n < y.size(); ++n) {
                ASSERT_EQ(y[n], 0.0f) << rate << " " << intensity << " " << n;
                ASSERT_FALSE(std::signbit(y[n])) << n;
            }
            EXPECT_TRUE(std::isfinite(k.hiss[1]));
        }
    }
}

TEST(LevelerLevels, IntensityZeroIsTheSoftClipperAlone)
{
    leveler k;
    k.init(48000);
    k.intensity = 0.0f;
    const std::vector<float> y = runLeveler(k, sine(0.5f, 1000.0, 48000, 48000));
    float hi = 0.0f, lo = 0.0f;
    for (size_t n = 24000; n < y.size(); ++n) {
        hi = std::max(hi, y[n]);
        lo = std::min(lo, y[n]);
    }
    std::printf("intensity-0 peaks: %.7f %.7f\n", hi, lo);
    // 0.5 / (1 + 0.5), a hair less through the 20 kHz lowpass.
    EXPECT_NEAR(hi, 0.333f, 0.002f);
    EXPECT_NEAR(lo, -0.333f, 0.002f);
}

TEST(LevelerLevels, DefaultIntensityLiftsQuietSineByNineDecibels)
{
    leveler k;
    k.init(48000);  // intensity 0.3 from init
    const std::vector<float> y = runLeveler(k, sine(0.01f, 1000.0, 48000, 96000));
    const double amp = fundamental(y, 48000, 1000, 1000.0, 48000);
    // Independently: make-up 10^0.45, then y/(1+|y|) whose fundamental for a
    // small sine of amplitude A is A - 8/(3 pi) A^2 + 3/4 A^3, then the two
    // lowpasses (16100 Hz tone, 18000 Hz band limit) at 1 kHz.
    const double a = 0.01 * std::pow(10.0, 0.45);
    const double clipped = a - 8.0 / (3.0 * M_PI) * a * a + 0.75 * a * a * a;
    const double expected = clipped * onePoleGain(1000.0, 16100.0, 48000);
    RecordProperty("fundamental", std::to_string(amp));
    std::printf("default-intensity fundamental: %.7f (estimate %.7f)\n", amp, expected);
    EXPECT_NEAR(amp, 0.0275, 0.0003);
    EXPECT_NEAR(amp, expected, 0.01 * expected);
}

TEST(LevelerQuantiser, StepsOfOneIn2048HalvesUpward)
{
    using quill::leveler_stages::quantise;
    const float step = 1.0f / 2048.0f;
    EXPECT_EQ(quantise(1.0f / 4096.0f, 0.0f, 0.0f), step);
    EXPECT_EQ(quantise(-1.0f / 4096.0f, 0.0f, 0.0f), 0.0f);
    EXPECT_EQ(quantise(3.0f / 4096.0f, 0.0f, 0.0f), 2.0f * step);
    EXPECT_EQ(quantise(0.3f, 0.0f, 0.0f), std::floor(0.3f * 2048.0f + 0.5f) / 2048.0f);
    // With a closed gate the hiss adds nothing.
    EXPECT_EQ(quantise(0.0002f, 0.0f, 0.99f), 0.0f);
    // A signal below 1/4096 keeps its envelope below 1/4096 too, so the gate
    // stays under 0.7726 and even the loudest hiss lifts by one step at most.
    const float envelope = 1.0f / 4096.0f;
    for (float x = -0.000244f; x <= 0.000244f; x += 0.0000061f) {
        for (float h : {-1.0f, -0.5f, 0.0f, 0.5f, 1.0f}) {
            const float q = quantise(x, envelope, h);
            EXPECT_TRUE(q == 0.0f || q == step || q == -step) << x << " " << h << " " << q;
        }
    }
    EXPECT_EQ(quantise(0.000244f, envelope, 1.0f), step);
    EXPECT_EQ(quantise(-0.000244f, envelope, -1.0f), -step);
    // With the gate fully open the same hiss would reach a second step.
    EXPECT_EQ(quantise(0.000244f, 1.0f, 1.0f), 2.0f * step);
}

TEST(LevelerQuantiser, QuietInputReachesTheFilterAsZeroOrOneStep)
{
    leveler k;
    k.init(48000);
    const std::vector<float> x = sine(0.95f / 4096.0f, 440.0, 48000, 20000);
    int lifted = 0;
    for (float v : x) {
        const double s1 = k.bandState[1], s2 = k.bandState[2];
        runLeveler(k, {v});
        // Undo the feedback of the band limit to get its input back.
        const double q = k.bandState[1] + double(k.bandNorm) * (double(k.bandA1) * s1 + double(k.bandA2) * s2);
        const double steps = q * 2048.0;
        ASSERT_NEAR(steps, std::round(steps), 1e-3);
        ASSERT_LE(std::fabs(std::round(steps)), 1.0) << v;
        if (std::round(steps) != 0.0) ++lifted;
    }
    // The gated hiss does lift some samples over the rounding threshold.
    EXPECT_GT(lifted, 0);
    EXPECT_LT(lifted, 20000);
}

TEST(LevelerLiteral, BitIdenticalAt44100AndAbove)
{
    for (int rate : {44100, 48000, 88200, 96000, 192000, 500000}) {
        leveler k;
        k.init(rate);
        LiteralLeveler ref(rate);
        // Quiet, loud and mid-level material, the intensity stepping over [0, 1].
        std::vector<float> x = sine(0.8f, 997.0, rate, 6000);
        const std::vector<float> quiet = sine(0.003f, 3001.0, rate, 6000);
        for (size_t n = 0; n < x.size(); ++n) x[n] = (n / 1500) % 2 ? quiet[n] : x[n] * float(n % 7) / 6.0f;
        const float intensities[] = {0.0f, 0.3f, 1.0f, 0.55f, 0.999f, 0.01f};
        std::vector<float> got(64), want(64);
        for (size_t start = 0, b = 0; start < x.size(); start += 64, ++b) {
            const float intensity = intensities[(b / 8) % 6];
            k.intensity = intensity;
            const int count = static_cast<int>(std::min<size_t>(64, x.size() - start));
            float* ins[1] = {x.data() + start};
            float* outs[1] = {got.data()};
            k.compute(count, ins, outs);
            ref.block(intensity, x.data() + start, want.data(), count);
            for (int n = 0; n < count; ++n) ASSERT_EQ(got[n], want[n]) << rate << " at " << start + n;
        }
    }
}
