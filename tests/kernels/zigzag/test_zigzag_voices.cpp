// The voices of a multichannel zigzag~: every lane gives exactly the bits of
// a single-channel kernel fed that channel alone, whatever the channel count,
// the block sizes and the frequency signals (steps, glides, 0 Hz, negative,
// beyond half the rate, NaN); voices carried over to a new count keep their
// state.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "kernels/zigzag/zigzag.h"
#include "kernels/zigzag/zigzag_voices.h"

namespace {

// A frequency signal with held values, jumps, glides, zeros and oddities.
std::vector<float> frequencies(std::mt19937& rng, size_t length, float rate)
{
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    std::uniform_int_distribution<int> kind(0, 9), hold(1, 300);
    std::vector<float> f;
    float from = 0.0f;
    while (f.size() < length) {
        const int k = kind(rng);
        const float to = k == 0   ? 0.0f
                         : k == 1 ? std::numeric_limits<float>::quiet_NaN()
                         : k == 2 ? 2.0f * rate * unit(rng)
                                  : 0.3f * rate * unit(rng) * std::fabs(unit(rng));
        const int n = hold(rng);
        const bool glide = k >= 6 && std::isfinite(to);
        for (int i = 0; i < n; ++i) f.push_back(glide ? from + (to - from) * static_cast<float>(i) / static_cast<float>(n) : to);
        if (std::isfinite(to)) from = to;
    }
    f.resize(length);
    return f;
}

bool sameBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

}  // namespace

TEST(ZigzagVoices, EveryLaneGivesTheSingleChannelBits)
{
    std::mt19937 rng(5);
    std::uniform_int_distribution<int> blockSizes(1, 300);
    for (int channels : {1, 2, 3, 4, 5, 8, 16}) {
        for (int rate : {44100, 8000, 1}) {
            const size_t length = 6000;
            std::vector<std::vector<float>> in;
            for (int c = 0; c < channels; ++c) in.push_back(frequencies(rng, length, static_cast<float>(rate)));
            std::vector<zigzag> single(static_cast<size_t>(channels));
            for (zigzag& k : single) k.init(rate);
            zigzag constants;
            constants.init(rate);
            std::vector<float> bank(zigzag_voices::bankFloats(channels), 0.0f);
            std::vector<std::vector<float>> out0(static_cast<size_t>(channels), std::vector<float>(length));
            std::vector<std::vector<float>> out1 = out0;
            for (size_t at = 0; at < length;) {
                const int n = static_cast<int>(std::min<size_t>(static_cast<size_t>(blockSizes(rng)), length - at));
                std::vector<const float*> ins;
                std::vector<float*> o0, o1;
                for (int c = 0; c < channels; ++c) {
                    ins.push_back(in[size_t(c)].data() + at);
                    o0.push_back(out0[size_t(c)].data() + at);
                    o1.push_back(out1[size_t(c)].data() + at);
                }
                zigzag_voices::compute(constants, bank.data(), channels, n, ins.data(), o0.data(), o1.data());
                at += static_cast<size_t>(n);
            }
            for (int c = 0; c < channels; ++c) {
                std::vector<float> a(length), b(length), f = in[size_t(c)];
                float* ins[1] = {f.data()};
                float* outs[2] = {a.data(), b.data()};
                single[size_t(c)].compute(static_cast<int>(length), ins, outs);
                for (size_t i = 0; i < length; ++i) {
                    ASSERT_TRUE(sameBits(out0[size_t(c)][i], a[i]) && sameBits(out1[size_t(c)][i], a[i]))
                        << channels << " channels at " << rate << ", channel " << c << " sample " << i << ": "
                        << out0[size_t(c)][i] << " vs " << a[i];
                }
            }
        }
    }
}

TEST(ZigzagVoices, CarriedVoicesKeepTheirStateAndNewOnesStartCleared)
{
    zigzag k;
    k.init(48000);
    std::vector<float> three(zigzag_voices::bankFloats(3), 0.0f);
    std::vector<float> f(100, 700.0f), o(100);
    const float* ins[3] = {f.data(), f.data(), f.data()};
    float* outs[3] = {o.data(), o.data(), o.data()};
    zigzag_voices::compute(k, three.data(), 3, 100, ins, outs, outs);
    std::vector<float> five(zigzag_voices::bankFloats(5), 0.0f);
    zigzag_voices::carryOver(three.data(), 3, five.data(), 5);
    zigzag kept, fresh;
    zigzag_voices::toKernel(five.data(), 5, 2, kept);
    zigzag_voices::toKernel(five.data(), 5, 4, fresh);
    zigzag reference, cleared;
    reference.init(48000);
    cleared.init(48000);
    float* rin[1] = {f.data()};
    float* rout[2] = {o.data(), o.data()};
    reference.compute(100, rin, rout);
    EXPECT_EQ(kept.phase[1], reference.phase[1]);
    EXPECT_EQ(kept.integrator[1], reference.integrator[1]);
    EXPECT_EQ(fresh.phase[1], cleared.phase[1]);
    EXPECT_EQ(fresh.integrator[1], cleared.integrator[1]);
    // And back: a kernel's state into a bank and out again is unchanged.
    std::vector<float> one(zigzag_voices::bankFloats(1), 0.0f);
    zigzag_voices::fromKernel(reference, one.data(), 1, 0);
    zigzag back;
    zigzag_voices::toKernel(one.data(), 1, 0, back);
    EXPECT_EQ(back.output[1], reference.output[1]);
    EXPECT_EQ(back.frequency[1], reference.frequency[1]);
}

TEST(ZigzagVoices, HeldFrequenciesKeepTheSingleChannelBits)
{
    // Held frequencies take a short way that skips the corrections far from
    // the jumps; phases that land on a window's edge, increments of exactly
    // 1/4, 0.225 and 0.43716 (where the limit acts), 0 Hz and the highest
    // frequency played must still give the scalar bits.
    const int rate = 44100;
    zigzag constants;
    constants.init(rate);
    const float held[] = {0.25f * rate, 0.225f * rate, 0.43716f * rate, 440.0f, 0.0f, constants.maxFrequency,
                          1.0f, 11025.5f, 3000.0f, 0.125f * rate, 20.0f, 7000.0f, 0.33333334f * rate};
    const int channels = static_cast<int>(sizeof held / sizeof held[0]);
    const size_t length = 20000;
    std::vector<std::vector<float>> in, out(static_cast<size_t>(channels), std::vector<float>(length));
    for (float f : held) in.emplace_back(length, f);
    std::vector<float> bank(zigzag_voices::bankFloats(channels), 0.0f);
    std::vector<const float*> ins;
    std::vector<float*> outs;
    for (int c = 0; c < channels; ++c) {
        ins.push_back(in[size_t(c)].data());
        outs.push_back(out[size_t(c)].data());
    }
    zigzag_voices::compute(constants, bank.data(), channels, static_cast<int>(length), ins.data(), outs.data(), outs.data());
    for (int c = 0; c < channels; ++c) {
        zigzag single;
        single.init(rate);
        std::vector<float> f = in[size_t(c)], a(length), b(length);
        float* kin[1] = {f.data()};
        float* kout[2] = {a.data(), b.data()};
        single.compute(static_cast<int>(length), kin, kout);
        for (size_t i = 0; i < length; ++i)
            ASSERT_TRUE(sameBits(out[size_t(c)][i], a[i])) << held[c] << " Hz, sample " << i;
    }
}
