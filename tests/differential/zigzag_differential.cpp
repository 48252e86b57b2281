// zigzag's shipped kernel against its literal form, bit for bit: outputs and
// every field after every block, over random frequency signals (silence,
// noise, sines, ramps, steps, negative and beyond the rate), block sizes and
// rates.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "kernels/zigzag/zigzag.h"
#include "tests/differential/random_signals.h"
#include "tests/literal/literal_zigzag.h"

namespace {

using differential::RandomSignal;
using differential::sameBits;

::testing::AssertionResult sameState(const zigzag& k, const literal_zigzag& l)
{
    const float a[] = {k.clampedRate, k.ampScale,      k.invRate,       k.maxFrequency, k.phase[0],  k.phase[1],
                       k.integrator[0], k.integrator[1], k.frequency[0], k.frequency[1], k.output[0], k.output[1]};
    const float b[] = {l.clampedRate, l.ampScale,      l.invRate,       l.maxFrequency, l.phase[0],  l.phase[1],
                       l.integrator[0], l.integrator[1], l.frequency[0], l.frequency[1], l.output[0], l.output[1]};
    if (k.sampleRate != l.sampleRate) return ::testing::AssertionFailure() << "sampleRate";
    if (k.levelInOutputUnits != l.levelInOutputUnits) return ::testing::AssertionFailure() << "levelInOutputUnits";
    for (std::size_t n = 0; n < sizeof a / sizeof a[0]; ++n)
        if (!sameBits(a[n], b[n])) return ::testing::AssertionFailure() << "field " << n << ": " << a[n] << " vs " << b[n];
    return ::testing::AssertionSuccess();
}

// Feeds `blocks` random blocks of frequencies within ±`span`·rate through both forms.
void runScenario(int rate, unsigned seed, int blocks, float span)
{
    std::mt19937 rng(seed);
    zigzag k;
    literal_zigzag l;
    k.init(rate);
    l.init(rate);
    const float fs = static_cast<float>(rate);
    // Mostly audible frequencies; now and then the whole range, where the
    // phase moves by more than half a cycle or runs backwards.
    RandomSignal audible(rng, 20.0f, 0.45f * fs, fs);
    RandomSignal wide(rng, -span * fs, span * fs, fs);
    std::uniform_int_distribution<int> sizes(1, 256), pick(0, 9);
    for (int b = 0; b < blocks; ++b) {
        const int n = b % 3 == 0 ? 64 : sizes(rng);
        std::vector<float> in = pick(rng) < 8 ? audible.next(n, 0.05) : wide.next(n, 0.3);
        for (float& f : in)
            if (std::fabs(f) < 1e-30f) f = 0.0f;  // subnormal frequencies are guarded: not compared here
        const int alias = pick(rng);
        std::vector<float> kIn = in, k0(in.size()), k1(in.size()), l0(in.size()), l1(in.size());
        float* kIns[1] = {kIn.data()};
        float* kOuts[2] = {alias == 0 ? kIn.data() : k0.data(), alias == 1 ? kIn.data() : k1.data()};
        float* lIns[1] = {in.data()};
        float* lOuts[2] = {l0.data(), l1.data()};
        k.compute(n, kIns, kOuts);
        l.compute(n, lIns, lOuts);
        const std::vector<float>& got0 = alias == 0 ? kIn : k0;
        const std::vector<float>& got1 = alias == 1 ? kIn : k1;
        ASSERT_TRUE(sameBits(got0, l0) && sameBits(got1, l1)) << "rate " << rate << " seed " << seed << " block " << b;
        ASSERT_TRUE(sameState(k, l)) << "rate " << rate << " seed " << seed << " block " << b;
    }
}

}  // namespace

TEST(ZigzagDifferential, RandomScenariosMatchBitForBit)
{
    for (int rate : {44100, 48000, 96000, 22051, 192000, 8000, 1, 384000, 1536000, 4000000}) {
        for (unsigned seed = 1; seed <= differential::kSeeds; ++seed) {
            runScenario(rate, seed * 104729u + static_cast<unsigned>(rate), 2000, 1.6f);
            if (HasFatalFailure()) return;
        }
    }
}

TEST(ZigzagDifferential, ExtremeFrequenciesMatchBitForBit)
{
    // Frequencies far beyond the rate put p + dt well outside [-1, 2): the
    // library floor and remainders take over there.
    for (int rate : {44100, 100}) {
        runScenario(rate, 17u + static_cast<unsigned>(rate), 400, 3000.0f);
        if (HasFatalFailure()) return;
    }
}

TEST(ZigzagDifferential, EdgesOfThePhaseMatchBitForBit)
{
    // Increments that land exactly on 0.5, 1 and the wrap, and a held frequency of 0.
    for (int rate : {44100, 48000}) {
        const float fs = static_cast<float>(rate);
        std::vector<float> in;
        for (float f : {0.5f * fs, 0.25f * fs, fs, -fs, 0.0f, -0.0f, 0.125f * fs, -0.5f * fs, 2.0f * fs, 1.0f})
            in.insert(in.end(), 37, f);
        zigzag k;
        literal_zigzag l;
        k.init(rate);
        l.init(rate);
        for (std::size_t at = 0; at < in.size(); at += 16) {
            const int n = static_cast<int>(std::min<std::size_t>(16, in.size() - at));
            std::vector<float> k0(16), k1(16), l0(16), l1(16);
            float* ins[1] = {in.data() + at};
            float* kOuts[2] = {k0.data(), k1.data()};
            float* lOuts[2] = {l0.data(), l1.data()};
            k.compute(n, ins, kOuts);
            l.compute(n, ins, lOuts);
            ASSERT_TRUE(sameBits(k0, l0) && sameBits(k1, l1)) << rate << " at " << at;
            ASSERT_TRUE(sameState(k, l)) << rate << " at " << at;
        }
    }
}

TEST(ZigzagDifferential, ConstantFrequenciesKeepTheBareOscillatorsBits)
{
    // Clamp, rescaling, mirroring and the limit act only when the frequency
    // changes, runs backwards or leaves the bare oscillator's range: a
    // constant frequency below half the rate plays exactly as before.
    std::mt19937 rng(7);
    for (int rate : {1, 100, 8000, 22050, 44100, 48000, 96000, 192000}) {
        std::uniform_real_distribution<float> cycles(0.0f, 0.5f);
        for (int trial = 0; trial < 40; ++trial) {
            const float f = cycles(rng) * static_cast<float>(rate);
            if (!(f * (1.0f / static_cast<float>(rate)) < 0.5f) || f == 0.0f) continue;
            zigzag k;
            literal_zigzag bare;
            bare.unguarded = true;
            k.init(rate);
            bare.init(rate);
            std::vector<float> in(64, f), k0(64), k1(64), b0(64), b1(64);
            float* ins[1] = {in.data()};
            float* kOuts[2] = {k0.data(), k1.data()};
            float* bOuts[2] = {b0.data(), b1.data()};
            float peak = 0.0f;
            for (int block = 0; block < 200; ++block) {
                k.compute(64, ins, kOuts);
                bare.compute(64, ins, bOuts);
                for (float y : b0) peak = std::max(peak, std::fabs(y));
                if (peak > 2.0f) break;  // the bare oscillator's rare drift: the limit holds it
                ASSERT_TRUE(sameBits(k0, b0) && sameBits(k1, b1)) << rate << " Hz " << f << " block " << block;
            }
        }
    }
}
