// mellow~ in a real Pd: loading, inlets and outlets, control messages as the
// console shows their replies, and audio compared bit for bit with the
// kernel run here under the same schedule.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "kernels/mellow/mellow.h"
#include "tests/integration/support/block_run.h"
#include "tests/integration/support/known_input.h"
#include "tests/integration/support/patch_writer.h"
#include "tests/integration/support/pd_runner.h"
#include "tests/integration/support/plugin_model.h"
#include "tests/integration/support/recording_compare.h"
#include "tests/integration/support/test_setup.h"

using namespace quill::pdtest;

namespace {

// A test signal known sample for sample: a low and a high sine with noise,
// quantised to multiples of 1/4096 so the patch text carries it exactly.
std::vector<float> knownSignal(int samples)
{
    std::vector<float> out(static_cast<size_t>(samples));
    uint32_t noise = 1u;
    for (int i = 0; i < samples; ++i) {
        noise = noise * 1664525u + 1013904223u;
        const float n = float(int32_t(noise >> 8) - (1 << 23)) / float(1 << 23);
        const float t = float(i);
        const float v = 0.45f * std::sin(0.0287979f * t) + 0.3f * std::sin(0.785398f * t) + 0.2f * n;
        out[size_t(i)] = std::round(v * 4096.0f) / 4096.0f;
    }
    return out;
}

// Control changes at chosen blocks, applied to the model's kernel the way
// the plug-in's cells receive them: before that block is computed.
using Schedule = std::multimap<int, std::function<void(mellow&)>>;

// The plug-in model's input callback runs once per block, in block order,
// before the kernel; it hands out the known signal and applies the schedule.
std::vector<std::vector<float>> model(mellow& kernel, int blocks, int nFade, const std::map<int, int>& activeAt,
                                      const std::vector<float>& input, const Schedule& schedule)
{
    ModelPlan plan;
    plan.blocks = blocks;
    plan.nFade = nFade;
    plan.activeAt = activeAt;
    plan.input = [&](int block, int) {
        auto range = schedule.equal_range(block);
        for (auto it = range.first; it != range.second; ++it) it->second(kernel);
        return std::vector<float>(input.begin() + block * kBlockSize, input.begin() + (block + 1) * kBlockSize);
    };
    return runAsPlugin(kernel, plan);
}

bool blockIsSilent(const std::vector<float>& s, int block)
{
    for (int j = 0; j < kBlockSize; ++j)
        if (s[size_t(block * kBlockSize + j)] != 0.0f) return false;
    return true;
}

const char* const kLoadLine = "[quill] mellow~: 1 inputs, 2 outputs";

}  // namespace

TEST(MellowInPd, LoadsOnceAndHasOneSignalInletAndTwoSignalOutlets)
{
    Canvas patch;
    const int source = patch.obj("sig~ 0.5");            // 0
    const int plain = patch.obj("mellow~");              // 1
    const int named = patch.obj("mellow~ 48000 voice1"); // 2
    const int odd = patch.obj("mellow~ 22050.9");        // 3
    const int sink = patch.obj("print~");                // 4
    for (int m : {plain, named, odd}) {
        patch.connect(source, 0, m, 1);
        patch.connect(m, 1, sink, 0);
        patch.connect(m, 2, sink, 0);
    }
    patch.connect(source, 0, plain, 2);  // no second signal inlet
    patch.connect(named, 3, sink, 0);    // no third signal outlet
    BlockRun run(patch, 2);
    RunResult r = run.run(pdSetup(), 48000);
    ASSERT_TRUE(r.pd.quitCleanly()) << r.pd.console;
    EXPECT_EQ(r.pd.countLines(kLoadLine), 1) << r.pd.console;
    EXPECT_EQ(r.pd.countLines("couldn't create"), 0) << r.pd.console;
    EXPECT_EQ(r.pd.countLines("connection failed"), 2) << r.pd.console;
    EXPECT_EQ(r.pd.countLines("0 0 1 2 (sig~->mellow~) connection failed"), 1) << r.pd.console;
    EXPECT_EQ(r.pd.countLines("2 3 4 0 (mellow~->print~) connection failed"), 1) << r.pd.console;
}

TEST(MellowInPd, DescribesReadsAndSetsControlsByAnyTailOfTheirNames)
{
    Canvas patch;
    const int a = patch.obj("mellow~");
    const int v = patch.obj("mellow~ voice1");
    BlockRun run(patch, 8);
    run.printReplies(a, "a");
    run.printReplies(v, "v");
    run.send(1, a, "bang");
    run.send(2, a, "cutoff 500");
    run.send(2, a, "cutoff");
    run.send(3, a, "mellow/cutoff 600");
    run.send(3, a, "mellow/cutoff");
    run.send(4, a, "/mellow/cutoff 700");
    run.send(4, a, "/mellow/cutoff");
    run.send(4, a, "resonanceQ 2.5");
    run.send(4, a, "bang");
    run.send(5, a, "cutoff 50000");  // stored as sent, beyond the declared range
    run.send(5, a, "cutoff");
    run.send(6, v, "cutoff 300");
    run.send(6, v, "cutoff");
    run.send(6, v, "voice1/mellow/cutoff");
    run.send(6, v, "/voice1/mellow/cutoff 320");
    run.send(6, v, "mellow/resonanceQ");
    run.send(7, v, "/voice1/mellow/cutoff");
    run.send(7, a, "cutoff");  // the other object kept its own value
    RunResult r = run.run(pdSetup(), 48000);
    ASSERT_TRUE(r.pd.quitCleanly()) << r.pd.console;

    EXPECT_EQ(r.printed("a"), (std::vector<std::string>{
                                  "hslider /mellow/cutoff 2000 2000 20 20000 0.1",
                                  "hslider /mellow/resonanceQ 1 1 0.5 15 0.01",
                                  "/mellow/cutoff 500",
                                  "/mellow/cutoff 600",
                                  "/mellow/cutoff 700",
                                  "hslider /mellow/cutoff 700 2000 20 20000 0.1",
                                  "hslider /mellow/resonanceQ 2.5 1 0.5 15 0.01",
                                  "/mellow/cutoff 50000",
                                  "/mellow/cutoff 50000",
                              }))
        << r.pd.console;
    EXPECT_EQ(r.printed("v"), (std::vector<std::string>{
                                  "/voice1/mellow/cutoff 300",
                                  "/voice1/mellow/cutoff 300",
                                  "/voice1/mellow/resonanceQ 1",
                                  "/voice1/mellow/cutoff 320",
                              }))
        << r.pd.console;
}

TEST(MellowInPd, ReportsBadArgumentsOnceAndIgnoresWhatNamesNoControl)
{
    Canvas patch;
    const int a = patch.obj("mellow~");
    const int v = patch.obj("mellow~ voice1");
    const int mark = patch.obj("print mark");
    BlockRun run(patch, 5);
    run.printReplies(a, "a");
    run.printReplies(v, "v");
    run.send(1, a, "cutoff 440");
    // Nothing at all may be printed between the two marks.
    run.send(2, mark, "quiet-begin");
    run.send(2, a, "volume 3");
    run.send(2, a, "utoff 100");        // not a whole component
    run.send(2, a, "Cutoff 100");       // case matters
    run.send(2, a, "/cutoff 100");      // a leading "/" asks for the full name
    run.send(2, v, "/mellow/cutoff 100");
    run.send(2, a, "cutoff/ 100");
    run.send(2, mark, "quiet-end");
    run.send(3, a, "cutoff 1 2");
    run.send(3, a, "cutoff foo");
    run.send(3, v, "resonanceQ 1 2");
    run.send(4, a, "cutoff");
    run.send(4, v, "cutoff");
    RunResult r = run.run(pdSetup(), 48000);
    ASSERT_TRUE(r.pd.quitCleanly()) << r.pd.console;

    const std::vector<std::string> lines = r.pd.lines();
    size_t begin = lines.size(), end = lines.size();
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i] == "mark: quiet-begin") begin = i;
        if (lines[i] == "mark: quiet-end") end = i;
    }
    ASSERT_LT(begin, lines.size()) << r.pd.console;
    ASSERT_LT(end, lines.size()) << r.pd.console;
    EXPECT_EQ(end, begin + 1) << r.pd.console;

    EXPECT_EQ(r.pd.countLines("[quill] mellow~: bad control argument: cutoff"), 2) << r.pd.console;
    EXPECT_EQ(r.pd.countLines("[quill] mellow~ voice1: bad control argument: resonanceQ"), 1) << r.pd.console;
    EXPECT_EQ(r.pd.countLines("bad control argument"), 3) << r.pd.console;
    // Nothing was changed by any of them.
    EXPECT_EQ(r.printed("a"), (std::vector<std::string>{"/mellow/cutoff 440"})) << r.pd.console;
    EXPECT_EQ(r.printed("v"), (std::vector<std::string>{"/voice1/mellow/cutoff 2000"})) << r.pd.console;
}

// The filter under control changes and crossfades, against the kernel.
class MellowAudio : public ::testing::TestWithParam<std::pair<int, int>> {};

TEST_P(MellowAudio, MatchesTheKernelBitForBitThroughControlChangesAndCrossfades)
{
    const int rate = GetParam().first;
    const int nFade = GetParam().second;  // blocks of a crossfade at this rate
    const int blocks = 300;
    const std::vector<float> input = knownSignal(blocks * kBlockSize);

    Canvas patch;
    const int source = addKnownInput(patch, "quill-mellow-in", input);
    const int m = patch.obj("mellow~");
    patch.connect(source, 0, m, 1);
    BlockRun run(patch, blocks);
    const int inChannel = run.record(source, 0);
    const int left = run.record(m, 1);
    const int right = run.record(m, 2);
    run.send(10, m, "cutoff 500");
    run.send(30, m, "resonanceQ 4");
    run.send(50, m, "active 0");   // fade out to silence, then bypassed
    run.send(140, m, "active 1");  // fade back in
    run.send(180, m, "cutoff 3000");
    run.send(230, m, "active 0");
    run.send(260, m, "active 1");  // restarts the crossfade from its full length
    RunResult r = run.run(pdSetup(), rate);
    ASSERT_TRUE(r.pd.quitCleanly()) << r.pd.console;
    ASSERT_EQ(r.channels.size(), 3u) << r.pd.console;
    ASSERT_EQ(r.channels[size_t(inChannel)], input) << "the patch did not play the known signal";

    Schedule schedule;
    schedule.emplace(10, [](mellow& k) { k.cutoff = 500.0f; });
    schedule.emplace(30, [](mellow& k) { k.resonanceQ = 4.0f; });
    schedule.emplace(180, [](mellow& k) { k.cutoff = 3000.0f; });
    mellow kernel;
    kernel.init(rate);
    const auto expected = model(kernel, blocks, nFade, {{50, 0}, {140, 1}, {230, 0}, {260, 1}}, input, schedule);

    const auto& out0 = r.channels[size_t(left)];
    const auto& out1 = r.channels[size_t(right)];
    EXPECT_EQ(bitDifference(out0, expected[0]), "");
    EXPECT_EQ(bitDifference(out1, expected[1]), "");
    EXPECT_EQ(bitDifference(out0, out1), "");

    // Unequal input and output counts: bypassed means silent, and the fade
    // out takes exactly nFade blocks.
    EXPECT_FALSE(blockIsSilent(out0, 50 + nFade - 1));
    for (int b = 50 + nFade; b < 140; ++b) ASSERT_TRUE(blockIsSilent(out0, b)) << "block " << b;
    EXPECT_FALSE(blockIsSilent(out0, 140));
}

INSTANTIATE_TEST_SUITE_P(Rates, MellowAudio,
                         ::testing::Values(std::make_pair(48000, 75), std::make_pair(44100, 68)),
                         [](const auto& p) { return "at" + std::to_string(p.param.first); });

TEST(MellowInPd, AdoptsPdsRateWhenCreatedWithoutOneAndKeepsAGivenRate)
{
    const int blocks = 110;
    const std::vector<float> input = knownSignal(blocks * kBlockSize);

    Canvas patch;
    // Set before audio starts: a subpatch's [loadbang] fires before those of
    // the top canvas, so before the run switches DSP on.
    Canvas& setup = patch.subpatch("setup");
    const int load = setup.obj("loadbang");
    const int early = setup.msg("; quill-mellow-q resonanceQ 3");
    setup.connect(load, 0, early, 0);
    const int source = addKnownInput(patch, "quill-mellow-in", input);
    const int toAll = patch.obj("r quill-mellow-q");
    const int adopting = patch.obj("mellow~");
    const int fixed = patch.obj("mellow~ 44100");
    const int truncated = patch.obj("mellow~ 22050.9");  // rate 22050, crossfade of 34 blocks
    for (int m : {adopting, fixed, truncated}) {
        patch.connect(toAll, 0, m, 0);
        patch.connect(source, 0, m, 1);
    }
    BlockRun run(patch, blocks);
    const int adoptingOut = run.record(adopting, 1);
    const int fixedOut = run.record(fixed, 2);
    const int truncatedOut = run.record(truncated, 1);
    for (int m : {adopting, fixed, truncated}) run.send(20, m, "active 0");
    // Restarting DSP re-initialises nothing: once a rate is known it stays.
    run.sendTo(40, "pd", "dsp 0");
    run.sendTo(40, "pd", "dsp 1");
    RunResult r = run.run(pdSetup(), 48000);
    ASSERT_TRUE(r.pd.quitCleanly()) << r.pd.console;
    ASSERT_EQ(r.channels.size(), 3u) << r.pd.console;

    auto expect = [&](int rate, int nFade, int output) {
        const Schedule setQ{{0, [](mellow& k) { k.resonanceQ = 3.0f; }}};
        mellow kernel;
        kernel.init(rate);
        return model(kernel, blocks, nFade, {{20, 0}}, input, setQ)[size_t(output)];
    };
    const auto& a = r.channels[size_t(adoptingOut)];
    const auto& f = r.channels[size_t(fixedOut)];
    const auto& t = r.channels[size_t(truncatedOut)];
    EXPECT_EQ(bitDifference(a, expect(48000, 75, 0)), "");
    EXPECT_EQ(bitDifference(f, expect(44100, 68, 1)), "");
    EXPECT_EQ(bitDifference(t, expect(22050, 34, 0)), "");
    EXPECT_NE(bitDifference(a, f), "") << "the two rates should filter differently";
    // The crossfade length follows each object's own rate.
    EXPECT_FALSE(blockIsSilent(t, 20 + 33));
    EXPECT_TRUE(blockIsSilent(t, 20 + 34));
    EXPECT_FALSE(blockIsSilent(f, 20 + 67));
    EXPECT_TRUE(blockIsSilent(f, 20 + 68));
    EXPECT_FALSE(blockIsSilent(a, 20 + 74));
    EXPECT_TRUE(blockIsSilent(a, 20 + 75));
}
