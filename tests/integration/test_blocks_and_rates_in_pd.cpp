// All four objects in a real Pd started at 22050, 44100, 48000, 96000 and
// 192000 Hz, at the top level and inside subpatches whose [block~] or
// [switch~] sets block sizes from 1 to 4096, overlap and upsampling. A flag
// signal computed in Pd next to the objects marks any output sample that is
// not finite or beyond a sane bound ([tabwrite~] would record such samples
// as 0). Each set records what its leveler~ hears and plays; the leveler
// kernel, run here block by block at the set's block size and rate, must
// give the same bits. (The other three kernels are built against the earlier
// revision of the kernel interface and cannot share this program with it.)
#include <cmath>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "adapter/flush_to_zero.h"
#include "kernels/leveler/leveler.h"
#include "tests/integration/support/block_run.h"
#include "tests/integration/support/patch_writer.h"
#include "tests/integration/support/pd_runner.h"
#include "tests/integration/support/recording_compare.h"

using namespace quill::pdtest;

namespace {

const int kRunBlocks = 320;                      // parent blocks per run
const int kTable = kRunBlocks * kBlockSize;      // samples each recording holds
const char* const kEarly = "; quill-mellow cutoff 3000; quill-mellow resonanceQ 6; "
                           "quill-klaxon Trigger/pitch 700; quill-klaxon depth 0.6; quill-klaxon triggerSquare 1; "
                           "quill-leveler intensity 0.85";

// Sane output bounds: zigzag's triangle peaks near 1 (up to about 2 in a
// fast sweep down to low pitches), klaxon's saturation
// keeps it inside (-1, 1), mellow peaks at Q times its input, the leveler's
// clipper keeps it near full scale.
const char* const kFlag = "expr~ 1 + !(abs($v1) <= 4) + !(abs($v2) <= 100) + !(abs($v3) <= 1) + !(abs($v4) <= 4)";

// The "active" messages the toggling sets receive: parent block -> value.
const std::map<int, int> kToggles{{40, 0}, {60, 1}, {150, 0}, {250, 1}};

struct Layout {
    std::string name;
    std::string box;  // "block~", "switch~" or "" for the top level
    int block = 64, overlap = 1, up = 1;
    bool toggles = false;  // the objects get kToggles (only where block timing is known)
};

// One set of the four objects, with what it records.
struct Set {
    Layout layout;
    Canvas* where = nullptr;
    int controlBox = -1;  // the [block~]/[switch~] object
    int objects[4] = {};  // zigzag~, mellow~, klaxon~, leveler~ in `where`
    int audio = -1, freq = -1, zig = -1, mel = -1, kla = -1, lev = -1, flag = -1;  // channels
};

// A mix of noise and a tone under a slow swell, about +-0.9: every sample a
// nonzero multiple of a power of two well above [tabwrite~]'s floor or 0.
int addAudioSource(Canvas& c)
{
    const int noise = c.obj("noise~");
    const int noiseGain = c.obj("*~ 0.45");
    const int tone = c.obj("osc~ 310");
    const int toneGain = c.obj("*~ 0.4");
    const int sum = c.obj("+~");
    const int swell = c.obj("osc~ 2.5");
    const int swellGain = c.obj("*~ 0.5");
    const int swellOffset = c.obj("+~ 0.55");
    const int out = c.obj("*~");
    c.connect(noise, 0, noiseGain, 0);
    c.connect(tone, 0, toneGain, 0);
    c.connect(noiseGain, 0, sum, 0);
    c.connect(toneGain, 0, sum, 1);
    c.connect(swell, 0, swellGain, 0);
    c.connect(swellGain, 0, swellOffset, 0);
    c.connect(sum, 0, out, 0);
    c.connect(swellOffset, 0, out, 1);
    return out;
}

// zigzag's frequency: a sweep from 100 to 10100 Hz, below half of every rate.
int addFrequencySource(Canvas& c)
{
    const int lfo = c.obj("osc~ 0.9");
    const int gain = c.obj("*~ 5000");
    const int offset = c.obj("+~ 5100");
    c.connect(lfo, 0, gain, 0);
    c.connect(gain, 0, offset, 0);
    return offset;
}

void receiveAs(Canvas& c, const std::string& name, int object)
{
    const int r = c.obj("r " + name);
    c.connect(r, 0, object, 0);
}

Set place(Canvas& top, BlockRun& run, int topAudio, const Layout& layout)
{
    Set s;
    s.layout = layout;
    Canvas* c = &top;
    int audio = topAudio;
    if (!layout.box.empty()) {
        c = &top.subpatch(layout.name);
        s.controlBox = c->obj(layout.box + " " + std::to_string(layout.block) + " " +
                              std::to_string(layout.overlap) + " " + std::to_string(layout.up));
        audio = c->obj("inlet~");
        top.connect(topAudio, 0, top.indexOf(*c), 0);
    }
    s.where = c;
    const int freq = addFrequencySource(*c);
    const int z = c->obj("zigzag~");
    const int m = c->obj("mellow~");
    const int k = c->obj("klaxon~");
    const int l = c->obj("leveler~");
    s.objects[0] = z;
    s.objects[1] = m;
    s.objects[2] = k;
    s.objects[3] = l;
    c->connect(freq, 0, z, 1);
    c->connect(audio, 0, m, 1);
    c->connect(audio, 0, l, 1);
    receiveAs(*c, "quill-mellow", m);
    receiveAs(*c, "quill-klaxon", k);
    receiveAs(*c, "quill-leveler", l);
    const int flag = c->obj(kFlag);
    c->connect(z, 1, flag, 0);
    c->connect(m, 1, flag, 1);
    c->connect(k, 1, flag, 2);
    c->connect(l, 1, flag, 3);

    s.audio = run.record(*c, audio, 0);
    s.freq = run.record(*c, freq, 0);
    s.zig = run.record(*c, z, 1);
    s.mel = run.record(*c, m, 1);
    s.kla = run.record(*c, k, 1);
    s.lev = run.record(*c, l, 1);
    s.flag = run.record(*c, flag, 0);
    if (layout.toggles)
        for (const auto& [block, value] : kToggles)
            for (int object : {z, m, k, l}) run.send(block, *c, object, "active " + std::to_string(value));
    if (layout.box == "switch~") {
        // Starts switched off: on, off, two single blocks while off, on.
        run.send(0, *c, s.controlBox, "1");
        run.send(90, *c, s.controlBox, "0");
        run.send(130, *c, s.controlBox, "bang");
        run.send(131, *c, s.controlBox, "bang");
        run.send(160, *c, s.controlBox, "1");
    }
    return s;
}

// The plug-in's block loop at block size n: the kernel computes into
// one-block buffers with flush-to-zero on, then its output is copied,
// crossfaded over nFade blocks, or replaced while switched off (by the input
// when there are as many inputs as outputs, else by silence).
std::vector<std::vector<float>> runBlocks(dsp& kernel, int n, int blocks, int nFade, const std::map<int, int>& activeAt,
                                          const std::vector<const std::vector<float>*>& inputs)
{
    const int nIn = kernel.getNumInputs();
    const int nOut = kernel.getNumOutputs();
    const std::vector<float> block(static_cast<size_t>(n), 0.0f);
    std::vector<std::vector<float>> in(static_cast<size_t>(nIn), block);
    std::vector<std::vector<float>> wet(static_cast<size_t>(nOut), block);
    std::vector<float*> inPtr, wetPtr;
    for (auto& v : in) inPtr.push_back(v.data());
    for (auto& v : wet) wetPtr.push_back(v.data());
    std::vector<std::vector<float>> out(size_t(nOut), std::vector<float>(size_t(blocks) * size_t(n)));

    bool active = true;
    int fade = 0;
    for (int b = 0; b < blocks; ++b) {
        if (auto a = activeAt.find(b); a != activeAt.end()) {
            active = a->second != 0;
            fade = nFade;
        }
        for (int c = 0; c < nIn; ++c)
            for (int j = 0; j < n; ++j) {
                const size_t at = size_t(b) * size_t(n) + size_t(j);
                in[size_t(c)][size_t(j)] = at < inputs[size_t(c)]->size() ? (*inputs[size_t(c)])[at] : 0.0f;
            }
        quill::FlushToZeroScope ftz;
        const bool fading = fade > 0;
        if (fading || active) kernel.compute(n, inPtr.data(), wetPtr.data());
        float w = 0.0f, step = 0.0f;  // weight of the state being left, and its fall per sample
        if (fading) {
            const float d = 1.0f / float(nFade);
            w = float(fade) * d;
            step = d / float(n);
            --fade;
        }
        for (int j = 0; j < n; ++j) {
            for (int i = 0; i < nOut; ++i) {
                const float k = wet[size_t(i)][size_t(j)];
                const float x = nIn == nOut ? in[size_t(i)][size_t(j)] : 0.0f;
                float y;
                if (!fading)
                    y = active ? k : x;
                else if (nIn == nOut)
                    y = active ? w * x + (1.0f - w) * k : w * k + (1.0f - w) * x;
                else
                    y = active ? (1.0f - w) * k : w * k;
                out[size_t(i)][size_t(b) * size_t(n) + size_t(j)] = y;
            }
            w = w - step;
        }
    }
    return out;
}

// The rate the subpatch runs at, which each object adopts at DSP start.
int setRate(const Layout& l, int pdRate) { return pdRate * l.overlap * l.up; }

// Subpatch blocks per parent block, for layouts whose hop fits in a parent block.
int ticksPerParentBlock(const Layout& l) { return kBlockSize * l.up * l.overlap / l.block; }

// Leading samples that the set's recorders wrote: the flag is 1 or more there.
int writtenSamples(const std::vector<float>& flag)
{
    int w = 0;
    while (w < int(flag.size()) && flag[size_t(w)] != 0.0f) ++w;
    return w;
}

std::vector<float> prefix(const std::vector<float>& v, int n) { return {v.begin(), v.begin() + n}; }

bool allFinite(const std::vector<float>& v)
{
    for (float x : v)
        if (!std::isfinite(x)) return false;
    return true;
}

float peak(const std::vector<float>& v)
{
    float p = 0.0f;
    for (float x : v) p = std::max(p, std::fabs(x));
    return p;
}

// The leveler kernel at `rate` and block size n, with the intensity the
// early messages set, fed with the recorded input; `toggles` applies the
// "active" messages the set received.
std::vector<float> levelerModel(const Set& s, const RunResult& r, int rate, int written, bool toggles)
{
    const Layout& l = s.layout;
    const int n = l.block;
    const int blocks = (written + n - 1) / n;
    const int nFade = rate / (10 * n);  // 0.1 s of blocks, rounded down
    std::map<int, int> activeAt;
    if (toggles)
        for (const auto& [block, value] : kToggles) activeAt[block * ticksPerParentBlock(l)] = value;
    leveler v;
    v.init(rate);
    v.intensity = 0.85f;
    const std::vector<float>& audio = r.channels[size_t(s.audio)];
    return prefix(runBlocks(v, n, blocks, nFade, activeAt, {&audio})[0], written);
}

std::vector<Layout> smallBlocks()
{
    return {
        {"top", "", 64, 1, 1, true},
        {"b1", "block~", 1, 1, 1, true},
        {"b2", "block~", 2, 1, 1, false},
        {"b4o2", "block~", 4, 2, 1, true},
        {"b32u2", "block~", 32, 1, 2, true},
        {"b64o4", "block~", 64, 4, 1, false},
        {"s8", "switch~", 8, 1, 1, false},
    };
}

std::vector<Layout> largeBlocks()
{
    return {
        {"b128", "block~", 128, 1, 1, false},
        {"b512o2", "block~", 512, 2, 1, false},
        {"b1024u2", "block~", 1024, 1, 2, false},
        {"b4096", "block~", 4096, 1, 1, false},
        {"b4096o4", "block~", 4096, 4, 1, false},
        {"s2048o2", "switch~", 2048, 2, 1, false},
    };
}

// The four outputs at sample i, as recorded (a non-finite sample shows as 0).
std::string describe(const RunResult& r, const Set& s, int i)
{
    std::string text = ":";
    const char* names[] = {" zigzag~ ", " mellow~ ", " klaxon~ ", " leveler~ "};
    const int channels[] = {s.zig, s.mel, s.kla, s.lev};
    for (int c = 0; c < 4; ++c) text += names[c] + std::to_string(r.channels[size_t(channels[c])][size_t(i)]);
    return text;
}

struct Case {
    int rate;
    bool large;
};

class BlocksAndRates : public ::testing::TestWithParam<Case> {};

}  // namespace

TEST_P(BlocksAndRates, OutputsStayFiniteAndTheLevelerMatchesItsKernelAtEachBlockSizeAndRate)
{
    const int pdRate = GetParam().rate;
    const std::vector<Layout> layouts = GetParam().large ? largeBlocks() : smallBlocks();

    Canvas patch;
    Canvas& early = patch.subpatch("early");  // its [loadbang] fires before DSP starts
    const int load = early.obj("loadbang");
    const int box = early.msg(kEarly);
    early.connect(load, 0, box, 0);
    const int audio = addAudioSource(patch);
    BlockRun run(patch, kRunBlocks);
    std::vector<Set> sets;
    for (const Layout& l : layouts) sets.push_back(place(patch, run, audio, l));

    RunResult r = run.run(PdSetup::fromEnvironment(), pdRate);
    ASSERT_TRUE(r.pd.quitCleanly()) << r.pd.console;
    EXPECT_EQ(r.pd.countLines("couldn't create"), 0) << r.pd.console;
    EXPECT_EQ(r.pd.countLines("error"), 0) << r.pd.console;
    ASSERT_EQ(r.channels.size(), sets.size() * 7) << r.pd.console;

    for (const Set& s : sets) {
        const Layout& l = s.layout;
        SCOPED_TRACE(l.name + " at " + std::to_string(pdRate) + " Hz");
        const int rate = setRate(l, pdRate);
        const std::vector<float>& flag = r.channels[size_t(s.flag)];
        const int written = writtenSamples(flag);
        ASSERT_GE(written, 8192) << "the set's recorders barely ran";
        for (int i = 0; i < written; ++i)
            ASSERT_EQ(flag[size_t(i)], 1.0f) << "an output was not finite or out of bounds at sample " << i
                                             << describe(r, s, i);
        for (size_t c = 0; c < 7; ++c)
            for (int i = written; i < kTable; ++i)
                ASSERT_EQ(r.channels[size_t(s.audio) + c][size_t(i)], 0.0f) << "recorders ran unequal lengths";
        ASSERT_GT(peak(prefix(r.channels[size_t(s.audio)], written)), 0.3f) << "no input reached the set";
        ASSERT_GT(peak(prefix(r.channels[size_t(s.freq)], written)), 9000.0f) << "zigzag~'s sweep did not play";

        for (const int ch : {s.zig, s.mel, s.kla, s.lev})
            EXPECT_GT(peak(prefix(r.channels[size_t(ch)], written)), 0.05f) << "a silent object proves little";

        const std::vector<float> expected = levelerModel(s, r, rate, written, l.toggles);
        EXPECT_TRUE(allFinite(expected));
        EXPECT_EQ(bitDifference(prefix(r.channels[size_t(s.lev)], written), expected), "");
        // The "active" messages took effect where they were sent.
        if (l.toggles) {
            EXPECT_NE(bitDifference(prefix(r.channels[size_t(s.lev)], written),
                                    levelerModel(s, r, rate, written, false)), "");
        }
        // The leveler follows the rate: at 44100 Hz (the rate it was created
        // with) it would have sounded different.
        if (std::min(rate, 1536000) != 44100) {
            EXPECT_NE(bitDifference(prefix(r.channels[size_t(s.lev)], written),
                                    levelerModel(s, r, 44100, written, l.toggles)), "");
        }
    }
}

INSTANTIATE_TEST_SUITE_P(PdRates, BlocksAndRates,
                         ::testing::Values(Case{22050, false}, Case{22050, true}, Case{44100, false},
                                           Case{44100, true}, Case{48000, false}, Case{48000, true},
                                           Case{96000, false}, Case{96000, true}, Case{192000, false},
                                           Case{192000, true}),
                         [](const auto& c) {
                             return std::string(c.param.large ? "LargeBlocks" : "SmallBlocks") + "At" +
                                    std::to_string(c.param.rate);
                         });

// A DSP restart that changes a subpatch's block size from 1 to 4096 while
// the objects are crossfading, and back: the crossfade, counted in blocks,
// is shortened to the new size's length (none at 22050 Hz, where 0.1 s is
// less than one 4096-sample block). Every output stays finite and bounded,
// and the objects play again afterwards.
TEST(BlocksAndRatesInPd, BlockSizeChangesInTheMiddleOfACrossfade)
{
    for (const int pdRate : {22050, 192000}) {
        SCOPED_TRACE(std::to_string(pdRate) + " Hz");
        Canvas patch;
        Canvas& early = patch.subpatch("early");
        const int load = early.obj("loadbang");
        const int box = early.msg(kEarly);
        early.connect(load, 0, box, 0);
        const int audio = addAudioSource(patch);
        BlockRun run(patch, kRunBlocks);
        Layout layout{"resized", "block~", 1, 1, 1, false};
        const Set s = place(patch, run, audio, layout);
        Canvas& c = *s.where;
        for (const int object : s.objects) {
            run.send(40, c, object, "active 0");
            run.send(70, c, object, "active 1");
        }
        run.send(45, c, s.controlBox, "set 4096");
        run.sendTo(45, "pd", "dsp 0");
        run.sendTo(45, "pd", "dsp 1");
        run.send(72, c, s.controlBox, "set 1");
        run.sendTo(72, "pd", "dsp 0");
        run.sendTo(72, "pd", "dsp 1");
        RunResult r = run.run(PdSetup::fromEnvironment(), pdRate);
        ASSERT_TRUE(r.pd.quitCleanly()) << r.pd.console;
        EXPECT_EQ(r.pd.countLines("couldn't create"), 0) << r.pd.console;
        ASSERT_EQ(r.channels.size(), 7u) << r.pd.console;
        const std::vector<float>& flag = r.channels[size_t(s.flag)];
        const int written = writtenSamples(flag);
        ASSERT_EQ(written, kTable);
        for (int i = 0; i < written; ++i)
            ASSERT_EQ(flag[size_t(i)], 1.0f) << "an output was not finite or out of bounds at sample " << i;
        // Back on and at block size 1 for the last 200 parent blocks.
        const int tail = 200 * kBlockSize;
        for (const int ch : {s.zig, s.mel, s.kla, s.lev}) {
            const std::vector<float>& v = r.channels[size_t(ch)];
            EXPECT_GT(peak(std::vector<float>(v.end() - tail, v.end())), 0.05f) << "channel " << ch;
        }
    }
}
