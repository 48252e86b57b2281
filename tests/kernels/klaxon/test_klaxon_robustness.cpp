// Deliberate departures from the plain algorithm: clamped and non-finite
// controls, huge button values, low rates, saturating counters.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>
#include <vector>

#include "tests/literal/literal_klaxon.h"
#include "tests/kernels/klaxon/klaxon_run.h"

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

void setSliders(klaxon& k, float decay, float depth, float speed, float sweep, float pitch)
{
    k.decay = decay, k.depth = depth, k.speed = speed, k.sweep = sweep, k.pitch = pitch;
}

// Runs a note: held for `hold` samples, then released for `rest`.
std::vector<float> note(klaxon& k, int hold, int rest)
{
    k.triggerRandom = 1.0f;
    std::vector<float> y = runKlaxon(k, hold);
    releaseAll(k);
    std::vector<float> tail = runKlaxon(k, rest);
    y.insert(y.end(), tail.begin(), tail.end());
    return y;
}

void expectFiniteWithinOne(const std::vector<float>& y, int rate)
{
    for (size_t n = 0; n < y.size(); ++n) {
        ASSERT_TRUE(std::isfinite(y[n])) << rate << " " << n;
        ASSERT_LT(std::fabs(y[n]), 1.0f) << rate << " " << n;
    }
}

}  // namespace

TEST(KlaxonControls, SlidersOutOfRangeActAsTheirLimits)
{
    struct Set {
        float decay, depth, speed, sweep, pitch;
    };
    const Set wild[] = {{100.0f, 5.0f, 1000.0f, 7.0f, 1e9f}, {-1.0f, -3.0f, -20.0f, -1.0f, 0.0f}};
    const Set tame[] = {{3.0f, 1.0f, 20.0f, 1.0f, 2000.0f}, {0.05f, 0.0f, 0.1f, 0.0f, 20.0f}};
    for (int s = 0; s < 2; ++s) {
        klaxon a, b;
        a.init(44100);
        b.init(44100);
        setSliders(a, wild[s].decay, wild[s].depth, wild[s].speed, wild[s].sweep, wild[s].pitch);
        setSliders(b, tame[s].decay, tame[s].depth, tame[s].speed, tame[s].sweep, tame[s].pitch);
        EXPECT_EQ(note(a, 5000, 20000), note(b, 5000, 20000)) << s;
        EXPECT_EQ(a.decay, wild[s].decay);  // the cells keep what was stored
        EXPECT_EQ(a.pitch, wild[s].pitch);
    }
}

TEST(KlaxonControls, NonFiniteValuesFallBackToTheLastGoodOne)
{
    klaxon a, b;
    a.init(48000);
    b.init(48000);
    // Never a good value yet: the defaults serve.
    a.decay = kNaN, a.depth = kInf, a.speed = -kInf, a.sweep = kNaN, a.pitch = kNaN;
    a.triggerSquare = kNaN;
    EXPECT_EQ(runKlaxon(a, 640), runKlaxon(b, 640));
    // A good value, then a non-finite one: the good one stays.
    setSliders(a, 1.5f, 0.8f, 9.0f, 0.9f, 330.0f);
    setSliders(b, 1.5f, 0.8f, 9.0f, 0.9f, 330.0f);
    a.triggerSaw = b.triggerSaw = 1.0f;
    EXPECT_EQ(runKlaxon(a, 640), runKlaxon(b, 640));
    setSliders(a, kNaN, kNaN, kInf, -kInf, kInf);
    a.triggerSaw = kNaN;  // still held
    EXPECT_EQ(runKlaxon(a, 6400), runKlaxon(b, 6400));
    a.triggerSaw = b.triggerSaw = 0.0f;
    EXPECT_EQ(runKlaxon(a, 64000), runKlaxon(b, 64000));
    // instanceResetUserInterface forgets the old good values.
    a.instanceResetUserInterface();
    b.instanceResetUserInterface();
    a.pitch = kNaN;
    a.triggerTriangle = b.triggerTriangle = 1.0f;
    EXPECT_EQ(runKlaxon(a, 6400), runKlaxon(b, 6400));
    EXPECT_TRUE(std::isnan(a.pitch));
}

TEST(KlaxonControls, HugeButtonValuesStayFinite)
{
    const float big = std::numeric_limits<float>::max();
    klaxon k;
    k.init(44100);
    std::vector<float> y;
    for (int b = 0; b < 200; ++b) {
        const float sign = b % 2 ? 1.0f : -1.0f;
        k.triggerRandom = sign * big, k.triggerRevSaw = sign * big, k.triggerSaw = -sign * big;
        k.triggerSquare = b % 3 ? big : 1e20f, k.triggerTriangle = b % 5 ? -big : 0.0f;
        std::vector<float> part = runKlaxon(k, 64);
        y.insert(y.end(), part.begin(), part.end());
        ASSERT_TRUE(std::isfinite(k.lfoPhase[1])) << b;
    }
    expectFiniteWithinOne(y, 44100);
}

TEST(KlaxonLowRates, FullSweepAndHeldNotesStayFinite)
{
    for (int rate : {1, 2, 22, 30, 44, 100, 999, 1000, 8000, 11025, 12000}) {
        for (auto button : {&klaxon::triggerRandom, &klaxon::triggerSaw, &klaxon::triggerTriangle}) {
            klaxon k;
            k.init(rate);
            setSliders(k, 3.0f, 1.0f, 20.0f, 1.0f, 2000.0f);
            k.*button = 1.0f;
            std::vector<float> y = runKlaxon(k, 30000);
            expectFiniteWithinOne(y, rate);
            // The running state too (a square of a NaN phase would still read -1).
            for (float v : {k.sweepSmooth[1], k.decaySmooth[1], k.depthSmooth[1], k.speedSmooth[1], k.lfoPhase[1],
                            k.oscPhase[1], k.filterState1[1], k.filterState2[1]})
                EXPECT_TRUE(std::isfinite(v)) << rate;
            EXPECT_LE(k.depthSmooth[1], 1.0f);
            EXPECT_LT(std::fabs(k.filterState2[1]), 100.0f) << rate;
        }
    }
}

TEST(KlaxonLowRates, CutoffLimitActsOnlyWhereTheCutoffPassesHalfTheRate)
{
    // Samples equal to the unclamped model; the kernel's output must be finite.
    auto agreeing = [](int rate, float sweep) {
        klaxon k;
        k.init(rate);
        LiteralKlaxon ref(rate);
        k.sweep = ref.sweep = sweep;
        k.triggerSquare = ref.square = 1.0f;
        std::vector<float> r(20000);
        ref.block(20000, r.data());
        std::vector<float> y = runKlaxon(k, 20000);
        size_t same = 0;
        for (size_t n = 0; n < y.size(); ++n) {
            EXPECT_TRUE(std::isfinite(y[n])) << rate << " " << n;
            same += y[n] == r[n] ? 1 : 0;
        }
        return same;
    };
    // Full rates: the limit is out of reach even at full sweep (6020 Hz).
    EXPECT_EQ(agreeing(44100, 1.0f), 20000u);
    EXPECT_EQ(agreeing(48000, 1.0f), 20000u);
    // 11025 Hz: a small sweep stays below the limit; a full sweep passes
    // half the rate, where the kernel parts from the unstable model.
    EXPECT_EQ(agreeing(11025, 0.3f), 20000u);
    EXPECT_LT(agreeing(11025, 1.0f), 20000u);
}

TEST(KlaxonCounters, SaturateInsteadOfOverflowing)
{
    klaxon k;
    k.init(44100);
    k.triggerSaw = 1.0f;
    runKlaxon(k, 100);
    k.holdCount[1] = INT32_MAX - 10;
    std::vector<float> y = runKlaxon(k, 64);
    EXPECT_EQ(k.holdCount[1], INT32_MAX);
    EXPECT_EQ(k.releaseCount[1], 0);
    expectFiniteWithinOne(y, 44100);
    EXPECT_NE(y.back(), 0.0f);  // still sounding at full level

    releaseAll(k);
    runKlaxon(k, 100);
    k.releaseCount[1] = INT32_MAX - 10;
    y = runKlaxon(k, 64);
    EXPECT_EQ(k.releaseCount[1], INT32_MAX);
    EXPECT_EQ(k.holdCount[1], INT32_MAX);
    for (float v : y) EXPECT_EQ(v, 0.0f);
    // A new press starts counting afresh.
    k.triggerSquare = 1.0f;
    runKlaxon(k, 64);
    EXPECT_EQ(k.holdCount[1], 64);
    EXPECT_EQ(k.releaseCount[1], 0);
}
