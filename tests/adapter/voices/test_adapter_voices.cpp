// The adapter around a kernel with voices (zigzag, mellow; the build picks
// one) against the host double of a Pd with multichannel signals: every
// channel of both outlets equals a one-channel object fed that channel alone,
// through controls and "active" switches; channel-count changes keep the
// voices that remain; a failed allocation leaves the object silent.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "tests/adapter/support/host_fixture.h"

#if QUILL_HEADER_HAS_MULTICHANNEL

namespace {

constexpr int kBlock = 64;

// One object in the chain: its signals as "dsp" got them (outlets replaced by
// signal_setmultiout), and its input channels.
struct Placed {
    t_quill* x;
    std::vector<t_signal*> sp;
    int channels;

    float* in(int c) const { return sp[1]->s_vec + c * kBlock; }
    const float* out(int outlet, int c) const { return sp[size_t(2 + outlet)]->s_vec + c * kBlock; }
};

class VoicesTest : public HostTest {
protected:
    // Adds the object to the chain (not clearing it) with `channels` at its inlet.
    static Placed place(t_quill* x, int channels)
    {
        Placed p{x, {host::makeSignal(kBlock, 44100, 1), host::makeSignal(kBlock, 44100, channels),
                     host::makeSignal(kBlock, 44100, 1), host::makeSignal(kBlock, 44100, 1), nullptr},
                 channels};
        quill_dsp(x, p.sp.data());
        return p;
    }
    static void send(t_quill* x, const char* selector, float v) { HostTest::send(x, selector, {host::floatAtom(v)}); }
};

// An input sample for channel c: frequencies that step and glide for
// zigzag, noise for mellow.
float sample(std::mt19937& rng, int c, int block)
{
    if (QUILL_KERNEL_NAME[0] == 'z') return 100.0f * static_cast<float>(c + 1) + 37.0f * static_cast<float>(block % 7);
    return std::uniform_real_distribution<float>(-1.0f, 1.0f)(rng);
}

bool same(const float* a, const float* b) { return std::memcmp(a, b, sizeof(float) * kBlock) == 0; }

}  // namespace

TEST_F(VoicesTest, EveryChannelEqualsAOneChannelObject)
{
    for (int channels : {2, 3, 5, 8, 16}) {
        host::record().chain.clear();
        const Placed multi = place(create(), channels);
        ASSERT_EQ(multi.sp[2]->s_nchans, channels);
        ASSERT_EQ(multi.sp[3]->s_nchans, channels);
        std::vector<Placed> single;
        for (int c = 0; c < channels; ++c) single.push_back(place(create(), 1));
        std::mt19937 rng(static_cast<unsigned>(channels));
        for (int block = 0; block < 120; ++block) {
            if (block == 3 || block == 40 || block == 70) {  // zigzag~ ignores it
                send(multi.x, "cutoff", block == 40 ? 300.0f : 5000.0f);
                for (const Placed& s : single) send(s.x, "cutoff", block == 40 ? 300.0f : 5000.0f);
            }
            if (block == 20 || block == 30) {
                send(multi.x, "active", block == 20 ? 0.0f : 1.0f);
                for (const Placed& s : single) send(s.x, "active", block == 20 ? 0.0f : 1.0f);
            }
            for (int c = 0; c < channels; ++c)
                for (int j = 0; j < kBlock; ++j) single[size_t(c)].in(0)[j] = multi.in(c)[j] = sample(rng, c, block);
            host::runChain();
            for (int c = 0; c < channels; ++c) {
                ASSERT_TRUE(same(multi.out(0, c), single[size_t(c)].out(0, 0))) << channels << " channels, channel " << c << ", block " << block;
                ASSERT_TRUE(same(multi.out(1, c), single[size_t(c)].out(0, 0))) << channels << " channels, channel " << c << ", block " << block;
            }
        }
    }
}

TEST_F(VoicesTest, ChannelCountChangesKeepTheVoicesThatRemain)
{
    // 3 channels, then 5, then 2: every channel goes on as its one-channel
    // twin. A twin whose channel is missing is fed zeros (0 Hz, silence),
    // which leaves it as an added voice must start: a zigzag at rest, a
    // mellow with a cleared delay line under the shared, running controls.
    t_quill* x = create();
    std::vector<t_quill*> twin;
    for (int c = 0; c < 5; ++c) twin.push_back(create());
    std::mt19937 rng(3);
    int block = 0;
    for (int channels : {3, 5, 2}) {
        host::record().chain.clear();
        const Placed multi = place(x, channels);
        std::vector<Placed> twins;
        for (t_quill* t : twin) twins.push_back(place(t, 1));
        for (int end = block + 25; block < end; ++block) {
            if (block == 10) {
                send(x, "cutoff", 700.0f);
                for (t_quill* t : twin) send(t, "cutoff", 700.0f);
            }
            for (int c = 0; c < 5; ++c)
                for (int j = 0; j < kBlock; ++j) {
                    const float v = sample(rng, c, block);
                    twins[size_t(c)].in(0)[j] = c < channels ? v : 0.0f;
                    if (c < channels) multi.in(c)[j] = v;
                }
            host::runChain();
            for (int c = 0; c < channels; ++c)
                ASSERT_TRUE(same(multi.out(0, c), twins[size_t(c)].out(0, 0)))
                    << channels << " channels, channel " << c << ", block " << block;
        }
    }
}

TEST_F(VoicesTest, AFailedAllocationLeavesTheObjectSilent)
{
    // As a one-channel object without its buffers: silent from then on.
    for (int k = 1; k <= 4; ++k) {
        t_quill* x = create();
        host::record().chain.clear();
        place(x, 2);
        failing_memory::failAt(k);
        host::record().chain.clear();
        const Placed p = place(x, 6);
        const bool failed = failing_memory::allocationsSinceArm() >= k;
        failing_memory::failAt(0);
        for (int block = 0; block < 3; ++block) {
            for (int c = 0; c < 6; ++c)
                for (int j = 0; j < kBlock; ++j) p.in(c)[j] = 500.0f;
            host::runChain();
        }
        bool silent = true;
        for (int c = 0; c < 6; ++c)
            for (int j = 0; j < kBlock; ++j) silent = silent && p.out(0, c)[j] == 0.0f && p.out(1, c)[j] == 0.0f;
        EXPECT_EQ(silent, failed) << "allocation " << k;
    }
}

#else
TEST(VoicesTest, NeedsAMultichannelHeader)
{
    GTEST_SKIP() << "built against a Pd header without multichannel signals: see the multichannel tests in real Pd 0.55.2";
}
#endif
