// Out-of-range and non-finite controls, low rates and non-finite input.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "tests/kernels/leveler/leveler_run.h"

namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();

// Output of a fresh kernel at `rate` whose cell holds `intensity` throughout.
std::vector<float> withIntensity(float intensity, const std::vector<float>& x, int rate = 48000)
{
    leveler k;
    k.init(rate);
    k.intensity = intensity;
    return runLeveler(k, x);
}

bool allFinite(const std::vector<float>& y)
{
    for (float v : y)
        if (!std::isfinite(v)) return false;
    return true;
}

// A loud test signal: a sine of amplitude 1e6, silence, then full-scale noise-like steps.
std::vector<float> loud(int rate)
{
    std::vector<float> x = sine(1e6f, 0.13 * rate, rate, 3000);
    for (size_t n = 1000; n < 1500; ++n) x[n] = 0.0f;
    for (size_t n = 1500; n < 2200; ++n) x[n] = (n * 7919 % 13 < 6 ? 1e6f : -1e6f);
    return x;
}

}  // namespace

TEST(LevelerControl, OutOfRangeIntensityActsAsItsClampedValue)
{
    const std::vector<float> x = sine(0.5f, 700.0, 48000, 4000);
    const std::vector<float> zero = withIntensity(0.0f, x), one = withIntensity(1.0f, x);
    EXPECT_NE(zero, one);
    for (float low : {-1.0f, -1e30f, -0.0f}) {
        const std::vector<float> y = withIntensity(low, x);
        EXPECT_TRUE(allFinite(y));
        EXPECT_EQ(y, zero) << low;
    }
    for (float high : {2.0f, 1e30f, std::numeric_limits<float>::max()}) {
        const std::vector<float> y = withIntensity(high, x);
        EXPECT_TRUE(allFinite(y));
        EXPECT_EQ(y, one) << high;
    }
}

TEST(LevelerControl, NonFiniteIntensityKeepsTheLastGoodValue)
{
    const std::vector<float> x = sine(0.5f, 700.0, 48000, 4096);
    // Never a good value: the default 0.3.
    for (float bad : {NAN, kInf, -kInf}) EXPECT_EQ(withIntensity(bad, x), withIntensity(0.3f, x)) << bad;

    // Good, then bad: the good value (clamped) carries on.
    for (float good : {0.7f, 5.0f}) {
        leveler k;
        k.init(48000);
        std::vector<float> y(x.size());
        for (size_t start = 0; start < x.size(); start += 64) {
            k.intensity = start < 640 ? good : (start / 64 % 2 ? NAN : kInf);
            float* ins[1] = {const_cast<float*>(x.data()) + start};
            float* outs[1] = {y.data() + start};
            k.compute(64, ins, outs);
        }
        EXPECT_TRUE(allFinite(y));
        EXPECT_EQ(y, withIntensity(std::min(good, 1.0f), x)) << good;

        // A re-init forgets it along with every other control value.
        k.init(48000);
        k.intensity = NAN;
        EXPECT_EQ(runLeveler(k, x), withIntensity(0.3f, x));
    }
}

TEST(LevelerLowRates, LoudInputStaysFiniteAtEveryRate)
{
    for (int rate : {1, 2, 10, 44, 100, 1000, 8000, 12000, 16000, 22050, 30000, 36000, 40000}) {
        for (float intensity : {0.0f, 0.3f, 0.5f, 1.0f, -3.0f, 9.0f}) {
            leveler k;
            k.init(rate);
            k.intensity = intensity;
            const std::vector<float> y = runLeveler(k, loud(rate));
            for (size_t n = 0; n < y.size(); ++n) {
                ASSERT_TRUE(std::isfinite(y[n])) << rate << " " << intensity << " " << n;
                // The soft clipper bounds the signal to 1 before the tone lowpass.
                ASSERT_LT(std::fabs(y[n]), 10.0f) << rate << " " << intensity << " " << n;
            }
            // The smoothed intensity stays within the clamped range.
            EXPECT_GE(k.intensitySmooth[1], 0.0f);
            EXPECT_LE(k.intensitySmooth[1], 1.0001f) << rate;
        }
    }
}

TEST(LevelerLowRates, FiltersStayBelowHalfTheRate)
{
    for (int rate : {1, 100, 8000, 12000, 16000, 22050, 36000, 40000}) {
        leveler k;
        k.init(rate);
        // A positive finite tangent means an angle in (0, pi/2): cutoff below fs/2.
        EXPECT_GT(k.bandTan, 0.0f) << rate;
        EXPECT_TRUE(std::isfinite(k.bandTan));
        EXPECT_GT(k.hissCot, 0.0f) << rate;
        EXPECT_TRUE(std::isfinite(k.hissCot));
        EXPECT_GT(k.bandNorm, 0.0f);
        // The smoother never steps beyond its target.
        EXPECT_GE(k.smoothPole, 0.0f) << rate;
        EXPECT_LT(k.smoothPole, 1.0f);
    }
    // At one hertz the smoothed intensity is the control itself.
    leveler k;
    k.init(1);
    k.intensity = 0.7f;
    runLeveler(k, {0.1f});
    EXPECT_EQ(k.intensitySmooth[1], 0.7f);
}

TEST(LevelerRecovery, FiniteAgainFromTheNextBlock)
{
    for (int rate : {8000, 48000}) {
        for (float poison : {NAN, kInf, -kInf}) {
            leveler k, clean;
            k.init(rate);
            clean.init(rate);
            std::vector<float> first = sine(0.5f, 200.0, rate, 64);
            first[20] = poison;
            runLeveler(k, first);
            runLeveler(clean, std::vector<float>(64, 0.0f));
            const std::vector<float> y = runLeveler(k, sine(0.5f, 200.0, rate, 2000));
            EXPECT_TRUE(allFinite(y)) << rate << " " << poison;
            EXPECT_GT(*std::max_element(y.begin(), y.end()), 0.1f);
            // Smoother and noise generator never saw the input and ran on.
            runLeveler(clean, std::vector<float>(2000, 0.0f));
            EXPECT_EQ(k.noiseState[1], clean.noiseState[1]);
            EXPECT_EQ(k.intensitySmooth[1], clean.intensitySmooth[1]);
        }
    }
}

TEST(LevelerHighRates, LoudInputStaysFiniteAndAToneKeepsItsLevel)
{
    for (int rate : {384000, 768000, 1536000}) {
        leveler k;
        k.init(rate);
        k.intensity = 1.0f;
        for (float y : runLeveler(k, loud(rate))) ASSERT_TRUE(std::isfinite(y) && std::fabs(y) < 10.0f) << rate;
    }
    // The compressor's times and the filters are in seconds and hertz: a
    // 15 kHz tone, near the band limit, comes out at the level it has at 192 kHz.
    auto level = [](int rate) {
        leveler k;
        k.init(rate);
        const std::vector<float> y = runLeveler(k, sine(0.5f, 15000.0, rate, static_cast<size_t>(rate)));
        double sum = 0.0;
        for (size_t n = y.size() / 2; n < y.size(); ++n) sum += static_cast<double>(y[n]) * y[n];
        return std::sqrt(sum / static_cast<double>(y.size() / 2));
    };
    const double reference = level(192000);
    for (int rate : {384000, 768000}) EXPECT_NEAR(level(rate), reference, 0.03 * reference) << rate;
}

TEST(LevelerHighRates, AnAbsurdSampleIsClearedAtTheEndOfItsBlock)
{
    // At the highest rate the band limit's state after a sample of 1e35 is
    // finite but rings past the float range later: cleared like a NaN.
    for (float intensity : {0.0f, 0.3f}) {
        leveler k;
        k.init(1536000);
        k.intensity = intensity;
        std::vector<float> x(2000, 0.25f);
        x[5] = 1.2e35f;
        const std::vector<float> y = runLeveler(k, x, 1);
        for (size_t n = 6; n < y.size(); ++n) ASSERT_TRUE(std::isfinite(y[n])) << intensity << " " << n;
    }
}
