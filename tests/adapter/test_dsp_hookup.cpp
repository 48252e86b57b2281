// DSP starts, rate adoption, buffers, and the per-block routine: processing,
// crossfades and bypass.
#include "tests/adapter/support/adapter_fixture.h"

#include <cmath>

namespace {

constexpr bool kEqualCounts = PROBE_INPUTS == PROBE_OUTPUTS;

// What the probe computes for output o at sample j, given its input.
float probeOut(float in, float gain, float offset, int o, float counter)
{
    return in * gain + offset + static_cast<float>(o) + counter;
}

void fillInputs(const std::vector<t_signal*>& sp, int n)
{
    const int first = QUILL_LEVELER_REVISION ? 0 : 1;
    for (int i = 0; i < PROBE_INPUTS; ++i)
        for (int j = 0; j < n; ++j) sp[first + i]->s_vec[j] = 0.25f * static_cast<float>(j) - static_cast<float>(i);
}

float* inputVec(const std::vector<t_signal*>& sp, int i) { return sp[(QUILL_LEVELER_REVISION ? 0 : 1) + i]->s_vec; }
float* outputVec(const std::vector<t_signal*>& sp, int o)
{
    return sp[(QUILL_LEVELER_REVISION ? 0 : 1) + PROBE_INPUTS + o]->s_vec;
}

float inputFor(const std::vector<t_signal*>& sp, int o, int j)
{
    if (PROBE_INPUTS == 0) return 0.0f;
    return inputVec(sp, o < PROBE_INPUTS ? o : PROBE_INPUTS - 1)[j];
}

}  // namespace

TEST_F(AdapterTest, FirstDspStartAdoptsPdsRateKeepingControls)
{
    t_quill* x = create();
    send(x, "gain", {host::floatAtom(3)});
    send(x, "offset", {host::floatAtom(-0.25f)});
    startDsp(x, 64, 48000);
    EXPECT_EQ(x->rate, 48000);
    EXPECT_EQ(kernel(x)->sampleRate, 48000);
    EXPECT_EQ(kernel(x)->initCalls, 2);
    EXPECT_EQ(kernel(x)->gain, 3.0f);
    EXPECT_EQ(kernel(x)->offset, -0.25f);
    EXPECT_EQ(x->n_fade, 75);
    ASSERT_EQ(host::record().chain.size(), 1u);
    EXPECT_EQ(host::record().chain[0].routine, &quill_perform);
    EXPECT_EQ(host::record().chain[0].args[1], 64);

    startDsp(x, 64, 44100);
#if QUILL_LEVELER_REVISION
    EXPECT_EQ(kernel(x)->initCalls, 3);  // follows every change of rate
    EXPECT_EQ(kernel(x)->sampleRate, 44100);
    EXPECT_EQ(kernel(x)->gain, 3.0f);
#else
    EXPECT_EQ(kernel(x)->initCalls, 2);  // adopted once, then fixed
    EXPECT_EQ(kernel(x)->sampleRate, 48000);
#endif
    EXPECT_EQ(x->n_fade, QUILL_LEVELER_REVISION ? 68 : 75);
    startDsp(x, 64, 44100);
    EXPECT_EQ(kernel(x)->initCalls, QUILL_LEVELER_REVISION ? 3 : 2);
}

TEST_F(AdapterTest, CreationRateIsKeptOrFollowedByRevision)
{
    t_quill* x = create({host::floatAtom(44100)});
    startDsp(x, 64, 48000);
    EXPECT_EQ(kernel(x)->sampleRate, QUILL_LEVELER_REVISION ? 48000 : 44100);
    EXPECT_EQ(x->n_fade, QUILL_LEVELER_REVISION ? 75 : 68);
    startDsp(x, 1024, 48000);
    EXPECT_EQ(x->n_fade, QUILL_LEVELER_REVISION ? 4 : 4);  // 4800 / 1024 and 4410 / 1024, truncated
}

TEST_F(AdapterTest, ProcessingCopiesTheKernelOutput)
{
    t_quill* x = create();
    std::vector<t_signal*> sp = startDsp(x, 8, 44100);
    fillInputs(sp, 8);
    send(x, "gain", {host::floatAtom(2)});
    host::runChain();
    for (int o = 0; o < PROBE_OUTPUTS; ++o)
        for (int j = 0; j < 8; ++j)
            EXPECT_EQ(outputVec(sp, o)[j], probeOut(inputFor(sp, o, j), 2.0f, 0.5f, o, static_cast<float>(j)));
    if (PROBE_INPUTS == 0) {
        EXPECT_TRUE(kernel(x)->sawNullInputs);
    }
}

TEST_F(AdapterTest, PerformRunsWithFlushToZeroAndRestoresTheMode)
{
#if defined(__x86_64__)
    t_quill* x = create();
    startDsp(x, 8, 44100);
    unsigned before = 0;
    asm volatile("stmxcsr %0" : "=m"(before) : : "memory");
    host::runChain();
    unsigned after = 0;
    asm volatile("stmxcsr %0" : "=m"(after) : : "memory");
    EXPECT_EQ(kernel(x)->fpControlSeen & 0x8040u, 0x8040u);
    EXPECT_EQ(after, before);
    EXPECT_EQ(before & 0x8040u, 0u);  // loading and creating changed nothing either
#elif defined(__aarch64__)
    t_quill* x = create();
    startDsp(x, 8, 44100);
    uint64_t before = 0;
    asm volatile("mrs %0, fpcr" : "=r"(before) : : "memory");
    host::runChain();
    uint64_t after = 0;
    asm volatile("mrs %0, fpcr" : "=r"(after) : : "memory");
    EXPECT_EQ(kernel(x)->fpControlSeen & (1u << 24), 1u << 24);
    EXPECT_EQ(after, before);
    EXPECT_EQ(before & (uint64_t{1} << 24), 0u);
#else
    GTEST_SKIP() << "x86-64 and 64-bit Arm only";
#endif
}

// Sample by sample: weights fall from fade/n_fade to (fade-1)/n_fade within
// a block, in single precision.
TEST_F(AdapterTest, CrossfadeWeightsSampleBySample)
{
    t_quill* x = create();
    const int n = 64;
    std::vector<t_signal*> sp = startDsp(x, n, 44100);
    ASSERT_EQ(x->n_fade, 68);
    for (int phase = 0; phase < 2; ++phase) {
        const bool on = phase == 1;
        send(x, "active", {host::floatAtom(on ? 1.0f : 0.0f)});
        EXPECT_EQ(x->fade, 68);
        for (int block = 0; block < 68; ++block) {
            fillInputs(sp, n);
            const float counter0 = kernel(x)->counter;
            const int fade = x->fade;
            host::runChain();
            EXPECT_EQ(x->fade, fade - 1);
            const float d = 1.0f / 68.0f;
            float w = static_cast<float>(fade) * d;
            const float s = d / static_cast<float>(n);
            for (int j = 0; j < n; ++j) {
                for (int o = 0; o < PROBE_OUTPUTS; ++o) {
                    const float wet = probeOut(inputFor(sp, o, j), 1.0f, 0.5f, o, counter0 + static_cast<float>(j));
                    float expected;
                    if (kEqualCounts)
                        expected = on ? w * inputFor(sp, o, j) + (1.0f - w) * wet
                                      : w * wet + (1.0f - w) * inputFor(sp, o, j);
                    else
                        expected = on ? (1.0f - w) * wet : w * wet;
                    ASSERT_EQ(outputVec(sp, o)[j], expected) << "block " << block << " sample " << j;
                }
                w = w - s;
            }
        }
        EXPECT_EQ(x->fade, 0);
    }
    // The last block of the fade-in ends at the kernel's own output.
    host::runChain();
    EXPECT_EQ(outputVec(sp, 0)[0], probeOut(inputFor(sp, 0, 0), 1.0f, 0.5f, 0, kernel(x)->counter - 64.0f));
}

TEST_F(AdapterTest, BypassHoldsTheKernel)
{
    t_quill* x = create();
    std::vector<t_signal*> sp = startDsp(x, 16, 6000);  // 600 / 16: a short fade
    send(x, "active", {host::floatAtom(0)});
    const int fadeBlocks = x->fade;
    for (int b = 0; b < fadeBlocks; ++b) host::runChain();
    const int computes = kernel(x)->computeCalls;
    const float counter = kernel(x)->counter;
    fillInputs(sp, 16);
    host::runChain();
    EXPECT_EQ(kernel(x)->computeCalls, computes);
    EXPECT_EQ(kernel(x)->counter, counter);
    for (int o = 0; o < PROBE_OUTPUTS; ++o)
        for (int j = 0; j < 16; ++j) EXPECT_EQ(outputVec(sp, o)[j], kEqualCounts ? inputVec(sp, o)[j] : 0.0f);
}

TEST_F(AdapterTest, NoCrossfadeWhenTheFadeIsShorterThanABlock)
{
    t_quill* x = create();
    std::vector<t_signal*> sp = startDsp(x, 64, 600);
    ASSERT_EQ(x->n_fade, 0);
    send(x, "active", {host::floatAtom(0)});
    EXPECT_EQ(x->fade, 0);
    host::runChain();
    EXPECT_EQ(kernel(x)->computeCalls, 0);
}

TEST_F(AdapterTest, RestartingDspDoesNotGrowMemory)
{
    t_quill* x = create();
    startDsp(x, 64, 44100);
    const long held = failing_memory::liveBlocks();
    for (int i = 0; i < 50; ++i) startDsp(x, 64, i % 2 ? 44100.0f : 48000.0f);
    EXPECT_EQ(failing_memory::liveBlocks(), held);
    startDsp(x, 256, 48000);
    host::runChain();  // the new, larger buffers are in use
    destroy(x);
}

TEST_F(AdapterTest, EveryDspAllocationFailureLeavesASilentHarmlessObject)
{
    {
        t_quill* sizing = create();
        failing_memory::failAt(1000);
        startDsp(sizing, 64, 48000);
        ASSERT_GT(failing_memory::allocationsSinceArm(), 0);
    }
    const int allocations = failing_memory::allocationsSinceArm();
    for (int k = 1; k <= allocations; ++k) {
        SCOPED_TRACE(k);
        const long before = failing_memory::liveBlocks();
        t_quill* x = create();
        send(x, "gain", {host::floatAtom(4)});
        failing_memory::failAt(k);
        std::vector<t_signal*> sp = startDsp(x, 64, 48000);
        failing_memory::failAt(0);
        for (int o = 0; o < PROBE_OUTPUTS; ++o) outputVec(sp, o)[3] = 123.0f;  // stale samples
        host::runChain();
        host::runChain();
        if (x->scratch == nullptr) {
            for (int o = 0; o < PROBE_OUTPUTS; ++o) EXPECT_EQ(outputVec(sp, o)[3], 0.0f);
        } else {
            // Only the value store failed: the kernel restarted at its defaults.
            EXPECT_EQ(kernel(x)->gain, 1.0f);
        }
        send(x, "active", {host::floatAtom(0)});
        host::runChain();
        destroy(x);
        EXPECT_EQ(failing_memory::liveBlocks(), before);
    }
}

// Bypassed with equal counts, the input passes unchanged even when Pd hands
// the object output vectors that are its own inputs, crosswise.
TEST_F(AdapterTest, BypassSurvivesOutputsThatAreOtherInputs)
{
    if (!kEqualCounts || PROBE_INPUTS < 2) GTEST_SKIP() << "needs two inputs and two outputs";
    t_quill* x = create();
    std::vector<t_signal*> sp = startDsp(x, 16, 6000);
    send(x, "active", {host::floatAtom(0)});
    x->fade = 0;
    fillInputs(sp, 16);
    const std::vector<float> in0(inputVec(sp, 0), inputVec(sp, 0) + 16);
    const std::vector<float> in1(inputVec(sp, 1), inputVec(sp, 1) + 16);
    x->outputs[0] = x->inputs[1];
    x->outputs[1] = x->inputs[0];
    host::runChain();
    for (int j = 0; j < 16; ++j) {
        EXPECT_EQ(x->outputs[0][j], in0[static_cast<size_t>(j)]);
        EXPECT_EQ(x->outputs[1][j], in1[static_cast<size_t>(j)]);
    }
}

// Processing in place: when Pd hands the object an output vector that is one
// of its inputs, every output is still computed from the input as it was.
TEST_F(AdapterTest, ProcessingSurvivesAnOutputThatIsAnInput)
{
    if (PROBE_INPUTS == 0) GTEST_SKIP() << "needs an input";
    t_quill* x = create();
    std::vector<t_signal*> sp = startDsp(x, 8, 44100);
    fillInputs(sp, 8);
    const std::vector<float> in0(inputVec(sp, 0), inputVec(sp, 0) + 8);
    x->outputs[0] = x->inputs[0];
    host::runChain();
    for (int o = 0; o < PROBE_OUTPUTS; ++o)
        for (int j = 0; j < 8; ++j) {
            const float in = o < PROBE_INPUTS && o > 0 ? inputVec(sp, o)[j] : in0[static_cast<size_t>(j)];
            EXPECT_EQ(x->outputs[o][j], probeOut(in, 1.0f, 0.5f, o, static_cast<float>(j))) << o << " " << j;
        }
}

// Bypassed at every kind of block size (short blocks are copied in line,
// long ones by the C library), with vectors apart and with each output
// vector the same as its input, as Pd hands them out when nothing else
// reads the input.
TEST_F(AdapterTest, BypassPassesEveryBlockSizeApartAndInPlace)
{
    for (int n : {1, 2, 3, 4, 7, 8, 13, 15, 16, 17, 64, 1024}) {
        for (bool inPlace : {false, true}) {
            SCOPED_TRACE(testing::Message() << "n " << n << (inPlace ? " in place" : " apart"));
            t_quill* x = create();
            std::vector<t_signal*> sp = startDsp(x, n, 600);
            send(x, "active", {host::floatAtom(0)});
            while (x->fade > 0) host::runChain();
            const int computes = kernel(x)->computeCalls;
            if (inPlace)
                for (int o = 0; o < PROBE_OUTPUTS && o < PROBE_INPUTS; ++o) x->outputs[o] = x->inputs[o];
            fillInputs(sp, n);
            std::vector<std::vector<float>> before;
            for (int i = 0; i < PROBE_INPUTS; ++i) before.emplace_back(inputVec(sp, i), inputVec(sp, i) + n);
            for (int o = 0; o < PROBE_OUTPUTS; ++o)
                if (x->outputs[o] != (o < PROBE_INPUTS ? x->inputs[o] : nullptr))
                    std::fill(x->outputs[o], x->outputs[o] + n, 99.0f);  // stale samples
            host::runChain();
            for (int o = 0; o < PROBE_OUTPUTS; ++o)
                for (int j = 0; j < n; ++j)
                    ASSERT_EQ(x->outputs[o][j], kEqualCounts ? before[static_cast<size_t>(o)][static_cast<size_t>(j)] : 0.0f)
                        << "output " << o << " sample " << j;
            EXPECT_EQ(kernel(x)->computeCalls, computes);
            destroy(x);
        }
    }
}
