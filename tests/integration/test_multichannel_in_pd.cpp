// mellow~ and zigzag~ with multichannel signals (Pd 0.54 and later): every
// channel of both outlets equals a single-channel object fed that channel
// alone, bit for bit, through control messages and "active" switches; DSP
// restarts that change the channel count keep the voices of the channels
// that remain and start added ones cleared.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "tests/integration/support/block_run.h"
#include "tests/integration/support/recording_compare.h"
#include "tests/integration/support/test_setup.h"

using namespace quill::pdtest;

namespace {

struct Case {
    std::string object;
    int channels;
};

std::string number(double v) { return std::to_string(v); }

void PrintTo(const Case& c, std::ostream* os) { *os << c.object << " with " << c.channels << " channels"; }

}  // namespace

class MultichannelInPd : public ::testing::TestWithParam<Case> {};

TEST_P(MultichannelInPd, EveryChannelMatchesASingleChannelObject)
{
    const PdSetup setup = pdSetup();
    if (!setup.multichannel) GTEST_SKIP() << "this Pd has no multichannel signals";
    const Case& c = GetParam();
    const bool zigzag = c.object == "zigzag~";
    const int blocks = 110;
    Canvas patch;
    BlockRun run(patch, blocks);
    const int snake = patch.obj("snake~ in " + std::to_string(c.channels));
    const int multi = patch.obj(c.object);
    patch.connect(snake, 0, multi, 1);
    const int split1 = patch.obj("snake~ out " + std::to_string(c.channels));
    const int split2 = patch.obj("snake~ out " + std::to_string(c.channels));
    patch.connect(multi, 1, split1, 0);
    patch.connect(multi, 2, split2, 0);
    std::vector<int> singles, first, second, alone;
    for (int ch = 0; ch < c.channels; ++ch) {
        // zigzag~: glides, a step, negative and beyond half the rate;
        // mellow~: a sine of its own per channel.
        int source;
        if (zigzag) {
            source = patch.obj("line~");
            run.send(2, source, number(110.0 * (ch + 1)) + " 300");
            run.send(40, source, number(ch % 3 == 2 ? -700.0 * ch : 900.0 + 2000.0 * ch));
            run.send(70, source, number(30000.0 - 5000.0 * ch) + " 200");
        } else {
            source = patch.obj("osc~ " + number(150.0 + 770.0 * ch));
        }
        patch.connect(source, 0, snake, ch);
        const int single = patch.obj(c.object);
        patch.connect(source, 0, single, 1);
        singles.push_back(single);
    }
    for (int object : singles) alone.push_back(run.record(object, 1));
    for (int ch = 0; ch < c.channels; ++ch) first.push_back(run.record(split1, ch));
    for (int ch = 0; ch < c.channels; ++ch) second.push_back(run.record(split2, ch));
    std::vector<int> everyObject = singles;
    everyObject.push_back(multi);
    for (int object : everyObject) {
        if (!zigzag) {
            run.send(8, object, "cutoff 700");
            run.send(25, object, "resonanceQ 9");
            run.send(50, object, "cutoff 3000");
        }
        run.send(35, object, "active 0");
        run.send(60, object, "active 1");
    }
    RunResult r = run.run(setup);
    ASSERT_TRUE(r.pd.quitCleanly()) << r.pd.console;
    EXPECT_FALSE(r.pd.contains("error")) << r.pd.console;
    ASSERT_EQ(r.channels.size(), size_t(3 * c.channels)) << r.pd.console;
    for (int ch = 0; ch < c.channels; ++ch) {
        const std::vector<float>& expected = r.channels[size_t(alone[size_t(ch)])];
        EXPECT_EQ(bitDifference(r.channels[size_t(first[size_t(ch)])], expected), "") << "outlet 1, channel " << ch;
        EXPECT_EQ(bitDifference(r.channels[size_t(second[size_t(ch)])], expected), "") << "outlet 2, channel " << ch;
    }
}

INSTANTIATE_TEST_SUITE_P(Objects, MultichannelInPd,
                         ::testing::Values(Case{"zigzag~", 1}, Case{"zigzag~", 2}, Case{"zigzag~", 3},
                                           Case{"zigzag~", 4}, Case{"zigzag~", 5}, Case{"zigzag~", 8},
                                           Case{"zigzag~", 16}, Case{"mellow~", 1}, Case{"mellow~", 2},
                                           Case{"mellow~", 3}, Case{"mellow~", 4}, Case{"mellow~", 5},
                                           Case{"mellow~", 8}, Case{"mellow~", 16}),
                         [](const auto& p) {
                             return p.param.object.substr(0, p.param.object.size() - 1) + "With" +
                                    std::to_string(p.param.channels);
                         });

TEST(MultichannelChannelCounts, RestartsKeepRemainingVoicesAndClearAddedOnes)
{
    const PdSetup setup = pdSetup();
    if (!setup.multichannel) GTEST_SKIP() << "this Pd has no multichannel signals";
    // Three channels, then five (from block 30), then two (from block 60).
    // Channels 3 and 4 hold 0 Hz until they join: a single zigzag~ that left
    // 0 Hz there is a fresh oscillator, as a new voice must be.
    Canvas patch;
    const int blocks = 90;
    BlockRun run(patch, blocks);
    Canvas& sub = patch.subpatch("counts");
    std::vector<int> sources;
    const double hz[] = {220.0, 330.0, 550.0, 770.0, 990.0};
    for (int ch = 0; ch < 5; ++ch) sources.push_back(sub.obj(ch < 3 ? "sig~ " + number(hz[ch]) : "sig~ 0"));
    const int three = sub.obj("snake~ in 3");
    const int five = sub.obj("snake~ in 5");
    const int two = sub.obj("snake~ in 2");
    const int multi = sub.obj("zigzag~");
    const int split = sub.obj("snake~ out 5");
    sub.connect(multi, 1, split, 0);
    sub.connect(three, 0, multi, 1);
    std::vector<int> singles;
    for (int ch = 0; ch < 5; ++ch) {
        sub.connect(sources[size_t(ch)], 0, five, ch);
        if (ch < 3) sub.connect(sources[size_t(ch)], 0, three, ch);
        if (ch < 2) sub.connect(sources[size_t(ch)], 0, two, ch);
        singles.push_back(sub.obj("zigzag~"));
        sub.connect(sources[size_t(ch)], 0, singles.back(), 1);
    }
    std::vector<int> voice, alone;
    for (int ch = 0; ch < 5; ++ch) voice.push_back(run.record(sub, split, ch));
    for (int ch = 0; ch < 5; ++ch) alone.push_back(run.record(sub, singles[size_t(ch)], 1));
    run.send(30, sub, sources[3], number(hz[3]));
    run.send(30, sub, sources[4], number(hz[4]));
    auto link = [&](int block, const char* verb, int from) {
        run.sendTo(block, "pd-counts", std::string(verb) + " " + std::to_string(from) + " 0 " + std::to_string(multi) + " 1");
    };
    // With DSP off while the wires change, each change is one restart.
    for (const auto& [block, from, to] : {std::tuple{30, three, five}, std::tuple{60, five, two}}) {
        run.sendTo(block, "pd", "dsp 0");
        link(block, "disconnect", from);
        link(block, "connect", to);
        run.sendTo(block, "pd", "dsp 1");
    }
    RunResult r = run.run(setup);
    ASSERT_TRUE(r.pd.quitCleanly()) << r.pd.console;
    EXPECT_FALSE(r.pd.contains("error")) << r.pd.console;
    ASSERT_EQ(r.channels.size(), 10u) << r.pd.console;
    auto span = [&](int channel, int from, int to) {
        const std::vector<float>& v = r.channels[size_t(channel)];
        return std::vector<float>(v.begin() + from * kBlockSize, v.begin() + to * kBlockSize);
    };
    for (int ch = 0; ch < 2; ++ch)  // through every change
        EXPECT_EQ(bitDifference(span(voice[size_t(ch)], 0, blocks), span(alone[size_t(ch)], 0, blocks)), "") << ch;
    EXPECT_EQ(bitDifference(span(voice[2], 0, 60), span(alone[2], 0, 60)), "") << "channel 2 until it goes";
    for (int ch = 3; ch < 5; ++ch)  // added at block 30, gone at 60
        EXPECT_EQ(bitDifference(span(voice[size_t(ch)], 30, 60), span(alone[size_t(ch)], 30, 60)), "") << ch;
}
