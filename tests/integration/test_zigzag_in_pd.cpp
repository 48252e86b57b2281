// zigzag~ in a real Pd: loading, the object's inlets and outlets, its
// messages, and its audio compared bit for bit with the zigzag kernel run
// here block by block on the same input and message schedule.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "kernels/zigzag/zigzag.h"
#include "tests/integration/support/block_run.h"
#include "tests/integration/support/plugin_model.h"
#include "tests/integration/support/recording_compare.h"
#include "tests/integration/support/test_setup.h"

using namespace quill::pdtest;

namespace {

const char* const kLoadLine = "[quill] zigzag~: 1 inputs, 2 outputs";

// A run that Pd ended itself, with every object created.
void expectHealthyRun(const RunResult& r)
{
    EXPECT_TRUE(r.pd.quitCleanly()) << r.pd.console << "\n" << r.patch;
    EXPECT_FALSE(r.pd.contains("couldn't create")) << r.pd.console;
}

// The frequency input, per block: a [sig~] whose value changes by message
// at chosen blocks.
struct FrequencySteps {
    float initial;
    std::map<int, float> changes;  // block -> new value

    float at(int block) const
    {
        float f = initial;
        for (const auto& [b, v] : changes)
            if (b <= block) f = v;
        return f;
    }
    std::vector<float> block(int b) const { return std::vector<float>(size_t(kBlockSize), at(b)); }

    // Adds the [sig~] to `run`'s patch and schedules its changes.
    int addTo(Canvas& patch, BlockRun& run) const
    {
        const int sig = patch.obj("sig~ " + number(initial));
        for (const auto& [b, v] : changes) run.send(b, sig, number(v));
        return sig;
    }
    static std::string number(float v)
    {
        char text[32];
        std::snprintf(text, sizeof text, "%.9g", double(v));
        return text;
    }
};

// The zigzag kernel at `rate`, run as the plug-in runs it.
std::vector<std::vector<float>> modelRun(int rate, int blocks, const FrequencySteps& freq,
                                         std::map<int, int> activeAt = {}, int nFade = 0)
{
    zigzag kernel;
    kernel.init(rate);
    ModelPlan plan;
    plan.blocks = blocks;
    plan.nFade = nFade;
    plan.activeAt = std::move(activeAt);
    plan.input = [&](int b, int) { return freq.block(b); };
    return runAsPlugin(kernel, plan);
}

// One zigzag~ fed by a frequency input, both signal outlets recorded.
struct OneZigzag {
    Canvas patch;
    BlockRun run;
    int z;
    int first;  // the channel of signal outlet 1; outlet 2's follows

    OneZigzag(const FrequencySteps& freq, int blocks) : run(patch, blocks)
    {
        z = patch.obj("zigzag~");
        patch.connect(freq.addTo(patch, run), 0, z, 1);
        first = run.record(z, 1);
        run.record(z, 2);
    }
};

void expectOutletsMatch(const RunResult& r, int first, const std::vector<std::vector<float>>& model,
                        const std::string& what)
{
    ASSERT_GE(r.channels.size(), size_t(first + 2)) << r.pd.console;
    EXPECT_EQ(bitDifference(r.channels[size_t(first)], model[0]), "") << what << ", outlet 1";
    EXPECT_EQ(bitDifference(r.channels[size_t(first + 1)], model[1]), "") << what << ", outlet 2";
}

}  // namespace

TEST(ZigzagLoading, PostsTheLoadLineOnceForSeveralObjects)
{
    Canvas patch;
    patch.obj("zigzag~");
    patch.obj("zigzag~ 48000");
    patch.obj("zigzag~ voice1 22050");
    BlockRun run(patch, 2);
    RunResult r = run.run(pdSetup());
    expectHealthyRun(r);
    EXPECT_EQ(r.pd.countLines(kLoadLine), 1) << r.pd.console;
}

TEST(ZigzagLoading, HasTwoInletsAndThreeOutlets)
{
    Canvas patch;
    const int src = patch.obj("sig~ 440");
    const int z = patch.obj("zigzag~");
    const int reply = patch.obj("print reply");
    const int sink1 = patch.obj("*~");
    const int sink2 = patch.obj("*~");
    const int sink3 = patch.obj("*~");
    patch.connect(src, 0, z, 0);      // the message inlet takes a signal and ignores it
    patch.connect(src, 0, z, 1);      // the frequency
    patch.connect(src, 0, z, 2);      // no such inlet
    patch.connect(z, 0, reply, 0);
    patch.connect(z, 1, sink1, 0);
    patch.connect(z, 2, sink2, 0);
    patch.connect(z, 3, sink3, 0);    // no such outlet
    BlockRun run(patch, 2);
    RunResult r = run.run(pdSetup());
    expectHealthyRun(r);

    auto failed = [&](int from, int outlet, int to, int inlet) {
        const std::string where = " " + std::to_string(from) + " " + std::to_string(outlet) + " " +
                                  std::to_string(to) + " " + std::to_string(inlet) + " (";
        int n = 0;
        for (const std::string& line : r.pd.lines())
            if (line.find("connection failed") != std::string::npos && line.find(where) != std::string::npos)
                ++n;
        return n;
    };
    EXPECT_EQ(failed(src, 0, z, 2), 1) << r.pd.console;
    EXPECT_EQ(failed(z, 3, sink3, 0), 1) << r.pd.console;
    EXPECT_EQ(r.pd.countLines("connection failed"), 2) << r.pd.console;
}

TEST(ZigzagMessages, AnswersActiveAndNothingElse)
{
    Canvas patch;
    const int z = patch.obj("zigzag~");
    BlockRun run(patch, 8);
    run.printReplies(z, "zz");
    run.send(1, z, "bang");              // no controls: nothing to describe
    run.send(1, z, "frequency 3");       // names no control: ignored
    run.send(2, z, "active");            // -> active 1
    run.send(3, z, "active 0.7");
    run.send(3, z, "active");            // -> active 0
    run.send(4, z, "active 2.5");
    run.send(4, z, "active");            // -> active 2
    run.send(5, z, "active foo");        // symbol: changes nothing, prints nothing
    run.send(5, z, "active 1 2");        // two arguments: the same
    run.send(5, z, "active");            // -> active 2
    run.send(6, z, "active -1");
    run.send(6, z, "active");            // -> active -1
    RunResult r = run.run(pdSetup());
    expectHealthyRun(r);
    EXPECT_EQ(r.printed("zz"),
              (std::vector<std::string>{"active 1", "active 0", "active 2", "active 2", "active -1"}))
        << r.pd.console;
    EXPECT_FALSE(r.pd.contains("bad control argument")) << r.pd.console;
    EXPECT_FALSE(r.pd.contains("error")) << r.pd.console;
}

TEST(ZigzagAudio, ConstantFrequencyMatchesTheKernel)
{
    const FrequencySteps freq{440.0f, {}};
    const int blocks = 40;
    OneZigzag o(freq, blocks);
    RunResult r = o.run.run(pdSetup(), 44100);
    expectHealthyRun(r);
    expectOutletsMatch(r, o.first, modelRun(44100, blocks, freq), "440 Hz at 44100");
}

TEST(ZigzagAudio, ChangingFrequenciesMatchTheKernel)
{
    // Audible, zero, negative, above half the rate, and very low frequencies.
    const FrequencySteps freq{220.0f, {{6, 3000.0f}, {11, 0.0f}, {17, -350.0f}, {23, 30000.0f},
                                       {29, 2.5f}, {35, 19999.0f}}};
    const int blocks = 42;
    OneZigzag o(freq, blocks);
    RunResult r = o.run.run(pdSetup(), 44100);
    expectHealthyRun(r);
    expectOutletsMatch(r, o.first, modelRun(44100, blocks, freq), "stepped frequency at 44100");
}

// "active 0" fades to silence over n_fade blocks, "active 1" back over as many.
class ZigzagCrossfade : public ::testing::TestWithParam<std::pair<int, int>> {};

TEST_P(ZigzagCrossfade, FadesOutAndInOverNFadeBlocks)
{
    const auto [rate, nFade] = GetParam();
    const FrequencySteps freq{440.0f, {}};
    const int off = 10;
    const int on = off + nFade + 15;
    const int blocks = on + nFade + 10;
    OneZigzag o(freq, blocks);
    o.run.send(off, o.z, "active 0");
    o.run.send(on, o.z, "active 1");
    RunResult r = o.run.run(pdSetup(), rate);
    expectHealthyRun(r);
    expectOutletsMatch(r, o.first, modelRun(rate, blocks, freq, {{off, 0}, {on, 1}}, nFade),
                       "crossfade at " + std::to_string(rate));

    // The fade-out lasts exactly n_fade blocks: the last of them still sounds,
    // the block after it is silent, and silence holds until "active 1".
    ASSERT_EQ(r.channels[size_t(o.first)].size(), size_t(blocks * kBlockSize));
    const auto& out = r.channels[size_t(o.first)];
    auto peak = [&](int b) {
        float m = 0.0f;
        for (int j = 0; j < kBlockSize; ++j) m = std::max(m, std::fabs(out[size_t(b * kBlockSize + j)]));
        return m;
    };
    EXPECT_GT(peak(off + nFade - 1), 0.0f);
    for (int b = off + nFade; b < on; ++b) EXPECT_EQ(peak(b), 0.0f) << "block " << b;
    EXPECT_GT(peak(on), 0.0f);
}

INSTANTIATE_TEST_SUITE_P(Rates, ZigzagCrossfade,
                         ::testing::Values(std::make_pair(44100, 68), std::make_pair(48000, 75)),
                         [](const ::testing::TestParamInfo<std::pair<int, int>>& p) {
                             return "at" + std::to_string(p.param.first);
                         });

TEST(ZigzagCrossfadeWhileOn, ActiveOneWhileProcessingFadesInFromSilence)
{
    const FrequencySteps freq{1000.0f, {}};
    const int blocks = 80;
    OneZigzag o(freq, blocks);
    o.run.send(4, o.z, "active 1");
    RunResult r = o.run.run(pdSetup(), 44100);
    expectHealthyRun(r);
    expectOutletsMatch(r, o.first, modelRun(44100, blocks, freq, {{4, 1}}, 68), "active 1 while on");
}

TEST(ZigzagRate, AdoptsPdsRateUnlessGivenOne)
{
    const FrequencySteps freq{440.0f, {}};
    const int blocks = 90;
    Canvas patch;
    BlockRun run(patch, blocks);
    const int sig = freq.addTo(patch, run);
    const int adopting = patch.obj("zigzag~");
    const int fixed = patch.obj("zigzag~ 44100");
    const int negative = patch.obj("zigzag~ 48000 -3");  // the last float wins: no rate
    for (int z : {adopting, fixed, negative}) patch.connect(sig, 0, z, 1);
    const int a = run.record(adopting, 1);
    run.record(adopting, 2);
    const int f = run.record(fixed, 1);
    run.record(fixed, 2);
    const int n = run.record(negative, 1);
    run.record(negative, 2);
    // A fade on the fixed-rate object lasts as long as its own rate says: 68 blocks.
    run.send(5, fixed, "active 0");
    RunResult r = run.run(pdSetup(), 48000);
    expectHealthyRun(r);
    EXPECT_EQ(r.wavSampleRate, 48000);

    expectOutletsMatch(r, a, modelRun(48000, blocks, freq), "no rate argument at 48000");
    expectOutletsMatch(r, n, modelRun(48000, blocks, freq), "rate -3 at 48000");
    expectOutletsMatch(r, f, modelRun(44100, blocks, freq, {{5, 0}}, 68), "rate 44100 in Pd at 48000");

    // The first sample is -4·f/fs: -(440 · (1/48000 · 4)).
    const float invRate = 1.0f / 48000.0f;
    const float expectedFirst = 440.0f * (invRate * 4.0f) * -1.0f;
    ASSERT_FALSE(r.channels[size_t(a)].empty());
    EXPECT_EQ(r.channels[size_t(a)][0], expectedFirst);
    EXPECT_EQ(r.channels[size_t(a) + 1][0], expectedFirst);
    const float at44100 = 440.0f * ((1.0f / 44100.0f) * 4.0f) * -1.0f;
    EXPECT_EQ(r.channels[size_t(f)][0], at44100);
}

TEST(ZigzagDynamic, DeletingObjectsWhileDspRunsIsSafe)
{
    const FrequencySteps freq{440.0f, {}};
    const int blocks = 40;
    Canvas patch;
    BlockRun run(patch, blocks);
    // A zigzag~ that stays, and one in a subpatch that is cleared at block 10.
    const int z = patch.obj("zigzag~");
    patch.connect(freq.addTo(patch, run), 0, z, 1);
    const int kept = run.record(z, 1);
    run.record(z, 2);
    Canvas& holder = patch.subpatch("holder");
    const int innerSig = holder.obj("sig~ 440");
    const int inner = holder.obj("zigzag~");
    holder.connect(innerSig, 0, inner, 1);
    const int deleted = run.record(holder, inner, 2);
    run.sendTo(10, "pd-holder", "clear");
    // Objects made and cleared again while DSP runs.
    run.sendTo(15, "pd-holder", "obj 10 10 zigzag~ 48000");
    run.sendTo(15, "pd-holder", "obj 10 40 zigzag~");
    run.sendTo(20, "pd-holder", "clear");
    RunResult r = run.run(pdSetup(), 44100);
    expectHealthyRun(r);

    const auto model = modelRun(44100, blocks, freq);
    expectOutletsMatch(r, kept, model, "the object that stays");
    // The deleted object sounded until it was deleted; its recorder went with it.
    std::vector<float> until(model[1].begin(), model[1].begin() + 10 * kBlockSize);
    until.resize(model[1].size(), 0.0f);
    ASSERT_GT(r.channels.size(), size_t(deleted));
    EXPECT_EQ(bitDifference(r.channels[size_t(deleted)], until), "");
}

TEST(ZigzagDynamic, RestartingDspManyTimesKeepsTheOutput)
{
    const FrequencySteps freq{440.0f, {{30, 5000.0f}}};
    const int blocks = 60;
    OneZigzag o(freq, blocks);
    // Fifty restarts, one before each of blocks 2 to 51; the kernel keeps its
    // state because only the first DSP start adopts a rate.
    for (int b = 2; b < 52; ++b) {
        o.run.sendTo(b, "pd", "dsp 0");
        o.run.sendTo(b, "pd", "dsp 1");
    }
    RunResult r = o.run.run(pdSetup(), 48000);
    expectHealthyRun(r);
    expectOutletsMatch(r, o.first, modelRun(48000, blocks, freq), "fifty DSP restarts");
}
