// leveler~ in a real Pd: loading, creation flags, control messages as the
// console shows their replies, audio compared bit for bit with the kernel run
// here under the same schedule, the object following Pd's sample rate, and
// (in a Pd with multichannel signals) the "-m" mode.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "kernels/leveler/leveler.h"
#include "tests/integration/support/block_run.h"
#include "tests/integration/support/known_input.h"
#include "tests/integration/support/patch_writer.h"
#include "tests/integration/support/pd_runner.h"
#include "tests/integration/support/plugin_model.h"
#include "tests/integration/support/recording_compare.h"

using namespace quill::pdtest;

namespace {

const char* const kLoadLine = "[quill] leveler~: 1 inputs, 1 outputs";

// A test signal known sample for sample, quantised to multiples of 1/4096 so
// the patch text carries it exactly: two sines under a slowly swelling level
// (from silence, which gates the hiss, to loud enough to drive the
// compressor and the clipper) plus a little noise. `seed` gives other noise
// and other pitches, for a second channel.
std::vector<float> knownSignal(int samples, uint32_t seed = 1u)
{
    std::vector<float> out(static_cast<size_t>(samples));
    uint32_t noise = seed;
    const float pitch = 1.0f + 0.37f * float(seed - 1u);
    for (int i = 0; i < samples; ++i) {
        noise = noise * 1664525u + 1013904223u;
        const float n = float(int32_t(noise >> 8) - (1 << 23)) / float(1 << 23);
        const float t = float(i);
        const float level = 0.5f - 0.5f * std::cos(0.0009f * t);
        const float v = level * (0.6f * std::sin(0.0287979f * pitch * t) + 0.25f * std::sin(0.31f * pitch * t)) +
                        0.02f * level * n;
        out[size_t(i)] = std::round(v * 4096.0f) / 4096.0f + 0.0f;  // no -0: [tabwrite~] records it as +0
    }
    return out;
}

// Messages that reach the objects before audio starts: a subpatch's
// [loadbang] fires before those of the top canvas, so before the run
// switches DSP on.
void sendBeforeDsp(Canvas& patch, const std::string& messages)
{
    Canvas& early = patch.subpatch("early");
    const int load = early.obj("loadbang");
    const int box = early.msg(messages);
    early.connect(load, 0, box, 0);
}

// Connects receiver `name` to the leftmost inlet of `object`.
void receiveAs(Canvas& patch, const std::string& name, int object)
{
    const int r = patch.obj("r " + name);
    patch.connect(r, 0, object, 0);
}

// Intensity changes at chosen blocks: block -> value stored in the cell
// before that block is computed, as the plug-in's message handler does.
using IntensityPlan = std::map<int, float>;

// The plug-in model over blocks [first, first + blocks) of `input`. The
// model's input callback runs once per block, in block order, before the
// kernel: it hands out the known signal and applies the intensity changes.
std::vector<float> model(leveler& kernel, int first, int blocks, int nFade, const std::map<int, int>& activeAt,
                         const std::vector<float>& input, const IntensityPlan& intensity = {})
{
    ModelPlan plan;
    plan.blocks = blocks;
    plan.nFade = nFade;
    for (const auto& [block, value] : activeAt) plan.activeAt[block - first] = value;
    plan.input = [&](int b, int) {
        const int block = first + b;
        if (auto it = intensity.find(block); it != intensity.end()) kernel.intensity = it->second;
        return std::vector<float>(input.begin() + block * kBlockSize, input.begin() + (block + 1) * kBlockSize);
    };
    return runAsPlugin(kernel, plan)[0];
}

// True when block `block` of `a` and `b` are the same bit for bit.
bool sameBlock(const std::vector<float>& a, const std::vector<float>& b, int block)
{
    return std::memcmp(&a[size_t(block * kBlockSize)], &b[size_t(block * kBlockSize)],
                       sizeof(float) * kBlockSize) == 0;
}

std::vector<float> concat(std::vector<float> a, const std::vector<float>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

}  // namespace

TEST(LevelerInPd, LoadsOnceAndAnswersControlMessages)
{
    Canvas patch;
    const int a = patch.obj("leveler~");
    const int b = patch.obj("leveler~");
    BlockRun run(patch, 6);
    run.printReplies(a, "a");
    run.printReplies(b, "b");
    run.send(1, a, "bang");
    run.send(2, a, "intensity 0.7");
    run.send(2, a, "intensity");
    run.send(2, a, "leveler/intensity");
    run.send(2, a, "active");
    run.send(3, a, "active 0.5");  // a boolean switch: any nonzero value is on
    run.send(3, a, "active");
    run.send(3, a, "active 0");
    run.send(3, a, "active");
    run.send(4, a, "intensity foo");
    run.send(4, a, "intensity 1 2");
    run.send(4, a, "intensity");
    run.send(5, b, "intensity");  // the other object kept its own value
    run.send(5, b, "intensity 1.5");
    run.send(5, b, "bang");        // stored as sent, beyond the declared range
    RunResult r = run.run(PdSetup::fromEnvironment());
    ASSERT_TRUE(r.pd.quitCleanly()) << r.pd.console;

    EXPECT_EQ(r.pd.countLines(kLoadLine), 1) << r.pd.console;
    EXPECT_EQ(r.printed("a"), (std::vector<std::string>{
                                  "hslider /leveler/intensity 0.3 0.3 0 1 0.01",
                                  "/leveler/intensity 0.7",
                                  "/leveler/intensity 0.7",
                                  "active 1",
                                  "active 1",
                                  "active 0",
                                  "/leveler/intensity 0.7",
                              }))
        << r.pd.console;
    EXPECT_EQ(r.printed("b"), (std::vector<std::string>{
                                  "/leveler/intensity 0.3",
                                  "hslider /leveler/intensity 1.5 0.3 0 1 0.01",
                              }))
        << r.pd.console;
    EXPECT_EQ(r.pd.countLines("[quill] leveler~: bad control argument: intensity"), 2) << r.pd.console;
    EXPECT_EQ(r.pd.countLines("bad control argument"), 2) << r.pd.console;
}

// Flags come first; "-x" is reported and skipped, "-m" after the rate is the
// instance id, and "-m" in front keeps one signal inlet and one signal outlet
// (in a Pd without multichannel signals it is an ordinary object). Each of
// them processes its input as the kernel does.
TEST(LevelerInPd, CreationFlagsAndInstanceIds)
{
    const int blocks = 40;
    const std::vector<float> input = knownSignal(blocks * kBlockSize);
    Canvas patch;
    const int source = addKnownInput(patch, "quill-leveler-in", input);
    const int flagged = patch.obj("leveler~ -x");
    const int named = patch.obj("leveler~ 48000 -m");
    const int multi = patch.obj("leveler~ -m");
    const int sink = patch.obj("print~");
    for (int l : {flagged, named, multi}) {
        patch.connect(source, 0, l, 1);
        patch.connect(l, 1, sink, 0);
    }
    patch.connect(source, 0, multi, 2);  // no second signal inlet
    patch.connect(multi, 2, sink, 0);    // no second signal outlet
    BlockRun run(patch, blocks);
    run.printReplies(flagged, "x");
    run.printReplies(named, "n");
    run.printReplies(multi, "m");
    const int flaggedOut = run.record(flagged, 1);
    const int namedOut = run.record(named, 1);
    const int multiOut = run.record(multi, 1);
    run.send(1, flagged, "bang");
    run.send(1, named, "bang");
    run.send(1, multi, "bang");
    run.send(2, named, "intensity 0.9");
    run.send(2, named, "/-m/leveler/intensity");
    run.send(3, named, "foo/leveler/intensity");  // matches nothing: no reply
    RunResult r = run.run(PdSetup::fromEnvironment(), 44100);
    ASSERT_TRUE(r.pd.quitCleanly()) << r.pd.console;

    EXPECT_EQ(r.pd.countLines(kLoadLine), 1) << r.pd.console;
    EXPECT_EQ(r.pd.countLines("couldn't create"), 0) << r.pd.console;
    EXPECT_EQ(r.pd.countLines("leveler~: ignore unknown flag '-x"), 1) << r.pd.console;
    EXPECT_EQ(r.pd.countLines("ignore unknown flag"), 1) << r.pd.console;
    EXPECT_EQ(r.pd.countLines("connection failed"), 2) << r.pd.console;
    EXPECT_EQ(r.pd.countLines("(tabread~->leveler~) connection failed"), 1) << r.pd.console;
    EXPECT_EQ(r.pd.countLines("(leveler~->print~) connection failed"), 1) << r.pd.console;
    EXPECT_EQ(r.pd.countLines("multichannel"), 0) << r.pd.console;

    EXPECT_EQ(r.printed("x"), (std::vector<std::string>{"hslider /leveler/intensity 0.3 0.3 0 1 0.01"}))
        << r.pd.console;
    EXPECT_EQ(r.printed("n"), (std::vector<std::string>{"hslider /-m/leveler/intensity 0.3 0.3 0 1 0.01",
                                                        "/-m/leveler/intensity 0.9"}))
        << r.pd.console;
    EXPECT_EQ(r.printed("m"), (std::vector<std::string>{"hslider /leveler/intensity 0.3 0.3 0 1 0.01"}))
        << r.pd.console;

    ASSERT_EQ(r.channels.size(), 3u) << r.pd.console;
    leveler plain;
    plain.init(44100);
    const std::vector<float> expected = model(plain, 0, blocks, 68, {}, input);
    EXPECT_EQ(bitDifference(r.channels[size_t(flaggedOut)], expected), "");
    EXPECT_EQ(bitDifference(r.channels[size_t(multiOut)], expected), "");
    // "48000" was a rate; Pd runs at 44100, so the object follows it.
    leveler louder;
    louder.init(44100);
    EXPECT_EQ(bitDifference(r.channels[size_t(namedOut)], model(louder, 0, blocks, 68, {}, input, {{2, 0.9f}})), "");
}

// The level stage under intensity changes and crossfades, against the kernel.
class LevelerAudio : public ::testing::TestWithParam<std::pair<int, int>> {};

TEST_P(LevelerAudio, MatchesTheKernelBitForBitThroughIntensityChangesAndCrossfades)
{
    const int rate = GetParam().first;
    const int nFade = GetParam().second;  // blocks of a crossfade at this rate
    const int blocks = 330;
    const std::vector<float> input = knownSignal(blocks * kBlockSize);

    Canvas patch;
    const int source = addKnownInput(patch, "quill-leveler-in", input);
    const int l = patch.obj("leveler~");
    patch.connect(source, 0, l, 1);
    BlockRun run(patch, blocks);
    const int inChannel = run.record(source, 0);
    const int outChannel = run.record(l, 1);
    run.send(10, l, "intensity 0.8");
    run.send(40, l, "intensity 0");
    run.send(60, l, "active 0");      // fade out to the plain input, then bypassed
    run.send(170, l, "active 1");     // fade back in
    run.send(175, l, "intensity 1");  // during the fade-in
    run.send(260, l, "intensity 1.7");
    run.send(280, l, "active 0");
    run.send(300, l, "active 1");     // restarts the crossfade from its full length
    RunResult r = run.run(PdSetup::fromEnvironment(), rate);
    ASSERT_TRUE(r.pd.quitCleanly()) << r.pd.console;
    ASSERT_EQ(r.channels.size(), 2u) << r.pd.console;
    ASSERT_EQ(r.channels[size_t(inChannel)], input) << "the patch did not play the known signal";

    leveler kernel;
    kernel.init(rate);
    const std::vector<float> expected =
        model(kernel, 0, blocks, nFade, {{60, 0}, {170, 1}, {280, 0}, {300, 1}}, input,
              {{10, 0.8f}, {40, 0.0f}, {175, 1.0f}, {260, 1.7f}});
    const std::vector<float>& out = r.channels[size_t(outChannel)];
    EXPECT_EQ(bitDifference(out, expected), "");

    // Equal input and output counts: the fade out ends, after exactly nFade
    // blocks, on the plain input, which then passes unchanged; the fade in
    // leaves it at once.
    EXPECT_FALSE(sameBlock(out, input, 59));
    EXPECT_FALSE(sameBlock(out, input, 60 + nFade - 1));
    for (int b = 60 + nFade; b < 170; ++b) ASSERT_TRUE(sameBlock(out, input, b)) << "block " << b;
    EXPECT_FALSE(sameBlock(out, input, 170));
    EXPECT_FALSE(sameBlock(out, input, 170 + nFade));
}

INSTANTIATE_TEST_SUITE_P(Rates, LevelerAudio,
                         ::testing::Values(std::make_pair(44100, 68), std::make_pair(48000, 75)),
                         [](const auto& rateCase) { return "at" + std::to_string(rateCase.param.first); });

// Created for one rate, run at another: the first DSP start re-initialises
// the kernel at Pd's rate and keeps the intensity set before it; the
// crossfade takes the new rate's length. Both directions, one run each.
TEST(LevelerInPd, FollowsPdsRateAndKeepsTheIntensitySetBeforeAudio)
{
    const int blocks = 120;
    const std::vector<float> input = knownSignal(blocks * kBlockSize);
    struct Case {
        int created, pdRate, nFade;
    };
    for (const Case c : {Case{44100, 48000, 75}, Case{48000, 44100, 68}}) {
        SCOPED_TRACE("created at " + std::to_string(c.created) + ", Pd at " + std::to_string(c.pdRate));
        Canvas patch;
        sendBeforeDsp(patch, "; quill-leveler intensity 0.85");
        const int source = addKnownInput(patch, "quill-leveler-in", input);
        const int l = patch.obj("leveler~ " + std::to_string(c.created));
        receiveAs(patch, "quill-leveler", l);
        patch.connect(source, 0, l, 1);
        BlockRun run(patch, blocks);
        const int out = run.record(l, 1);
        run.send(20, l, "active 0");
        RunResult r = run.run(PdSetup::fromEnvironment(), c.pdRate);
        ASSERT_TRUE(r.pd.quitCleanly()) << r.pd.console;
        ASSERT_EQ(r.channels.size(), 1u) << r.pd.console;

        leveler kernel;
        kernel.init(c.pdRate);
        const std::vector<float> expected = model(kernel, 0, blocks, c.nFade, {{20, 0}}, input, {{0, 0.85f}});
        const std::vector<float>& got = r.channels[size_t(out)];
        EXPECT_EQ(bitDifference(got, expected), "");
        EXPECT_FALSE(sameBlock(got, input, 20 + c.nFade - 1));
        EXPECT_TRUE(sameBlock(got, input, 20 + c.nFade));
    }
}

// Pd's rate changed between two DSP starts of one run: 44100, then 48000,
// then 44100 again. Each DSP start at a new rate re-initialises the kernel
// (its state starts afresh) and keeps the intensity; the crossfade length
// follows. Pd 0.51, 0.53 and 0.57 change their rate on "audio-dialog" in
// batch mode without sound; 0.55 keeps the rate it started with there, and
// the test is skipped when Pd's own [samplerate~] shows no change.
TEST(LevelerInPd, ReinitialisesAtEachDspStartAtANewRateAndKeepsTheIntensity)
{
    const int blocks = 300;
    const int toFast = 30, toSlow = 200;  // blocks at which Pd's rate changes
    const std::vector<float> input = knownSignal(blocks * kBlockSize);
    const PdSetup setup = PdSetup::fromEnvironment();

    Canvas patch;
    const int source = addKnownInput(patch, "quill-leveler-in", input);
    const int l = patch.obj("leveler~");
    patch.connect(source, 0, l, 1);
    const int sr = patch.obj("samplerate~");
    BlockRun run(patch, blocks);
    run.printReplies(sr, "rate");
    run.printReplies(l, "l");
    const int inChannel = run.record(source, 0);
    const int outChannel = run.record(l, 1);
    auto changeRate = [&](int block, int rate) {
        run.sendTo(block, "pd", "dsp 0");
        run.sendTo(block, "pd", "audio-dialog 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 " + std::to_string(rate) + " 50 0 64");
        run.sendTo(block, "pd", "dsp 1");
        run.send(block, sr, "bang");
    };
    run.send(0, sr, "bang");
    run.send(5, l, "intensity 0.6");
    changeRate(toFast, 48000);
    run.send(40, l, "active 0");   // 75 blocks at 48000
    run.send(120, l, "active 1");
    changeRate(toSlow, 44100);
    run.send(200, l, "intensity");
    run.send(210, l, "active 0");  // 68 blocks at 44100
    RunResult r = run.run(setup, 44100);
    ASSERT_TRUE(r.pd.quitCleanly()) << r.pd.console;
    const std::vector<std::string> rates = r.printed("rate");
    ASSERT_EQ(rates.size(), 3u) << r.pd.console;
    ASSERT_EQ(rates[0], "44100") << r.pd.console;
    if (rates[1] == "44100" && setup.multichannel)
        GTEST_SKIP() << "this Pd does not change its sample rate in batch mode without sound";
    ASSERT_EQ(rates, (std::vector<std::string>{"44100", "48000", "44100"})) << r.pd.console;
    EXPECT_EQ(r.printed("l"), (std::vector<std::string>{"/leveler/intensity 0.6"})) << r.pd.console;
    ASSERT_EQ(r.channels.size(), 2u) << r.pd.console;
    ASSERT_EQ(r.channels[size_t(inChannel)], input) << "the known signal did not play on across the restarts";

    const IntensityPlan intensity{{5, 0.6f}};
    leveler kernel;
    kernel.init(44100);
    std::vector<float> expected = model(kernel, 0, toFast, 68, {}, input, intensity);
    kernel.init(48000);
    kernel.intensity = 0.6f;
    expected = concat(expected, model(kernel, toFast, toSlow - toFast, 75, {{40, 0}, {120, 1}}, input));
    kernel.init(44100);
    kernel.intensity = 0.6f;
    expected = concat(expected, model(kernel, toSlow, blocks - toSlow, 68, {{210, 0}}, input));

    const std::vector<float>& out = r.channels[size_t(outChannel)];
    EXPECT_EQ(bitDifference(out, expected), "");
    EXPECT_FALSE(sameBlock(out, input, 40 + 75 - 1));
    EXPECT_TRUE(sameBlock(out, input, 40 + 75));
    EXPECT_FALSE(sameBlock(out, input, 210 + 68 - 1));
    EXPECT_TRUE(sameBlock(out, input, 210 + 68));
}

// Pd 0.54 and later: "-m" takes a multichannel signal into its one signal
// inlet and reads channel i as kernel input i (here only channel 0); its
// outlet carries one channel. An object without "-m" reads the first
// channel of a multichannel signal.
TEST(LevelerInPd, MultichannelModeReadsChannelZeroAndSendsOneChannel)
{
    const PdSetup setup = PdSetup::fromEnvironment();
    if (!setup.multichannel) GTEST_SKIP() << "this Pd has no multichannel signals";
    const int blocks = 60;
    const std::vector<float> first = knownSignal(blocks * kBlockSize, 1u);
    const std::vector<float> second = knownSignal(blocks * kBlockSize, 2u);

    Canvas patch;
    const int a = addKnownInput(patch, "quill-leveler-a", first);
    const int b = addKnownInput(patch, "quill-leveler-b", second);
    const int pair = patch.obj("snake~ in 2");
    patch.connect(a, 0, pair, 0);
    patch.connect(b, 0, pair, 1);
    const int pairSplit = patch.obj("snake~ out 2");
    patch.connect(pair, 0, pairSplit, 0);

    const int multiFromPair = patch.obj("leveler~ -m");
    const int multiFromOne = patch.obj("leveler~ -m");
    const int plainFromPair = patch.obj("leveler~");
    patch.connect(pair, 0, multiFromPair, 1);
    patch.connect(a, 0, multiFromOne, 1);
    patch.connect(pair, 0, plainFromPair, 1);
    // [print~] refuses multichannel signals, so a second channel on an
    // outlet would show on the console.
    const int oneChannelOnly = patch.obj("print~");
    const int outSplit = patch.obj("snake~ out 2");
    for (int l : {multiFromPair, multiFromOne, plainFromPair}) patch.connect(l, 1, oneChannelOnly, 0);
    patch.connect(multiFromPair, 1, outSplit, 0);

    BlockRun run(patch, blocks);
    const int pairCh1 = run.record(pairSplit, 1);
    const int fromPair = run.record(multiFromPair, 1);
    const int fromOne = run.record(multiFromOne, 1);
    const int plain = run.record(plainFromPair, 1);
    const int outCh0 = run.record(outSplit, 0);
    const int outCh1 = run.record(outSplit, 1);
    for (int l : {multiFromPair, multiFromOne, plainFromPair}) run.send(25, l, "intensity 0.95");
    RunResult r = run.run(setup, 48000);
    ASSERT_TRUE(r.pd.quitCleanly()) << r.pd.console;
    EXPECT_EQ(r.pd.countLines("multichannel"), 0) << r.pd.console;
    ASSERT_EQ(r.channels.size(), 6u) << r.pd.console;
    ASSERT_EQ(r.channels[size_t(pairCh1)], second) << "the two-channel signal is not what the test built";

    leveler kernel;
    kernel.init(48000);
    const std::vector<float> expected = model(kernel, 0, blocks, 75, {}, first, {{25, 0.95f}});
    leveler other;
    other.init(48000);
    const std::vector<float> fromSecond = model(other, 0, blocks, 75, {}, second, {{25, 0.95f}});
    ASSERT_NE(bitDifference(expected, fromSecond), "") << "the two channels must sound different";

    EXPECT_EQ(bitDifference(r.channels[size_t(fromPair)], expected), "");
    EXPECT_EQ(bitDifference(r.channels[size_t(fromOne)], expected), "");
    EXPECT_EQ(bitDifference(r.channels[size_t(plain)], expected), "");
    EXPECT_EQ(bitDifference(r.channels[size_t(outCh0)], expected), "");
    EXPECT_EQ(r.channels[size_t(outCh1)], std::vector<float>(size_t(blocks * kBlockSize), 0.0f))
        << "the outlet carries a second channel";
}
