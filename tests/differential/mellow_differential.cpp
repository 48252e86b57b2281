// mellow's shipped kernel against its literal form, bit for bit: outputs and
// every field after every block, over random inputs, block sizes, rates and
// control changes (jumps, glides and long settled stretches).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "kernels/mellow/mellow.h"
#include "tests/differential/random_signals.h"
#include "tests/literal/literal_mellow.h"

namespace {

using differential::RandomSignal;
using differential::sameBits;

::testing::AssertionResult sameState(const mellow& k, const literal_mellow& l)
{
    const float a[] = {k.piOverRate, k.smoothIn, k.cutoff, k.smoothPole, k.cutoffSmooth[0], k.cutoffSmooth[1],
                       k.resonanceQ, k.resonanceQSmooth[0], k.resonanceQSmooth[1], k.lowpassState[0],
                       k.lowpassState[1], k.lowpassState[2]};
    const float b[] = {l.piOverRate, l.smoothIn, l.cutoff, l.smoothPole, l.cutoffSmooth[0], l.cutoffSmooth[1],
                       l.resonanceQ, l.resonanceQSmooth[0], l.resonanceQSmooth[1], l.lowpassState[0],
                       l.lowpassState[1], l.lowpassState[2]};
    if (k.sampleRate != l.sampleRate) return ::testing::AssertionFailure() << "sampleRate";
    for (std::size_t n = 0; n < sizeof a / sizeof a[0]; ++n)
        if (!sameBits(a[n], b[n])) return ::testing::AssertionFailure() << "field " << n << ": " << a[n] << " vs " << b[n];
    return ::testing::AssertionSuccess();
}

// Both smoothers at their fixed points: the block the kernel takes its short way through.
bool settled(const literal_mellow& l)
{
    const float cutoffIn = l.smoothIn * l.cutoff, qIn = l.smoothIn * l.resonanceQ;
    return sameBits(l.smoothPole * l.cutoffSmooth[1] + cutoffIn, l.cutoffSmooth[1]) &&
           sameBits(l.smoothPole * l.resonanceQSmooth[1] + qIn, l.resonanceQSmooth[1]);
}

// Controls that jump, glide block by block towards a target, or hold still
// for long enough to settle. Cutoffs stay below the kernel's ceiling of
// 0.49 of the rate (at 44100 Hz and above the whole declared range does).
class RandomControls {
public:
    RandomControls(std::mt19937& rng, int rate) : rng_(rng), maxCutoff_(std::min(20000.0f, 0.49f * static_cast<float>(rate))) {}

    // Called before each block; changes k's and l's cells alike.
    template <class A, class B>
    void apply(A& k, B& l)
    {
        if (hold_ > 0) {
            --hold_;
        } else if (glide_ > 0) {
            --glide_;
            cutoff_ *= cutoffStep_;
            q_ += qStep_;
        } else {
            const int what = std::uniform_int_distribution<int>(0, 3)(rng_);
            if (what == 0) {  // jump
                cutoff_ = randomCutoff();
                q_ = randomQ();
            } else if (what == 1) {  // glide over some blocks
                glide_ = std::uniform_int_distribution<int>(2, 60)(rng_);
                cutoffStep_ = std::pow(randomCutoff() / cutoff_, 1.0f / static_cast<float>(glide_));
                qStep_ = (randomQ() - q_) / static_cast<float>(glide_);
            } else {  // hold, often long enough for the smoothers to settle
                hold_ = std::uniform_int_distribution<int>(1, 900)(rng_);
            }
        }
        cutoff_ = std::min(maxCutoff_, std::max(20.0f, cutoff_));
        q_ = std::min(15.0f, std::max(0.5f, q_));
        k.cutoff = l.cutoff = cutoff_;
        k.resonanceQ = l.resonanceQ = q_;
    }

private:
    std::mt19937& rng_;
    float maxCutoff_;
    float cutoff_ = 2000.0f, q_ = 1.0f, cutoffStep_ = 1.0f, qStep_ = 0.0f;
    int hold_ = 0, glide_ = 0;

    float randomCutoff()
    {
        return std::exp(std::uniform_real_distribution<float>(std::log(20.0f), std::log(maxCutoff_))(rng_));
    }
    float randomQ() { return std::uniform_real_distribution<float>(0.5f, 15.0f)(rng_); }
};

// Runs `blocks` random blocks through both forms; returns how many started settled.
int runScenario(int rate, unsigned seed, int blocks)
{
    std::mt19937 rng(seed);
    mellow k;
    literal_mellow l;
    k.init(rate);
    l.init(rate);
    RandomSignal signal(rng, -1.0f, 1.0f, static_cast<float>(rate));
    RandomControls controls(rng, rate);
    std::uniform_int_distribution<int> sizes(1, 256);
    int settledBlocks = 0;
    for (int b = 0; b < blocks; ++b) {
        const int n = b % 3 == 0 ? 64 : sizes(rng);
        controls.apply(k, l);
        if (settled(l)) ++settledBlocks;
        std::vector<float> in = signal.next(n, 0.02);
        // Now and then the input buffer is also an output buffer, as Pd may arrange.
        const int alias = std::uniform_int_distribution<int>(0, 9)(rng);
        std::vector<float> kIn = in, k0(in.size()), k1(in.size()), l0(in.size()), l1(in.size());
        float* kIns[1] = {kIn.data()};
        float* kOuts[2] = {alias == 0 ? kIn.data() : k0.data(), alias == 1 ? kIn.data() : k1.data()};
        float* lIns[1] = {in.data()};
        float* lOuts[2] = {l0.data(), l1.data()};
        k.compute(n, kIns, kOuts);
        l.compute(n, lIns, lOuts);
        const std::vector<float>& got0 = alias == 0 ? kIn : k0;
        const std::vector<float>& got1 = alias == 1 ? kIn : k1;
        if (!sameBits(got0, l0) || !sameBits(got1, l1)) {
            ADD_FAILURE() << "outputs differ: rate " << rate << " seed " << seed << " block " << b;
            return settledBlocks;
        }
        const ::testing::AssertionResult state = sameState(k, l);
        if (!state) {
            ADD_FAILURE() << "state differs: rate " << rate << " seed " << seed << " block " << b << ": " << state.message();
            return settledBlocks;
        }
    }
    return settledBlocks;
}

}  // namespace

TEST(MellowDifferential, RandomScenariosMatchBitForBit)
{
    for (int rate : {44100, 48000, 96000, 50021, 192000, 22050}) {
        int settledBlocks = 0;
        for (unsigned seed = 1; seed <= differential::kSeeds; ++seed)
            settledBlocks += runScenario(rate, seed * 7919u + static_cast<unsigned>(rate), 3000);
        // The settled stretches really reach the short path.
        EXPECT_GT(settledBlocks, 300) << rate;
    }
}

TEST(MellowDifferential, SettlingFromInitMatchesBitForBit)
{
    // Default controls from init, a steady input, long enough to settle
    // both smoothers, then a jump that sets them gliding again.
    for (int rate : {44100, 96000}) {
        mellow k;
        literal_mellow l;
        k.init(rate);
        l.init(rate);
        std::vector<float> in(64, 0.5f), k0(64), k1(64), l0(64), l1(64);
        float* ins[1] = {in.data()};
        float* kOuts[2] = {k0.data(), k1.data()};
        float* lOuts[2] = {l0.data(), l1.data()};
        int firstSettled = -1;
        for (int b = 0; b < 4000; ++b) {
            if (b == 3000) k.cutoff = l.cutoff = 20000.0f;
            if (firstSettled < 0 && settled(l)) firstSettled = b;
            k.compute(64, ins, kOuts);
            l.compute(64, ins, lOuts);
            ASSERT_TRUE(sameBits(k0, l0) && sameBits(k1, l1)) << rate << " block " << b;
            ASSERT_TRUE(sameState(k, l)) << rate << " block " << b;
        }
        EXPECT_GT(firstSettled, 0) << rate;
        EXPECT_LT(firstSettled, 3000) << rate;
    }
}

TEST(MellowDifferential, LongGlidesWithJumpsAtRandomBlocksMatch)
{
    // Cutoff and Q jump to random values at random blocks, so the smoothers
    // glide nearly all the time; blocks of 1 to 4096 samples (log-uniform).
    // A second pass keeps Q, whose smoother comes to rest while the cutoff's glides.
    for (bool moveQ : {true, false})
    for (int rate : {22050, 44100, 96000, 192000}) {
        std::mt19937 rng(static_cast<unsigned>(rate) * 13u);
        mellow k;
        literal_mellow l;
        k.init(rate);
        l.init(rate);
        RandomSignal signal(rng, -1.0f, 1.0f, static_cast<float>(rate));
        const float top = std::min(20000.0f, 0.49f * static_cast<float>(rate));
        std::uniform_real_distribution<float> logCutoff(std::log(20.0f), std::log(top)), q(0.5f, 15.0f), octaves(0.0f, 12.0f);
        for (int b = 0; b < 200; ++b) {
            if (rng() % 100 < 30) k.cutoff = l.cutoff = std::exp(logCutoff(rng));
            if (moveQ && rng() % 100 < 20) k.resonanceQ = l.resonanceQ = q(rng);
            const int n = static_cast<int>(std::exp2(octaves(rng)));
            std::vector<float> in = signal.next(n, 0.02), k0(in.size()), k1(in.size()), l0(in.size()), l1(in.size());
            float* ins[1] = {in.data()};
            float* kOuts[2] = {k0.data(), k1.data()};
            float* lOuts[2] = {l0.data(), l1.data()};
            k.compute(n, ins, kOuts);
            l.compute(n, ins, lOuts);
            ASSERT_TRUE(sameBits(k0, l0) && sameBits(k1, l1)) << "rate " << rate << " block " << b << " moveQ " << moveQ;
            ASSERT_TRUE(sameState(k, l)) << "rate " << rate << " block " << b << " moveQ " << moveQ;
        }
    }
}
