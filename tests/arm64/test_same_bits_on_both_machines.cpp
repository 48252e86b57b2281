// The same patches rendered by two Pds with two builds of the plug-ins (the
// x86-64 modules in native Pd, the arm64 modules in an emulated arm64 Pd)
// must record the very same samples. One patch per plug-in with notes,
// control changes out of and within range, and crossfades both ways, at
// three rates.
//
// The C libraries of the two machines may round a float maths function
// differently (a different build of the same function). Each patch is
// therefore rendered three times: on machine A with A's maths results
// written down, on machine B as it is, and on machine B with A's maths
// results replayed (libm_replay). The replayed run must match A bit for bit:
// nothing but the C library may differ. The plain run must match too: the
// kernels call no C library maths function (they have their own maths
// module), so the record of A's calls holds none of theirs; a difference is
// reported with the calls behind it.
//
// Where libm_replay cannot be preloaded (Pd for Windows under Wine, a
// double-precision Pd), each patch is rendered once on each machine and any
// difference fails.
//
// Environment: QUILL_PD_A / QUILL_PLUGIN_DIR_A / QUILL_LIBM_REPLAY_A and the
// same for B: the two Pds (wrappers that preload $QUILL_PRELOAD when set),
// their plug-in folders, their builds of libm_replay (both or neither).
// QUILL_PD_FLOATSIZE_B=64 (or _A): that machine is a double-precision Pd
// (Pd64) with the -64 modules. Its recordings are written as 64-bit floats,
// and each sample must be a float value (the inputs are floats, so nothing
// may be added to the kernels' float results) that then compares as above.
//
// [tabwrite~] on x86-64 stores +0 for samples below about 2^-63 (and for -0),
// on arm64 it stores every sample as it is; both recordings pass through the
// x86-64 rule before comparing, and a copy of each output scaled by 2^60
// (exact: a power of two) is recorded as well, so tiny samples are compared
// too. Only the sign of a zero escapes the comparison.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/integration/support/block_run.h"
#include "tests/integration/support/patch_writer.h"
#include "tests/integration/support/pd_runner.h"
#include "tests/integration/support/recording_compare.h"
#include "tests/integration/support/temp_dir.h"

using namespace quill::pdtest;

namespace {

constexpr int kBlocks = 300;
const char* const kTimesTwoTo60 = "*~ 1152921504606846976";

struct Machine {
    PdSetup setup;
    std::string replayLibrary;
    bool doublePrecision = false;
};

Machine machine(const std::string& suffix)
{
    auto get = [&](const std::string& name) {
        const char* v = std::getenv((name + suffix).c_str());
        return std::string(v ? v : "");
    };
    Machine m;
    m.setup.pd = get("QUILL_PD_");
    m.setup.pluginDir = get("QUILL_PLUGIN_DIR_");
    m.replayLibrary = get("QUILL_LIBM_REPLAY_");
    m.doublePrecision = get("QUILL_PD_FLOATSIZE_") == "64";
    return m;
}

// The environment of the next Pd run: what libm_replay does, if anything.
void preload(const std::string& library, const std::string& record, const std::string& replay,
             const std::string& diffs)
{
    auto put = [](const char* name, const std::string& value) {
        if (value.empty()) unsetenv(name);
        else setenv(name, value.c_str(), 1);
    };
    put("QUILL_PRELOAD", library);
    put("QUILL_LIBM_RECORD", record);
    put("QUILL_LIBM_REPLAY", replay);
    put("QUILL_LIBM_DIFFS", diffs);
}

bool fileExists(const std::string& path) { return std::ifstream(path).good(); }

std::vector<std::string> fileLines(const std::string& path)
{
    std::vector<std::string> out;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

// Digits enough to name the float exactly as a double too: a
// double-precision Pd reads the very same value.
std::string numberText(float v)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.17g", double(v));
    return buf;
}

// Plays `samples` from block 0 on through [tabread~], indexed by the sample
// count [rpole~ 1] makes (exact integers). Returns the [tabread~] index.
int addTable(Canvas& patch, const std::string& table, const std::vector<float>& samples)
{
    patch.obj("table " + table + " " + std::to_string(samples.size()));
    const int load = patch.obj("loadbang");
    for (size_t start = 0; start < samples.size(); start += 1024) {
        std::string text = "; " + table + " " + std::to_string(start);
        for (size_t i = start; i < samples.size() && i < start + 1024; ++i) text += " " + numberText(samples[i]);
        patch.connect(load, 0, patch.msg(text), 0);
    }
    const int one = patch.obj("sig~ 1");
    const int count = patch.obj("rpole~ 1");
    const int index = patch.obj("-~ 1");
    const int read = patch.obj("tabread~ " + table);
    patch.connect(one, 0, count, 0);
    patch.connect(count, 0, index, 0);
    patch.connect(index, 0, read, 0);
    return read;
}

uint32_t nextNoise(uint32_t& state)
{
    state = state * 1664525u + 1013904223u;
    return state;
}

// Audio input: sines and noise whose level changes every 40 blocks, from
// whisper to far beyond full scale, with a silent stretch and impulses.
std::vector<float> audioInput()
{
    const float levels[] = {0.3f, 0.01f, 1.0f, 4.0f, 0.0f, 0.5f, 20.0f, 0.001f};
    std::vector<float> out(size_t(kBlocks * kBlockSize));
    uint32_t noise = 7u;
    for (size_t i = 0; i < out.size(); ++i) {
        const float n = float(int32_t(nextNoise(noise) >> 8) - (1 << 23)) / float(1 << 23);
        const float t = float(i);
        const float v = 0.5f * std::sin(0.0211f * t) + 0.3f * std::sin(0.91f * t) + 0.2f * n;
        out[i] = levels[(i / (40 * kBlockSize)) % 8] * v;
        if (i % 3001 == 0) out[i] = 1.0f;
    }
    return out;
}

// Frequency input: steps, a sweep up past the Nyquist frequency, negative
// and zero frequencies, then a vibrato.
std::vector<float> frequencyInput()
{
    std::vector<float> out(size_t(kBlocks * kBlockSize));
    for (size_t i = 0; i < out.size(); ++i) {
        const int block = int(i) / kBlockSize;
        const float t = float(i);
        float f;
        if (block < 30) f = 220.0f;
        else if (block < 90) f = 220.0f * std::exp2(float(i - 30 * kBlockSize) / 700.0f);
        else if (block < 120) f = 15000.0f;
        else if (block < 150) f = 50.0f;
        else if (block < 170) f = 30000.0f;
        else if (block < 190) f = -440.0f;
        else if (block < 200) f = 0.0f;
        else f = 440.0f + 200.0f * std::sin(0.003f * t);
        out[i] = f;
    }
    return out;
}

struct Event {
    int block;
    std::string message;
};

// A plug-in, its patch and what happens to it.
struct Case {
    std::string name;
    std::string object;      // object text
    int signalOutlets;       // after the reply outlet
    bool audioIn;            // audio into signal inlet 1
    bool frequencyIn;        // frequencies into signal inlet 1
    std::vector<Event> events;
};

const std::vector<Case>& cases()
{
    static const std::vector<Case> all = {
        {"zigzag", "zigzag~", 2, false, true,
         {{100, "active 0"}, {130, "active 1"}, {131, "active 0"}, {135, "active 1"}, {250, "bang"}, {251, "active"}}},
        {"mellow", "mellow~", 2, true, false,
         {{20, "cutoff 500"}, {40, "resonanceQ 8"}, {60, "cutoff 12000"}, {70, "resonanceQ 0.5"},
          {100, "active 0"}, {150, "active 1"}, {200, "cutoff 20"}, {210, "resonanceQ 15"},
          {240, "cutoff 19000"}, {250, "cutoff 1e9"}, {255, "resonanceQ -3"}, {260, "bang"}, {262, "cutoff"}, {263, "active"}}},
        {"klaxon", "klaxon~", 2, false, false,
         {{5, "triggerSaw 1"}, {30, "depth 0.8"}, {50, "speed 12"}, {60, "sweep 0.9"}, {90, "triggerSaw 0"},
          {120, "triggerRandom 1"}, {130, "pitch 800"}, {150, "triggerSquare 1"}, {170, "decay 0.05"},
          {180, "triggerSquare 0"}, {182, "triggerRandom 0"}, {200, "Controls/speed 0.1"},
          {201, "triggerTriangle 1"}, {220, "active 0"}, {250, "active 1"}, {265, "triggerRevSaw 1"},
          {270, "pitch 2000"}, {275, "sweep 0"}, {280, "depth 1"}, {290, "bang"}, {291, "active"}}},
        {"leveler", "leveler~", 1, true, false,
         {{0, "intensity 0"}, {40, "intensity 0.3"}, {80, "intensity 1"}, {140, "intensity 0.7"},
          {180, "active 0"}, {220, "active 1"}, {260, "intensity 0.05"}, {270, "intensity 5"}, {290, "bang"}, {291, "active"}}},
    };
    return all;
}

struct Render {
    RunResult run;
    std::vector<std::string> replies;
    std::string notFloats;  // a double-precision Pd's samples that are no float values
};

// A double-precision Pd's recordings as floats, where every sample is one;
// otherwise the count of those that are not, and the first.
std::string takeFloats(RunResult& run)
{
    size_t others = 0;
    std::string first;
    for (size_t ch = 0; ch < run.doubles.size(); ++ch) {
        std::vector<float> floats;
        for (size_t i = 0; i < run.doubles[ch].size(); ++i) {
            const double d = run.doubles[ch][i];
            floats.push_back(float(d));
            if (double(floats.back()) == d || std::isnan(d) || ++others > 1) continue;
            char text[96];
            std::snprintf(text, sizeof text, "recording %zu, sample %zu: %.17g", ch, i, d);
            first = text;
        }
        run.channels.push_back(std::move(floats));
    }
    return others == 0 ? "" : std::to_string(others) + " samples are no float values; first: " + first;
}

Render render(const Case& c, int rate, const Machine& machine)
{
    Canvas patch;
    const int plugin = patch.obj(c.object);
    int source = -1;
    if (c.audioIn || c.frequencyIn) {
        source = addTable(patch, "quill-input", c.audioIn ? audioInput() : frequencyInput());
        patch.connect(source, 0, plugin, 1);
    }
    std::vector<int> scaled;
    for (int o = 1; o <= c.signalOutlets; ++o) {
        scaled.push_back(patch.obj(kTimesTwoTo60));
        patch.connect(plugin, o, scaled.back(), 0);
    }
    BlockRun run(patch, kBlocks);
    for (int o = 1; o <= c.signalOutlets; ++o) {
        run.record(plugin, o);
        run.record(scaled[size_t(o - 1)], 0);
    }
    if (source >= 0) run.record(source, 0);  // the input as this Pd played it
    run.printReplies(plugin, "replies");
    for (const Event& e : c.events) run.send(e.block, plugin, e.message);
    if (machine.doublePrecision) run.writeDoubles();
    Render r{run.run(machine.setup, rate, 120.0), {}, {}};
    r.replies = r.run.printed("replies");
    r.notFloats = takeFloats(r.run);
    return r;
}

std::string bitsText(float x)
{
    uint32_t bits;
    std::memcpy(&bits, &x, 4);
    char buf[48];
    std::snprintf(buf, sizeof buf, "%.9g (0x%08x)", double(x), unsigned(bits));
    return buf;
}

// Distance in units in the last place between two finite floats of the
// same sign (the float order is the integer order of their bits); -1 otherwise.
long ulpsApart(float x, float y)
{
    if (!std::isfinite(x) || !std::isfinite(y) || std::signbit(x) != std::signbit(y)) return -1;
    uint32_t a, b;
    std::memcpy(&a, &x, 4);
    std::memcpy(&b, &y, 4);
    return a > b ? long(a - b) : long(b - a);
}

// Empty when both recordings agree bit for bit under the x86-64 rule;
// otherwise the number of differing samples, the largest distances (in ulp
// and in value) and the first few.
std::string compareChannels(const std::vector<float>& a, const std::vector<float>& b)
{
    if (a.size() != b.size()) return "lengths " + std::to_string(a.size()) + " and " + std::to_string(b.size());
    std::string text;
    size_t differing = 0;
    long widest = 0;
    double largest = 0.0;
    for (size_t i = 0; i < a.size(); ++i) {
        const float x = asRecorded(a[i]);
        const float y = asRecorded(b[i]);
        if (std::memcmp(&x, &y, 4) == 0) continue;
        const long ulps = ulpsApart(x, y);
        widest = (ulps < 0 || widest < 0) ? -1 : std::max(widest, ulps);
        largest = std::max(largest, std::fabs(double(x) - double(y)));
        if (++differing <= 5)
            text += "\n  sample " + std::to_string(i) + " (block " + std::to_string(i / kBlockSize) + "): " +
                    bitsText(a[i]) + " vs " + bitsText(b[i]);
    }
    if (differing == 0) return "";
    char value[48];
    std::snprintf(value, sizeof value, ", by at most %.3g in value", largest);
    return std::to_string(differing) + " of " + std::to_string(a.size()) + " samples differ, " +
           (widest < 0 ? std::string("some in sign or finiteness") : "by at most " + std::to_string(widest) + " ulp") +
           value + text;
}

bool anyNonZero(const std::vector<float>& s)
{
    for (float v : s)
        if (v != 0.0f) return true;
    return false;
}

size_t differingChannels(const Render& a, const Render& b, size_t outputs, std::string& first)
{
    size_t n = 0;
    for (size_t ch = 0; ch < outputs; ++ch) {
        const std::string d = compareChannels(a.run.channels[ch], b.run.channels[ch]);
        if (d.empty()) continue;
        // The count and the first differing sample.
        if (n++ == 0) first = "outlet " + std::to_string(ch / 2 + 1) + ": " + d.substr(0, d.find('\n', d.find('\n') + 1));
    }
    return n;
}

class SameBits : public ::testing::TestWithParam<std::tuple<size_t, int>> {};

TEST_P(SameBits, BothBuildsRecordTheSameSamples)
{
    const Case& c = cases()[std::get<0>(GetParam())];
    const int rate = std::get<1>(GetParam());
    const Machine a = machine("A");
    const Machine b = machine("B");
    ASSERT_FALSE(a.setup.pd.empty() || a.setup.pluginDir.empty() || b.setup.pd.empty() || b.setup.pluginDir.empty())
        << "set QUILL_PD_ and QUILL_PLUGIN_DIR_ for A and B";
    ASSERT_EQ(a.replayLibrary.empty(), b.replayLibrary.empty()) << "set QUILL_LIBM_REPLAY_ for both A and B, or neither";
    const std::string loaded = "[quill] " + c.name + "~:";
    const size_t outputs = size_t(2 * c.signalOutlets);
    const size_t channels = outputs + (c.audioIn || c.frequencyIn ? 1 : 0);
    auto checkRun = [&](const Render& r, const Render& first) {
        ASSERT_TRUE(r.run.pd.quitCleanly()) << r.run.pd.console;
        EXPECT_EQ(r.run.pd.countLines(loaded), 1) << r.run.pd.console;
        EXPECT_EQ(r.run.pd.countLines("couldn't create"), 0) << r.run.pd.console;
        ASSERT_EQ(r.run.channels.size(), channels) << r.run.pd.console;
        EXPECT_EQ(r.notFloats, "");
        EXPECT_EQ(r.run.wavSampleRate, rate);
        EXPECT_EQ(r.replies, first.replies);
        if (channels > outputs) {
            ASSERT_EQ(compareChannels(first.run.channels[outputs], r.run.channels[outputs]), "") << "the inputs differ";
        }
    };

    if (a.replayLibrary.empty()) {
        const Render ra = render(c, rate, a);
        const Render rb = render(c, rate, b);
        for (const Render* r : {&ra, &rb}) {
            checkRun(*r, ra);
            if (HasFatalFailure()) return;
        }
        EXPECT_TRUE(anyNonZero(ra.run.channels[0])) << "silent recording";
        EXPECT_FALSE(ra.replies.empty());
        for (size_t ch = 0; ch < outputs; ++ch)
            EXPECT_EQ(compareChannels(ra.run.channels[ch], rb.run.channels[ch]), "")
                << c.name << "~ at " << rate << " Hz, outlet " << ch / 2 + 1 << (ch % 2 ? " (x 2^60)" : "");
        return;
    }

    TempDir dir;
    const std::string maths = dir.file("maths-a.txt");
    const std::string diffs = dir.file("maths-differences.txt");
    preload(a.replayLibrary, maths, "", "");
    const Render ra = render(c, rate, a);
    preload("", "", "", "");
    const Render rb = render(c, rate, b);
    preload(b.replayLibrary, "", maths, diffs);
    const Render replayed = render(c, rate, b);
    preload("", "", "", "");
    ASSERT_TRUE(fileExists(maths) && fileExists(diffs)) << "libm_replay was not preloaded";

    for (const Render* r : {&ra, &rb, &replayed}) {
        checkRun(*r, ra);
        if (HasFatalFailure()) return;
    }
    EXPECT_TRUE(anyNonZero(ra.run.channels[0])) << "silent recording";
    EXPECT_FALSE(ra.replies.empty());

    // Nothing but the C library differs.
    for (size_t ch = 0; ch < outputs; ++ch)
        EXPECT_EQ(compareChannels(ra.run.channels[ch], replayed.run.channels[ch]), "")
            << c.name << "~ at " << rate << " Hz with A's maths results, outlet " << ch / 2 + 1
            << (ch % 2 ? " (x 2^60)" : "");

    // And where it does, the difference is shown.
    std::string first;
    const size_t differing = differingChannels(ra, rb, outputs, first);
    if (differing == 0) return;
    const std::vector<std::string> calls = fileLines(diffs);
    std::ostringstream notice;
    notice << c.name << "~ at " << rate << " Hz: " << differing << " of " << outputs
           << " recordings differ; first: " << first << "\n  " << calls.size()
           << " maths calls answered differently by B's C library (name, argument, A's result, B's result):";
    for (size_t i = 0; i < calls.size() && i < 3; ++i) notice << "\n    " << calls[i];
    EXPECT_FALSE(calls.empty()) << notice.str() << "\n  the difference is not the C library's";
    ADD_FAILURE() << notice.str();
}

std::string caseName(const ::testing::TestParamInfo<std::tuple<size_t, int>>& info)
{
    return cases()[std::get<0>(info.param)].name + "At" + std::to_string(std::get<1>(info.param));
}

INSTANTIATE_TEST_SUITE_P(Plugins, SameBits,
                         ::testing::Combine(::testing::Range<size_t>(0, 4), ::testing::Values(22050, 44100, 48000)),
                         caseName);

// The comparison itself: it must see a difference in the last bit of one
// sample, and it must treat what [tabwrite~] drops on x86-64 as equal.
TEST(SameBitsComparison, SeesOneBitAndForgivesWhatTabwriteDrops)
{
    std::vector<float> a = {0.5f, -0.25f, 1e-30f, -0.0f, 3.0f};
    std::vector<float> b = a;
    EXPECT_EQ(compareChannels(a, b), "");
    b[4] = std::nextafter(3.0f, 4.0f);
    const std::string oneUlp = "1 of 5 samples differ, by at most 1 ulp";
    EXPECT_EQ(compareChannels(a, b).substr(0, oneUlp.size()), oneUlp);
    b[4] = std::nextafter(b[4], 4.0f);
    EXPECT_NE(compareChannels(a, b).find("by at most 2 ulp"), std::string::npos);
    b = a;
    b[2] = 0.0f;
    b[3] = 0.0f;
    EXPECT_EQ(compareChannels(a, b), "");
    b.pop_back();
    EXPECT_NE(compareChannels(a, b), "");
}

}  // namespace
