// The siren's sound: generator, silence, envelope timing, pitch, LFO shapes
// and restarts, and the whole chain against a step-by-step model.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "tests/literal/literal_klaxon.h"
#include "tests/kernels/klaxon/klaxon_run.h"

namespace {

// Envelope as the counters define it.
float envelopeOf(const klaxon& k)
{
    return std::max(0.0f, std::min(1.0f, static_cast<float>(k.holdCount[1]) * k.attackStep) -
                              static_cast<float>(k.releaseCount[1]) / std::max(1.0f, k.decayLatched[1] * k.clampedRate));
}

}  // namespace

TEST(KlaxonNoise, RestartsAfterEveryClearWhateverTheControls)
{
    auto setters = {+[](klaxon&) {},
                    +[](klaxon& k) { k.triggerRandom = 1.0f; },
                    +[](klaxon& k) {
                        k.triggerSaw = 3.0f;
                        k.speed = 20.0f;
                        k.pitch = 2000.0f;
                        k.depth = 1.0f;
                    }};
    for (auto set : setters) {
        klaxon k;
        k.init(44100);
        set(k);
        for (int round = 0; round < 2; ++round) {
            stepKlaxon(k);
            EXPECT_EQ(k.noiseState[1], 12345);
            stepKlaxon(k);
            EXPECT_EQ(k.noiseState[1], -740551042);
            runKlaxon(k, 100);
            k.instanceClear();
            EXPECT_EQ(k.noiseState[0], 0);
            EXPECT_EQ(k.noiseState[1], 0);
        }
    }
}

TEST(KlaxonEnvelope, SilentBeforeAnyPress)
{
    for (int rate : {1, 8000, 44100, 192000}) {
        klaxon k;
        k.init(rate);
        k.sweep = 1.0f, k.depth = 1.0f, k.pitch = 2000.0f;
        for (float y : runKlaxon(k, 5000)) ASSERT_EQ(y, 0.0f) << rate;
        EXPECT_EQ(k.holdCount[1], 0);
        EXPECT_EQ(k.releaseCount[1], 5000);
    }
}

TEST(KlaxonEnvelope, AttackReachesFullLevelOnThe45thSampleAt44100)
{
    klaxon k;
    k.init(44100);
    runKlaxon(k, 64);
    k.triggerTriangle = 1.0f;
    for (int n = 1; n <= 200; ++n) {
        stepKlaxon(k);
        ASSERT_EQ(k.holdCount[1], n);
        ASSERT_EQ(k.releaseCount[1], 0);
        const float env = envelopeOf(k);
        if (n < 45) ASSERT_LT(env, 1.0f) << n;
        else ASSERT_EQ(env, 1.0f) << n;
    }
    EXPECT_EQ(envelopeOf(k), 1.0f);
}

TEST(KlaxonEnvelope, ReleaseFromFullLevelLasts44100SamplesWithDecayOne)
{
    klaxon k;
    k.init(44100);
    k.triggerSquare = 1.0f;
    runKlaxon(k, 1000);
    k.decayLatched[1] = 1.0f;  // as latched at the press
    releaseAll(k);
    std::vector<float> y = runKlaxon(k, 44200);
    EXPECT_EQ(k.holdCount[1], 1000);  // frozen
    // Sample n (from 0) has releaseCount n + 1.
    EXPECT_NE(y[44098], 0.0f);
    for (size_t n = 44099; n < y.size(); ++n) ASSERT_EQ(y[n], 0.0f) << n;
    EXPECT_EQ(k.decayLatched[1], 1.0f);
}

TEST(KlaxonEnvelope, PressInTheFirstBlockLatchesOneSmootherStep)
{
    klaxon k;
    k.init(44100);
    k.decay = 2.0f;
    k.triggerSaw = 1.0f;
    stepKlaxon(k);
    EXPECT_EQ(k.decayLatched[1], k.smoothIn * 2.0f);
    runKlaxon(k, 200);
    EXPECT_EQ(k.decayLatched[1], k.smoothIn * 2.0f);  // no new press
    // About a tenth of a second later a press latches within 1 %.
    releaseAll(k);
    runKlaxon(k, 4700 - 201);
    k.triggerRevSaw = 1.0f;
    stepKlaxon(k);
    EXPECT_NEAR(k.decayLatched[1], 2.0f, 0.02f);
}

TEST(KlaxonPitch, DepthZeroFromTheStartKeepsThePitchExact)
{
    auto buttons = {&klaxon::triggerRandom, &klaxon::triggerRevSaw, &klaxon::triggerSaw, &klaxon::triggerTriangle,
                    &klaxon::triggerSquare};
    for (auto button : buttons) {
        klaxon k;
        k.init(44100);
        k.depth = 0.0f;
        k.pitch = 440.0f;
        k.*button = 1.0f;
        const float inc = (1.0f / 44100.0f) * 440.0f;
        float phase = 0.0f;
        for (int n = 0; n < 3000; ++n) {
            if (n == 1500) releaseAll(k);  // the falling envelope must not bend it either
            stepKlaxon(k);
            ASSERT_EQ(k.depthSmooth[1], 0.0f);
            phase = phase + inc;
            phase = phase - std::floor(phase);
            ASSERT_EQ(k.oscPhase[1], phase) << n;
        }
    }
}

TEST(KlaxonLfo, ShapeCodesOfSingleAndCombinedPresses)
{
    struct Case {
        float klaxon::*a;
        float klaxon::*b;
        float code;
    };
    const Case cases[] = {
        {&klaxon::triggerTriangle, nullptr, 0.0f},
        {&klaxon::triggerSquare, nullptr, 1.0f},
        {&klaxon::triggerSaw, nullptr, 2.0f},
        {&klaxon::triggerRevSaw, nullptr, 3.0f},
        {&klaxon::triggerRandom, nullptr, 4.0f},
        {&klaxon::triggerSaw, &klaxon::triggerRevSaw, 5.0f},
        {&klaxon::triggerTriangle, &klaxon::triggerSquare, 1.0f},
    };
    for (const Case& c : cases) {
        klaxon k;
        k.init(44100);
        k.triggerSaw = 1.0f;  // an earlier note leaves code 2 and a running LFO
        runKlaxon(k, 3000);
        releaseAll(k);
        runKlaxon(k, 64);
        const float before = k.lfoPhase[1];
        ASSERT_GT(before, 0.0f);
        k.*c.a = 1.0f;
        if (c.b) k.*c.b = 1.0f;
        stepKlaxon(k);
        EXPECT_EQ(k.shapeLatched[1], c.code);
        // The LFO restarts: frac(speed step + (1 - edge) * previous phase).
        const float edge = c.b ? 2.0f : 1.0f;
        const float q = k.speedSmooth[1] * k.invRate + (1.0f - edge) * before;
        EXPECT_EQ(k.lfoPhase[1], q - std::floor(q));
        runKlaxon(k, 500);
        EXPECT_EQ(k.shapeLatched[1], c.code);  // held until the next press
    }
}

TEST(KlaxonLfo, RandomStepsChangeOnlyWhenThePhaseFallsBack)
{
    klaxon k;
    k.init(8000);
    k.speed = 20.0f;
    k.triggerRandom = 1.0f;
    int changes = 0;
    float previousPhase = 0.0f, previousValue = 0.0f;
    for (int n = 0; n < 4000; ++n) {
        stepKlaxon(k);
        const bool fell = k.lfoPhase[1] < previousPhase;
        if (fell) {
            ++changes;
            EXPECT_EQ(k.noiseHeld[1], static_cast<float>(k.noiseState[1]) * 4.656613e-10f);
        } else {
            EXPECT_EQ(k.noiseHeld[1], previousValue) << n;
        }
        EXPECT_GE(k.noiseHeld[1], -1.0f);
        EXPECT_LT(k.noiseHeld[1], 1.0f);
        previousPhase = k.lfoPhase[1];
        previousValue = k.noiseHeld[1];
    }
    EXPECT_GE(changes, 8);  // about ten cycles in half a second
}

// The whole chain against the step-by-step model, with controls moving
// between blocks across the whole of their ranges.
TEST(KlaxonExactness, MatchesTheStepByStepDescription)
{
    for (int rate : {44100, 48000, 96000, 192000}) {
        klaxon k;
        k.init(rate);
        LiteralKlaxon ref(rate);
        float y[64], y1[64], r[64];
        for (int b = 0; b < 900; ++b) {
            const float t = static_cast<float>(b);
            const float sweep = (b / 50) % 2 ? 1.0f : 0.37f;
            const float decay = b < 300 ? 0.05f + 0.01f * static_cast<float>(b % 7) : 3.0f - 0.3f * static_cast<float>(b % 10);
            const float depth = static_cast<float>(b % 11) * 0.1f, speed = 0.1f + 19.9f * std::fabs(std::sin(t * 0.1f));
            const float pitch = b < 450 ? 20.0f + static_cast<float>(b * 7 % 1981) : 2000.0f;
            const int phase = b % 40;
            const float saw = phase < 10 ? 1.0f : 0.0f, square = phase >= 5 && phase < 15 ? 1.0f : 0.0f;
            const float revSaw = (b / 40) % 3 == 1 && phase == 20 ? 1.0f : 0.0f;
            const float random = (b / 40) % 3 == 2 && phase >= 20 && phase < 30 ? 1.0f : 0.0f;
            const float triangle = (b / 40) % 4 == 3 && phase >= 18 && phase < 24 ? 1.0f : 0.0f;
            k.sweep = ref.sweep = sweep;
            k.decay = ref.decay = decay;
            k.depth = ref.depth = depth;
            k.speed = ref.speed = speed;
            k.pitch = ref.pitch = pitch;
            k.triggerSaw = ref.saw = saw;
            k.triggerSquare = ref.square = square;
            k.triggerRevSaw = ref.revSaw = revSaw;
            k.triggerRandom = ref.random = random;
            k.triggerTriangle = ref.triangle = triangle;
            float* outs[2] = {y, y1};
            k.compute(64, nullptr, outs);
            ref.block(64, r);
            for (int i = 0; i < 64; ++i) {
                ASSERT_EQ(y[i], r[i]) << rate << " block " << b << " sample " << i;
                ASSERT_EQ(y1[i], r[i]);
            }
        }
    }
}

TEST(KlaxonPitch, RightFarAbove192kHz)
{
    // One second at pitch 440 without modulation: 440 cycles of the oscillator.
    for (int rate : {384000, 768000, 1536000}) {
        klaxon k;
        k.init(rate);
        k.depth = 0.0f;
        k.pitch = 440.0f;
        k.triggerSquare = 1.0f;
        runKlaxon(k, rate / 10);  // the pitch smoother settles
        int wraps = 0;
        float last = k.oscPhase[1];
        for (int block = 0; block < rate / 64; ++block) {
            runKlaxon(k, 64);
            if (k.oscPhase[1] < last) ++wraps;  // at most one wrap per block below 44 kHz
            last = k.oscPhase[1];
        }
        EXPECT_NEAR(wraps, 440 * (rate / 64) * 64 / rate, 1) << rate;
    }
}
