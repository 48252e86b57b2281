// zigzag~ stays within ±2 for the frequency signals a patch can send it
// (steps from 0 Hz, [line~] glides, FM through zero and past half the rate,
// constants beyond the rate, a creation rate of 1), and every object keeps
// its pitch and resonance far above 192 kHz: in Pd at -r 384000 and
// -r 768000, and inside a subpatch upsampled eight times by [block~ 64 1 8].
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "tests/integration/support/block_run.h"
#include "tests/integration/support/test_setup.h"

using namespace quill::pdtest;

namespace {

constexpr double kPi = 3.14159265358979323846;

float peak(const std::vector<float>& v)
{
    float m = 0.0f;
    for (float y : v) m = std::max(m, std::fabs(y));
    return m;
}

// Rising zero crossings per second over the second half of `v` at `rate`.
double crossingsPerSecond(const std::vector<float>& v, double rate)
{
    int rises = 0;
    for (size_t n = v.size() / 2 + 1; n < v.size(); ++n)
        if (v[n - 1] < 0.0f && v[n] >= 0.0f) ++rises;
    return rises / (static_cast<double>(v.size() - v.size() / 2) / rate);
}

// Amplitude of the `hz` component over the second half of `v`, by correlation.
double amplitudeAt(const std::vector<float>& v, double hz, double rate)
{
    double a = 0.0, b = 0.0;
    const size_t from = v.size() / 2;
    for (size_t n = from; n < v.size(); ++n) {
        const double w = 2.0 * kPi * hz * static_cast<double>(n) / rate;
        a += v[n] * std::sin(w);
        b += v[n] * std::cos(w);
    }
    return 2.0 * std::hypot(a, b) / static_cast<double>(v.size() - from);
}

// zigzag~ at 440 Hz, mellow~ (cutoff 2000, resonanceQ 15) fed a 2000 Hz
// sine, klaxon~ holding a square-LFO note at 440 Hz without modulation.
struct ThreeObjects {
    int zigzag, mellow, klaxon;  // recorded channels

    ThreeObjects(Canvas& where, BlockRun& run)
    {
        const int freq = where.obj("sig~ 440");
        const int z = where.obj("zigzag~");
        where.connect(freq, 0, z, 1);
        const int sine = where.obj("osc~ 2000");
        const int m = where.obj("mellow~");
        where.connect(sine, 0, m, 1);
        const int k = where.obj("klaxon~");
        run.send(1, where, m, "cutoff 2000");
        run.send(1, where, m, "resonanceQ 15");
        for (const char* message : {"Trigger/pitch 440", "depth 0", "sweep 1", "triggerSquare 1"})
            run.send(1, where, k, message);
        zigzag = run.record(where, z, 1);
        mellow = run.record(where, m, 1);
        klaxon = run.record(where, k, 1);
    }

    void check(const RunResult& r, double rate, const std::string& where) const
    {
        SCOPED_TRACE(where);
        ASSERT_TRUE(r.pd.quitCleanly()) << r.pd.console;
        ASSERT_FALSE(r.pd.contains("couldn't create")) << r.pd.console;
        ASSERT_GT(r.channels.size(), size_t(klaxon)) << r.pd.console;
        EXPECT_NEAR(crossingsPerSecond(r.channels[size_t(zigzag)], rate), 440.0, 4.0) << "zigzag~ pitch";
        EXPECT_NEAR(amplitudeAt(r.channels[size_t(mellow)], 2000.0, rate), 15.0, 0.15) << "mellow~ gain at the cutoff";
        EXPECT_NEAR(crossingsPerSecond(r.channels[size_t(klaxon)], rate), 440.0, 4.0) << "klaxon~ pitch";
    }
};

}  // namespace

TEST(HighRatesInPd, PitchAndResonanceHoldAtHighPdRates)
{
    for (int rate : {384000, 768000}) {
        Canvas patch;
        BlockRun run(patch, rate / kBlockSize);  // one second
        ThreeObjects objects(patch, run);
        objects.check(run.run(pdSetup(), rate, 120.0), rate, "Pd at " + std::to_string(rate));
    }
}

TEST(HighRatesInPd, PitchAndResonanceHoldInAnEightTimesUpsampledSubpatch)
{
    // Recordings hold 64 samples per parent block, and inside the subpatch
    // fill at 352800 Hz: one second of its audio takes 5513 blocks' worth.
    Canvas patch;
    BlockRun run(patch, 5600);
    Canvas& inner = patch.subpatch("upsampled");
    inner.obj("block~ 64 1 8");
    ThreeObjects objects(inner, run);
    RunResult r = run.run(pdSetup(), 44100);
    for (std::vector<float>& channel : r.channels) channel.resize(352800);
    objects.check(r, 352800.0, "[block~ 64 1 8] at 44100");
}

TEST(ZigzagBoundsInPd, NoFrequencySignalBurstsPastTwo)
{
    Canvas patch;
    const int blocks = 700;  // about a second at 44100
    BlockRun run(patch, blocks);
    const int step200ms = 138;
    struct Case {
        std::string name;
        int channel;
    };
    std::vector<Case> cases;
    auto zigzagFedBy = [&](int source, const std::string& name, const std::string& creation = "zigzag~") {
        const int z = patch.obj(creation);
        patch.connect(source, 0, z, 1);
        cases.push_back({name, run.record(z, 1)});
    };
    const int silentThen440 = patch.obj("sig~ 0");
    run.send(step200ms, silentThen440, "440");
    zigzagFedBy(silentThen440, "0 Hz then 440");
    const int line = patch.obj("line~");
    run.send(step200ms, line, "220 50");
    zigzagFedBy(line, "[line~] 0 to 220 in 50 ms");
    const int stepUp = patch.obj("sig~ 55");
    run.send(350, stepUp, "1760");
    zigzagFedBy(stepUp, "55 Hz to 1760");
    const int sweep = patch.obj("line~");
    run.send(1, sweep, "60000 1000");
    zigzagFedBy(sweep, "sweep 0 to 60 kHz");
    const int lfo = patch.obj("osc~ 3");
    const int depth = patch.obj("*~ 25000");
    const int centre = patch.obj("+~ 2000");
    patch.connect(lfo, 0, depth, 0);
    patch.connect(depth, 0, centre, 0);
    zigzagFedBy(centre, "FM 2000 ± 25000 Hz");
    for (const char* hz : {"30000", "44100", "88200", "-30000", "1e+09"})
        zigzagFedBy(patch.obj(std::string("sig~ ") + hz), std::string(hz) + " Hz");
    zigzagFedBy(patch.obj("sig~ 1000"), "1000 Hz at creation rate 1", "zigzag~ 1");

    RunResult r = run.run(pdSetup());
    ASSERT_TRUE(r.pd.quitCleanly()) << r.pd.console;
    ASSERT_FALSE(r.pd.contains("couldn't create")) << r.pd.console;
    ASSERT_EQ(r.channels.size(), cases.size()) << r.pd.console;
    for (const Case& c : cases) {
        const float p = peak(r.channels[size_t(c.channel)]);
        EXPECT_LE(p, 2.0f) << c.name;
        EXPECT_GT(p, 0.2f) << c.name << ": silent proves nothing";
    }
}
