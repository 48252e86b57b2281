// The voices of a multichannel mellow~: every lane gives exactly the bits of
// a single-channel kernel fed that channel alone, with the controls moving
// between blocks (gliding and resting weights), any channel count and block
// size; a poisoned voice restarts alone.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "kernels/mellow/mellow.h"
#include "kernels/mellow/mellow_voices.h"

namespace {

bool sameBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

}  // namespace

TEST(MellowVoices, EveryLaneGivesTheSingleChannelBits)
{
    std::mt19937 rng(9);
    std::uniform_real_distribution<float> sample(-1.0f, 1.0f), cutoff(20.0f, 20000.0f), q(0.5f, 15.0f);
    std::uniform_int_distribution<int> blockSizes(1, 300), pick(0, 3);
    for (int channels : {1, 2, 3, 4, 5, 8, 16}) {
        for (int rate : {44100, 96000}) {
            mellow shared;
            shared.init(rate);
            std::vector<mellow> single(static_cast<size_t>(channels));
            for (mellow& k : single) k.init(rate);
            std::vector<float> bank(mellow_voices::bankFloats(channels), 0.0f);
            for (int block = 0; block < 60; ++block) {
                // Now and then a new cutoff or Q: the smoothers glide, then rest.
                if (pick(rng) == 0) {
                    const float c = cutoff(rng), r = q(rng);
                    shared.cutoff = c;
                    shared.resonanceQ = r;
                    for (mellow& k : single) {
                        k.cutoff = c;
                        k.resonanceQ = r;
                    }
                }
                const int n = blockSizes(rng);
                std::vector<std::vector<float>> in(static_cast<size_t>(channels), std::vector<float>(size_t(n)));
                for (auto& v : in)
                    for (float& x : v) x = sample(rng);
                std::vector<std::vector<float>> out0 = in, out1 = in;
                std::vector<const float*> ins;
                std::vector<float*> o0, o1;
                for (int c = 0; c < channels; ++c) {
                    ins.push_back(in[size_t(c)].data());
                    o0.push_back(out0[size_t(c)].data());
                    o1.push_back(c % 2 ? out1[size_t(c)].data() : o0.back());  // some outlets share a vector
                }
                mellow_voices::compute(shared, bank.data(), channels, n, ins.data(), o0.data(), o1.data());
                for (int c = 0; c < channels; ++c) {
                    std::vector<float> x = in[size_t(c)], a(static_cast<size_t>(n)), b(static_cast<size_t>(n));
                    float* kin[1] = {x.data()};
                    float* kout[2] = {a.data(), b.data()};
                    single[size_t(c)].compute(n, kin, kout);
                    for (int i = 0; i < n; ++i)
                        ASSERT_TRUE(sameBits(o0[size_t(c)][i], a[size_t(i)]) && sameBits(o1[size_t(c)][i], a[size_t(i)]))
                            << channels << " channels, channel " << c << ", block " << block << ", sample " << i;
                }
            }
        }
    }
}

TEST(MellowVoices, APoisonedVoiceRestartsAloneAndCarriedVoicesKeepTheirState)
{
    mellow shared, reference;
    shared.init(48000);
    reference.init(48000);
    std::vector<float> bank(mellow_voices::bankFloats(3), 0.0f);
    std::vector<float> ok(64, 0.5f), bad(64, std::numeric_limits<float>::quiet_NaN()), o(64 * 3);
    const float* ins[3] = {ok.data(), bad.data(), ok.data()};
    float* outs[3] = {o.data(), o.data() + 64, o.data() + 128};
    mellow_voices::compute(shared, bank.data(), 3, 64, ins, outs, outs);
    float* rin[1] = {ok.data()};
    float* rout[2] = {o.data(), o.data()};
    reference.compute(64, rin, rout);
    mellow first, poisoned;
    mellow_voices::toKernel(bank.data(), 3, 0, first);
    mellow_voices::toKernel(bank.data(), 3, 1, poisoned);
    EXPECT_EQ(first.lowpassState[1], reference.lowpassState[1]);
    EXPECT_EQ(poisoned.lowpassState[1], 0.0f);
    EXPECT_EQ(poisoned.lowpassState[2], 0.0f);
    // Two channels become five: the first two keep their memory, the rest start cleared.
    std::vector<float> five(mellow_voices::bankFloats(5), 0.0f);
    mellow_voices::carryOver(bank.data(), 3, five.data(), 5);
    mellow kept, fresh;
    mellow_voices::toKernel(five.data(), 5, 0, kept);
    mellow_voices::toKernel(five.data(), 5, 4, fresh);
    EXPECT_EQ(kept.lowpassState[2], reference.lowpassState[2]);
    EXPECT_EQ(fresh.lowpassState[1], 0.0f);
}
