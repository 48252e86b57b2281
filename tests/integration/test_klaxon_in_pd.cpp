// klaxon~ in a real Pd: loading, the description of its ten controls,
// buttons addressed by any tail of their names, and the siren compared bit
// for bit with the kernel run here under the same schedule of presses.
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "kernels/klaxon/klaxon.h"
#include "tests/integration/support/block_run.h"
#include "tests/integration/support/patch_writer.h"
#include "tests/integration/support/pd_runner.h"
#include "tests/integration/support/plugin_model.h"
#include "tests/integration/support/recording_compare.h"
#include "tests/integration/support/test_setup.h"

using namespace quill::pdtest;

namespace {

// The plug-in model hands out inputs through a callback that runs once per
// block, in block order, before the kernel: the place where this test applies
// its scheduled messages. klaxon has no input, so the model is shown one that
// the kernel never reads; with one input and two outputs the crossfade and
// the bypass are those of no input and two outputs (to and from silence).
class ClockedKlaxon : public klaxon {
public:
    int getNumInputs() override { return 1; }
};

using Schedule = std::multimap<int, std::function<void(klaxon&)>>;

std::vector<std::vector<float>> model(int rate, int blocks, int nFade, const std::map<int, int>& activeAt,
                                      const Schedule& schedule)
{
    ClockedKlaxon kernel;
    kernel.init(rate);
    ModelPlan plan;
    plan.blocks = blocks;
    plan.nFade = nFade;
    plan.activeAt = activeAt;
    plan.input = [&](int block, int) {
        auto range = schedule.equal_range(block);
        for (auto it = range.first; it != range.second; ++it) it->second(kernel);
        return std::vector<float>(size_t(kBlockSize), 0.0f);
    };
    return runAsPlugin(kernel, plan);
}

bool blockIsSilent(const std::vector<float>& s, int block)
{
    for (int j = 0; j < kBlockSize; ++j)
        if (s[size_t(block * kBlockSize + j)] != 0.0f) return false;
    return true;
}

bool allSilent(const std::vector<float>& s)
{
    for (float v : s)
        if (v != 0.0f) return false;
    return true;
}

// What "bang" prints for an object without instance name: sliders with their
// value, initial value, range and step, buttons with value, 0, 0, 1, 1.
std::vector<std::string> description(const std::string& decay, const std::string& saw)
{
    return {
        "hslider /klaxon/Controls/decay " + decay + " 0.4 0.05 3 0.01",
        "hslider /klaxon/Controls/depth 0.2 0.2 0 1 0.01",
        "hslider /klaxon/Controls/speed 4 4 0.1 20 0.01",
        "hslider /klaxon/Controls/sweep 0.5 0.5 0 1 0.01",
        "hslider /klaxon/Trigger/pitch 220 220 20 2000 1",
        "button /klaxon/Trigger/triggerRandom 0 0 0 1 1",
        "button /klaxon/Trigger/triggerRevSaw 0 0 0 1 1",
        "button /klaxon/Trigger/triggerSaw " + saw + " 0 0 1 1",
        "button /klaxon/Trigger/triggerSquare 0 0 0 1 1",
        "button /klaxon/Trigger/triggerTriangle 0 0 0 1 1",
    };
}

}  // namespace

TEST(KlaxonInPd, LoadsOnceWithTwoSignalOutletsAndDescribesItsTenControls)
{
    Canvas patch;
    const int source = patch.obj("sig~ 0.5");     // 0
    const int k = patch.obj("klaxon~");           // 1
    const int s1 = patch.obj("klaxon~ s1");       // 2
    patch.obj("klaxon~ 48000");                   // 3
    const int sink = patch.obj("print~");         // 4
    patch.connect(source, 0, k, 0);  // the leftmost inlet takes a signal and ignores it
    patch.connect(source, 0, k, 1);  // there is no signal inlet
    patch.connect(k, 1, sink, 0);
    patch.connect(k, 2, sink, 0);
    patch.connect(k, 3, sink, 0);    // nor a third signal outlet
    BlockRun run(patch, 4);
    run.printReplies(k, "k");
    run.printReplies(s1, "s1");
    run.send(1, k, "bang");
    run.send(2, k, "triggerSaw 1");
    run.send(2, k, "Controls/decay 2");
    run.send(2, k, "bang");
    run.send(3, k, "klaxon/Controls/decay");
    run.send(3, s1, "bang");
    RunResult r = run.run(pdSetup(), 48000);
    ASSERT_TRUE(r.pd.quitCleanly()) << r.pd.console;
    EXPECT_EQ(r.pd.countLines("[quill] klaxon~: 0 inputs, 2 outputs"), 1) << r.pd.console;
    EXPECT_EQ(r.pd.countLines("couldn't create"), 0) << r.pd.console;
    EXPECT_EQ(r.pd.countLines("connection failed"), 2) << r.pd.console;
    EXPECT_EQ(r.pd.countLines("0 0 1 1 (sig~->klaxon~) connection failed"), 1) << r.pd.console;
    EXPECT_EQ(r.pd.countLines("1 3 4 0 (klaxon~->print~) connection failed"), 1) << r.pd.console;

    std::vector<std::string> expected = description("0.4", "0");
    const std::vector<std::string> after = description("2", "1");
    expected.insert(expected.end(), after.begin(), after.end());
    expected.push_back("/klaxon/Controls/decay 2");
    EXPECT_EQ(r.printed("k"), expected) << r.pd.console;

    const std::vector<std::string> named = r.printed("s1");
    ASSERT_EQ(named.size(), 10u) << r.pd.console;
    EXPECT_EQ(named[0], "hslider /s1/klaxon/Controls/decay 0.4 0.4 0.05 3 0.01");
    EXPECT_EQ(named[9], "button /s1/klaxon/Trigger/triggerTriangle 0 0 0 1 1");
}

TEST(KlaxonInPd, PressesAButtonByAnyTailOfItsName)
{
    const int blocks = 30;
    Canvas patch;
    const std::vector<std::pair<std::string, std::string>> objects = {
        {"klaxon~", "triggerSaw 1"},
        {"klaxon~", "Trigger/triggerSaw 1"},
        {"klaxon~", "klaxon/Trigger/triggerSaw 1"},
        {"klaxon~", "/klaxon/Trigger/triggerSaw 1"},
        {"klaxon~ s1", "/s1/klaxon/Trigger/triggerSaw 1"},
        {"klaxon~", "/Trigger/triggerSaw 1"},  // not a full name: presses nothing
        {"klaxon~", "riggerSaw 1"},            // not a whole component: presses nothing
    };
    std::vector<int> index;
    for (const auto& o : objects) index.push_back(patch.obj(o.first));
    BlockRun run(patch, blocks);
    std::vector<int> channel;
    for (size_t i = 0; i < objects.size(); ++i) {
        channel.push_back(run.record(index[i], 1));
        run.send(5, index[i], objects[i].second);
    }
    RunResult r = run.run(pdSetup(), 48000);
    ASSERT_TRUE(r.pd.quitCleanly()) << r.pd.console;
    ASSERT_EQ(r.channels.size(), objects.size()) << r.pd.console;

    const auto& reference = r.channels[size_t(channel[0])];
    EXPECT_FALSE(blockIsSilent(reference, 5));
    for (size_t i = 1; i < 5; ++i)
        EXPECT_EQ(bitDifference(r.channels[size_t(channel[i])], reference), "") << objects[i].second;
    for (size_t i = 5; i < objects.size(); ++i)
        EXPECT_TRUE(allSilent(r.channels[size_t(channel[i])])) << objects[i].second;
}

// A whole performance, against the kernel.
class KlaxonAudio : public ::testing::TestWithParam<std::pair<int, int>> {};

TEST_P(KlaxonAudio, MatchesTheKernelBitForBitThroughPressesReleasesAndACrossfade)
{
    const int rate = GetParam().first;
    const int nFade = GetParam().second;  // blocks of a crossfade at this rate
    const int blocks = 520;
    const int fadeOut = 330;  // "active 0" while a note sounds
    const int fadeIn = 430;

    Canvas patch;
    const int k = patch.obj("klaxon~");
    BlockRun run(patch, blocks);
    const int left = run.record(k, 1);
    const int right = run.record(k, 2);
    Schedule schedule;
    auto at = [&](int block, const std::string& message, std::function<void(klaxon&)> set) {
        run.send(block, k, message);
        schedule.emplace(block, std::move(set));
    };
    at(2, "pitch 440", [](klaxon& x) { x.pitch = 440.0f; });
    at(2, "sweep 1", [](klaxon& x) { x.sweep = 1.0f; });
    at(2, "decay 0.2", [](klaxon& x) { x.decay = 0.2f; });
    at(5, "triggerSaw 1", [](klaxon& x) { x.triggerSaw = 1.0f; });
    at(120, "speed 9", [](klaxon& x) { x.speed = 9.0f; });
    at(120, "depth 0.5", [](klaxon& x) { x.depth = 0.5f; });
    at(200, "triggerSaw 0", [](klaxon& x) { x.triggerSaw = 0.0f; });
    at(260, "triggerSquare 1", [](klaxon& x) { x.triggerSquare = 1.0f; });
    at(260, "triggerRevSaw 1", [](klaxon& x) { x.triggerRevSaw = 1.0f; });
    run.send(fadeOut, k, "active 0");
    at(420, "triggerSquare 0", [](klaxon& x) { x.triggerSquare = 0.0f; });  // released while bypassed
    at(420, "triggerRevSaw 0", [](klaxon& x) { x.triggerRevSaw = 0.0f; });
    run.send(fadeIn, k, "active 1");
    at(470, "triggerTriangle 1", [](klaxon& x) { x.triggerTriangle = 1.0f; });
    RunResult r = run.run(pdSetup(), rate);
    ASSERT_TRUE(r.pd.quitCleanly()) << r.pd.console;
    ASSERT_EQ(r.channels.size(), 2u) << r.pd.console;

    const auto expected = model(rate, blocks, nFade, {{fadeOut, 0}, {fadeIn, 1}}, schedule);
    const auto& out0 = r.channels[size_t(left)];
    const auto& out1 = r.channels[size_t(right)];
    EXPECT_EQ(bitDifference(out0, expected[0]), "");
    EXPECT_EQ(bitDifference(out1, expected[1]), "");
    EXPECT_EQ(bitDifference(out0, out1), "");

    // Independent of the model: exact silence until the first press, sound
    // from the block it lands in, and silence once the fade-out of nFade
    // blocks has run, until the object is switched on again.
    for (int b = 0; b < 5; ++b) {
        EXPECT_TRUE(blockIsSilent(out0, b)) << "block " << b;
        EXPECT_TRUE(blockIsSilent(out1, b)) << "block " << b;
    }
    EXPECT_FALSE(blockIsSilent(out0, 5));
    EXPECT_FALSE(blockIsSilent(out0, fadeOut + nFade - 1));
    for (int b = fadeOut + nFade; b < fadeIn; ++b) ASSERT_TRUE(blockIsSilent(out0, b)) << "block " << b;
    EXPECT_FALSE(blockIsSilent(out0, 475));
}

INSTANTIATE_TEST_SUITE_P(Rates, KlaxonAudio,
                         ::testing::Values(std::make_pair(48000, 75), std::make_pair(44100, 68)),
                         [](const auto& p) { return "at" + std::to_string(p.param.first); });
