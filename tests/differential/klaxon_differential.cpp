// klaxon~'s kernel against its literal form over randomised performances:
// every output sample and every state field must carry the same bits, block
// after block. Within the controls' ranges at 44100 Hz and above the plain
// literal form is the oracle; beyond them (wild or non-finite controls, huge
// buttons, low rates, counters about to saturate) the literal form with the
// kernel's guards.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "kernels/klaxon/klaxon.h"
#include "tests/literal/literal_klaxon.h"

namespace {

uint32_t bits(float v)
{
    uint32_t b;
    std::memcpy(&b, &v, sizeof b);
    return b;
}

// Every running pair, both elements, as raw bits (NaN and -0 compare exactly).
template <class K>
std::vector<uint32_t> stateOf(const K& k)
{
    std::vector<uint32_t> s;
    for (int j = 0; j < 2; ++j) {
        for (float v : {k.sweepSmooth[j], k.randomButton[j], k.revSawButton[j], k.sawButton[j], k.triangleButton[j],
                        k.squareButton[j], k.decaySmooth[j], k.decayLatched[j], k.depthSmooth[j], k.shapeLatched[j],
                        k.speedSmooth[j], k.lfoPhase[j], k.noiseHeld[j], k.oscPhase[j], k.filterState1[j],
                        k.filterState2[j]})
            s.push_back(bits(v));
        for (int32_t v : {k.held[j], k.holdCount[j], k.releaseCount[j], k.noiseState[j]})
            s.push_back(static_cast<uint32_t>(v));
    }
    return s;
}

// One kernel and its literal twin, driven with the same cells.
struct Pair {
    klaxon shipped;
    literal_klaxon literal;

    Pair(int rate, bool guarded)
    {
        shipped.init(rate);
        literal.guarded = guarded;
        literal.init(rate);
    }

    void set(float klaxon::*cell, float literal_klaxon::*twin, float value)
    {
        shipped.*cell = value;
        literal.*twin = value;
    }

    // One block of `count`; false (with a failure) at the first difference.
    bool block(int count, const std::string& where)
    {
        std::vector<float> a0(static_cast<size_t>(count)), a1(a0.size()), b0(a0.size()), b1(a0.size());
        float* sa[2] = {a0.data(), a1.data()};
        float* sb[2] = {b0.data(), b1.data()};
        shipped.compute(count, nullptr, sa);
        literal.compute(count, nullptr, sb);
        for (size_t i = 0; i < a0.size(); ++i)
            if (bits(a0[i]) != bits(b0[i]) || bits(a1[i]) != bits(b1[i])) {
                ADD_FAILURE() << where << ", sample " << i << ": shipped " << a0[i] << " / " << a1[i]
                              << ", literal " << b0[i];
                return false;
            }
        if (stateOf(shipped) != stateOf(literal)) {
            ADD_FAILURE() << where << ": state differs";
            return false;
        }
        return true;
    }
};

struct Slider {
    float klaxon::*cell;
    float literal_klaxon::*twin;
    float min, max;
};

const Slider kSliders[] = {
    {&klaxon::decay, &literal_klaxon::decay, 0.05f, 3.0f},
    {&klaxon::depth, &literal_klaxon::depth, 0.0f, 1.0f},
    {&klaxon::speed, &literal_klaxon::speed, 0.1f, 20.0f},
    {&klaxon::sweep, &literal_klaxon::sweep, 0.0f, 1.0f},
    {&klaxon::pitch, &literal_klaxon::pitch, 20.0f, 2000.0f},
};

struct Button {
    float klaxon::*cell;
    float literal_klaxon::*twin;
};

const Button kButtons[] = {
    {&klaxon::triggerTriangle, &literal_klaxon::triggerTriangle},
    {&klaxon::triggerSquare, &literal_klaxon::triggerSquare},
    {&klaxon::triggerSaw, &literal_klaxon::triggerSaw},
    {&klaxon::triggerRevSaw, &literal_klaxon::triggerRevSaw},
    {&klaxon::triggerRandom, &literal_klaxon::triggerRandom},
};

// A random performance of `blocks` blocks: sliders jump or glide (a glide
// moves a slider a small step every block for a while), buttons are pressed
// and released singly, in pairs, over each other and during a release, and
// block sizes vary. With `wild`, values outside the ranges, non-finite
// values and odd button values join in.
void perform(Pair& pair, uint32_t seed, int blocks, bool wild, const std::string& name)
{
    std::mt19937 rng(seed);
    auto uniform = [&rng](float lo, float hi) {
        return lo + (hi - lo) * static_cast<float>(rng() >> 8) * (1.0f / 16777216.0f);
    };
    auto chance = [&rng](unsigned percent) { return rng() % 100 < percent; };
    float glideStep[5] = {};
    int glideLeft[5] = {};
    float value[5];
    for (int s = 0; s < 5; ++s) value[s] = uniform(kSliders[s].min, kSliders[s].max);

    for (int b = 0; b < blocks; ++b) {
        for (int s = 0; s < 5; ++s) {
            const Slider& sl = kSliders[s];
            if (glideLeft[s] > 0) {
                value[s] = std::min(sl.max, std::max(sl.min, value[s] + glideStep[s]));
                --glideLeft[s];
                pair.set(sl.cell, sl.twin, value[s]);
            } else if (chance(4)) {  // a jump
                value[s] = chance(20) ? (chance(50) ? sl.min : sl.max) : uniform(sl.min, sl.max);
                pair.set(sl.cell, sl.twin, value[s]);
            } else if (chance(3)) {  // a glide starts
                glideLeft[s] = 20 + static_cast<int>(rng() % 200);
                glideStep[s] = uniform(-1.0f, 1.0f) * (sl.max - sl.min) / static_cast<float>(glideLeft[s]);
            }
            if (wild && chance(2)) {
                const float odd[] = {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                                     -std::numeric_limits<float>::infinity(), sl.max * 10.0f, -sl.max - 1.0f,
                                     1e30f};
                pair.set(sl.cell, sl.twin, odd[rng() % 6]);
            }
        }
        if (chance(6)) {  // press or release one button
            const Button& bt = kButtons[rng() % 5];
            const bool down = pair.shipped.*bt.cell > 0.0f;
            pair.set(bt.cell, bt.twin, down ? 0.0f : 1.0f);
        }
        if (chance(2)) {  // two buttons at once
            const Button& a = kButtons[rng() % 5];
            const Button& c = kButtons[rng() % 5];
            pair.set(a.cell, a.twin, 1.0f);
            pair.set(c.cell, c.twin, 1.0f);
        }
        if (chance(2))  // everything released
            for (const Button& bt : kButtons) pair.set(bt.cell, bt.twin, 0.0f);
        if (wild && chance(3)) {
            const float odd[] = {0.5f, 2.0f, -1.0f, 1.7f, 3e38f, -3e38f, std::numeric_limits<float>::quiet_NaN(), 1e-30f};
            const Button& bt = kButtons[rng() % 5];
            pair.set(bt.cell, bt.twin, odd[rng() % 8]);
        }
        // Mostly held notes of Pd's 64, sometimes other sizes.
        const int count = chance(70) ? 64 : 1 + static_cast<int>(rng() % 300);
        if (!pair.block(count, name + " seed " + std::to_string(seed) + " block " + std::to_string(b))) return;
    }
}

}  // namespace

TEST(KlaxonDifferential, InRangePerformancesMatchThePlainForm)
{
    for (int rate : {44100, 48000, 96000, 50231}) {
        for (uint32_t seed = 1; seed <= 3; ++seed) {
            Pair pair(rate, false);
            perform(pair, seed * 7919u + static_cast<uint32_t>(rate), 700, false, "rate " + std::to_string(rate));
        }
    }
}

TEST(KlaxonDifferential, LongHeldNotesOfEveryShapeMatch)
{
    // Held long enough for every smoother to come to rest: the kernel's
    // held-note loop takes over from the general one.
    for (int rate : {44100, 96000}) {
        for (int shape = 0; shape < 5; ++shape) {
            Pair pair(rate, false);
            pair.set(&klaxon::depth, &literal_klaxon::depth, 1.0f);
            pair.set(&klaxon::speed, &literal_klaxon::speed, 19.0f);
            pair.set(kButtons[shape].cell, kButtons[shape].twin, 1.0f);
            const std::string where = "shape " + std::to_string(shape) + " rate " + std::to_string(rate);
            for (int b = 0; b < 2000; ++b)
                if (!pair.block(64, where + " block " + std::to_string(b))) return;
            // A slider change mid-note, a second button, a release.
            pair.set(&klaxon::sweep, &literal_klaxon::sweep, 0.9f);
            for (int b = 0; b < 40; ++b) ASSERT_TRUE(pair.block(64, where + " after sweep"));
            pair.set(kButtons[(shape + 1) % 5].cell, kButtons[(shape + 1) % 5].twin, 1.0f);
            for (int b = 0; b < 1500; ++b) ASSERT_TRUE(pair.block(64, where + " second button"));
            pair.set(kButtons[shape].cell, kButtons[shape].twin, 0.0f);
            for (int b = 0; b < 40; ++b) ASSERT_TRUE(pair.block(64, where + " one released"));
            pair.set(kButtons[(shape + 1) % 5].cell, kButtons[(shape + 1) % 5].twin, 0.0f);
            for (int b = 0; b < 200; ++b) ASSERT_TRUE(pair.block(64, where + " released"));
        }
    }
}

TEST(KlaxonDifferential, WildControlsMatchTheGuardedForm)
{
    for (int rate : {44100, 48000, 1, 100, 8000, 11025, 22050, 250000}) {
        Pair pair(rate, true);
        perform(pair, 4242u + static_cast<uint32_t>(rate), 400, true, "guarded rate " + std::to_string(rate));
    }
}

TEST(KlaxonDifferential, SaturatingCountersMatchTheGuardedForm)
{
    Pair pair(44100, true);
    pair.set(&klaxon::triggerSaw, &literal_klaxon::triggerSaw, 1.0f);
    for (int b = 0; b < 200; ++b) ASSERT_TRUE(pair.block(64, "hold"));
    pair.shipped.holdCount[1] = pair.literal.holdCount[1] = INT32_MAX - 100;
    for (int b = 0; b < 5; ++b) ASSERT_TRUE(pair.block(64, "hold saturating"));
    EXPECT_EQ(pair.shipped.holdCount[1], INT32_MAX);
    pair.set(&klaxon::triggerSaw, &literal_klaxon::triggerSaw, 0.0f);
    ASSERT_TRUE(pair.block(64, "release"));
    pair.shipped.releaseCount[1] = pair.literal.releaseCount[1] = INT32_MAX - 100;
    for (int b = 0; b < 5; ++b) ASSERT_TRUE(pair.block(64, "release saturating"));
    EXPECT_EQ(pair.shipped.releaseCount[1], INT32_MAX);
}

TEST(KlaxonDifferential, RateChangesAndClearsKeepMatching)
{
    // Remembered maths results must not outlive the rate they were made at.
    Pair pair(44100, false);
    pair.set(&klaxon::triggerSquare, &literal_klaxon::triggerSquare, 1.0f);
    for (int b = 0; b < 1500; ++b) ASSERT_TRUE(pair.block(64, "44100"));
    for (int rate : {96000, 48000, 44100}) {
        pair.shipped.instanceConstants(rate);
        pair.literal.instanceConstants(rate);
        for (int b = 0; b < 1500; ++b) ASSERT_TRUE(pair.block(64, "switched to " + std::to_string(rate)));
    }
    pair.shipped.instanceClear();
    pair.literal.instanceClear();
    for (int b = 0; b < 300; ++b) ASSERT_TRUE(pair.block(64, "after clear"));
}

TEST(KlaxonDifferential, LongGlidesWithJumpsAtRandomBlocksMatch)
{
    // Held notes (sometimes another button, sometimes none) while sliders
    // jump to random values at random blocks, so the smoothers glide nearly
    // all the time; blocks of 1 to 4096 samples (log-uniform).
    for (int rate : {22050, 44100, 96000, 192000}) {
        std::mt19937 rng(static_cast<uint32_t>(rate) * 17u);
        auto uniform = [&rng](float lo, float hi) {
            return lo + (hi - lo) * static_cast<float>(rng() >> 8) * (1.0f / 16777216.0f);
        };
        Pair pair(rate, false);
        pair.set(kButtons[0].cell, kButtons[0].twin, 1.0f);
        for (int b = 0; b < 200; ++b) {
            if (rng() % 100 < 40) {
                const Slider& sl = kSliders[rng() % 5];
                pair.set(sl.cell, sl.twin, uniform(sl.min, sl.max));
            }
            if (rng() % 100 < 4) {
                const Button& bt = kButtons[rng() % 5];
                pair.set(bt.cell, bt.twin, pair.shipped.*bt.cell > 0.0f ? 0.0f : 1.0f);
            }
            const int count = static_cast<int>(std::exp2(uniform(0.0f, 12.0f)));
            if (!pair.block(count, "rate " + std::to_string(rate) + " block " + std::to_string(b))) return;
        }
    }
}
