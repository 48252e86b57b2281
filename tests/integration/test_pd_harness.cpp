// Checks of the integration harness itself: WAV parsing, patch text, the
// process runner, and block alignment in a real Pd using only Pd's own
// objects.
#include <cmath>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>

#include "tests/integration/support/block_run.h"
#include "tests/integration/support/patch_writer.h"
#include "tests/integration/support/pd_runner.h"
#include "tests/integration/support/temp_dir.h"
#include "tests/integration/support/wav_reader.h"

using namespace quill::pdtest;

namespace {

void put16(std::vector<uint8_t>& b, unsigned v)
{
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}
void put32(std::vector<uint8_t>& b, uint32_t v)
{
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
}
void putTag(std::vector<uint8_t>& b, const char* tag) { b.insert(b.end(), tag, tag + 4); }

// A WAV file built by hand: `frames` interleaved, with an odd-sized chunk
// before "fmt " to exercise chunk padding. Samples of 64 bits are stored as
// they are, any others as floats.
std::vector<uint8_t> makeWav(bool extensible, unsigned tag, unsigned bits, int channels,
                             const std::vector<double>& interleaved)
{
    const unsigned bytes = bits == 64 ? 8u : 4u;
    std::vector<uint8_t> b;
    putTag(b, "RIFF");
    put32(b, 0);  // patched below
    putTag(b, "WAVE");
    putTag(b, "junk");
    put32(b, 3);
    b.insert(b.end(), {1, 2, 3, 0});  // three bytes and the pad byte
    putTag(b, "fmt ");
    put32(b, extensible ? 40 : 16);
    put16(b, extensible ? 0xFFFE : tag);
    put16(b, unsigned(channels));
    put32(b, 48000);
    put32(b, 48000u * bytes * unsigned(channels));
    put16(b, bytes * unsigned(channels));
    put16(b, bits);
    if (extensible) {
        put16(b, 22);
        put16(b, bits);
        put32(b, 3);  // channel mask
        put16(b, tag);
        const uint8_t rest[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00,
                                  0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
        b.insert(b.end(), rest, rest + 14);
    }
    putTag(b, "data");
    put32(b, uint32_t(interleaved.size() * bytes));
    for (double d : interleaved) {
        uint64_t bits64;
        std::memcpy(&bits64, &d, 8);
        const float f = float(d);
        uint32_t bits32;
        std::memcpy(&bits32, &f, 4);
        if (bytes == 8) {
            put32(b, uint32_t(bits64));
            put32(b, uint32_t(bits64 >> 32));
        } else {
            put32(b, bits32);
        }
    }
    const uint32_t riff = uint32_t(b.size() - 8);
    for (int i = 0; i < 4; ++i) b[4 + size_t(i)] = uint8_t(riff >> (8 * i));
    return b;
}

}  // namespace

TEST(WavReader, ReadsPlainAndExtensibleFloatFiles)
{
    const std::vector<double> samples = {0.5f, -1.0f, 1e-30f, 3.25f, -0.0f, 7.0f};
    for (bool extensible : {false, true}) {
        WavData d = parseWav(makeWav(extensible, 3, 32, 2, samples));
        EXPECT_EQ(d.sampleRate, 48000);
        ASSERT_EQ(d.channels.size(), 2u);
        EXPECT_EQ(d.channels[0], (std::vector<float>{0.5f, 1e-30f, -0.0f}));
        EXPECT_EQ(d.channels[1], (std::vector<float>{-1.0f, 3.25f, 7.0f}));
        EXPECT_TRUE(std::signbit(d.channels[0][2]));
        EXPECT_TRUE(d.doubles.empty());
    }
    // 64-bit samples, as a double-precision Pd writes them: not rounded to floats.
    const std::vector<double> wide = {0.1, -1e-300, -0.0, 1e300};
    WavData d = parseWav(makeWav(false, 3, 64, 1, wide));
    EXPECT_TRUE(d.channels.empty());
    ASSERT_EQ(d.doubles.size(), 1u);
    EXPECT_EQ(d.doubles[0], wide);
    EXPECT_TRUE(std::signbit(d.doubles[0][2]));
}

TEST(WavReader, RejectsWhatIsNotFloat)
{
    EXPECT_THROW(parseWav(makeWav(false, 1, 32, 1, {1.0f})), std::runtime_error);   // PCM
    EXPECT_THROW(parseWav(makeWav(true, 1, 32, 1, {1.0f})), std::runtime_error);    // PCM sub-format
    EXPECT_THROW(parseWav(makeWav(false, 3, 16, 1, {1.0f})), std::runtime_error);   // 16 bits
    EXPECT_THROW(parseWav({'R', 'I', 'F', 'F'}), std::runtime_error);
    std::vector<uint8_t> noData = makeWav(false, 3, 32, 1, {});
    noData.resize(noData.size() - 8);  // drop the data chunk header
    EXPECT_THROW(parseWav(noData), std::runtime_error);
}

TEST(PatchWriter, NumbersObjectsAndEscapesMessages)
{
    Canvas top;
    const int a = top.obj("osc~ 440");
    Canvas& sub = top.subpatch("inner");
    const int inner = sub.obj("inlet~");
    const int m = top.msg("; pd dsp 1, $1");
    EXPECT_EQ(a, 0);
    EXPECT_EQ(top.indexOf(sub), 1);
    EXPECT_EQ(m, 2);
    EXPECT_EQ(inner, 0);
    top.connect(a, 0, 1, 0);
    EXPECT_THROW(top.connect(a, 0, 3, 0), std::out_of_range);
    EXPECT_EQ(top.text(),
              "#N canvas 0 50 450 300 12;\n"
              "#X obj 10 10 osc~ 440;\n"
              "#N canvas 0 50 450 300 inner 0;\n"
              "#X obj 10 10 inlet~;\n"
              "#X restore 200 35 pd inner;\n"
              "#X msg 10 60 \\; pd dsp 1 \\, \\$1;\n"
              "#X connect 0 0 1 0;\n");
}

TEST(Runner, ReportsStatusOutputAndTimeout)
{
    PdResult r = runProgram({"/bin/sh", "-c", "echo out; echo err >&2; exit 3"}, 10.0);
    EXPECT_FALSE(r.timedOut);
    EXPECT_TRUE(r.exitedNormally);
    EXPECT_EQ(r.exitStatus, 3);
    EXPECT_EQ(r.countLines("out"), 1);
    EXPECT_EQ(r.countLines("err"), 1);
    EXPECT_FALSE(r.quitCleanly());

    PdResult slow = runProgram({"/bin/sleep", "30"}, 0.3);
    EXPECT_TRUE(slow.timedOut);
    EXPECT_FALSE(slow.exitedNormally);
}

TEST(TempDirTest, RemovesItsFolder)
{
    std::string path;
    {
        TempDir d;
        path = d.path();
        Canvas c;
        c.save(d.file("x.pd"));
        EXPECT_TRUE(std::filesystem::exists(d.file("x.pd")));
    }
    EXPECT_FALSE(std::filesystem::exists(path));
}

// In Pd, with Pd's own objects only.
TEST(PdBlocks, RecordingStartsAtTheFirstBlockAndMessagesLandOnBlockBoundaries)
{
    Canvas patch;
    const int one = patch.obj("sig~ 1");
    const int ramp = patch.obj("rpole~ 1");  // 1, 2, 3, ... counts the samples
    patch.connect(one, 0, ramp, 0);
    const int step = patch.obj("sig~ 0");
    BlockRun run(patch, 12);
    const int rampChannel = run.record(ramp, 0);
    const int stepChannel = run.record(step, 0);
    run.send(5, step, "1");
    run.send(9, step, "2");
    RunResult r = run.run(PdSetup::fromEnvironment());
    ASSERT_TRUE(r.pd.quitCleanly()) << r.pd.console << r.patch;
    ASSERT_EQ(r.channels.size(), 2u) << r.pd.console;
    const auto& rampOut = r.channels[size_t(rampChannel)];
    const auto& stepOut = r.channels[size_t(stepChannel)];
    ASSERT_EQ(rampOut.size(), size_t(12 * kBlockSize));
    for (size_t i = 0; i < rampOut.size(); ++i) ASSERT_EQ(rampOut[i], float(i + 1)) << i;
    for (size_t i = 0; i < stepOut.size(); ++i) {
        const float expected = i < 5 * kBlockSize ? 0.0f : i < 9 * kBlockSize ? 1.0f : 2.0f;
        ASSERT_EQ(stepOut[i], expected) << i;
    }
}

TEST(PdBlocks, RunsAtTheRequestedRateAndCapturesPrints)
{
    Canvas patch;
    const int rate = patch.obj("samplerate~");
    BlockRun run(patch, 3);
    run.printReplies(rate, "rate");
    run.send(1, rate, "bang");
    run.send(2, rate, "bang");
    RunResult r = run.run(PdSetup::fromEnvironment(), 48000);
    ASSERT_TRUE(r.pd.quitCleanly()) << r.pd.console << r.patch;
    EXPECT_EQ(r.printed("rate"), (std::vector<std::string>{"48000", "48000"}));
}

TEST(PdBlocks, ConsoleShowsObjectsThatCouldNotBeCreated)
{
    Canvas patch;
    patch.obj("quill-no-such-object~");
    BlockRun run(patch, 1);
    RunResult r = run.run(PdSetup::fromEnvironment());
    EXPECT_TRUE(r.pd.quitCleanly()) << r.pd.console << r.patch;  // Pd's exit status says nothing about it
    EXPECT_EQ(r.pd.countLines("couldn't create"), 1) << r.pd.console;
}
