// The help patches in a real, headless Pd: each opens without a single
// console error, and its live example, started through the patch's
// "<object>-help-demo" receiver, really sounds. A small wrapper patch,
// opened after the help patch, starts the example and records what the help
// patch sends to [s~ <object>-help-out].
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/integration/support/patch_writer.h"
#include "tests/integration/support/pd_runner.h"
#include "tests/integration/support/temp_dir.h"
#include "tests/integration/support/wav_reader.h"

using namespace quill::pdtest;

namespace {

constexpr int kRate = 44100;

std::string helpDir()
{
    const char* dir = std::getenv("QUILL_HELP_DIR");
    return dir ? dir : "";
}

std::string helpPatch(const std::string& object) { return helpDir() + "/" + object + "-help.pd"; }

// Runs Pd on the help patch of `object`, then on `wrapper` when given.
PdResult openHelp(const std::string& object, const std::string& wrapper = "")
{
    const PdSetup setup = PdSetup::fromEnvironment();
    std::vector<std::string> argv = {setup.pd, "-nogui", "-nosound", "-batch", "-noprefs", "-stderr", "-nrt",
                                     "-r", std::to_string(kRate), "-path", setup.pluginDir,
                                     "-open", helpPatch(object)};
    if (wrapper.empty()) {
        argv.push_back("-send");
        argv.push_back("pd quit");
    } else {
        argv.push_back("-open");
        argv.push_back(wrapper);
    }
    return runProgram(argv, 60.0);
}

// Console lines that show a problem: errors, objects that did not create,
// warnings.
std::vector<std::string> problems(const PdResult& r)
{
    std::vector<std::string> out;
    for (const std::string& line : r.lines()) {
        std::string lower = line;
        std::transform(lower.begin(), lower.end(), lower.begin(),
                       [](unsigned char ch) { return char(std::tolower(ch)); });
        if (lower.find("error") != std::string::npos || lower.find("couldn't create") != std::string::npos ||
            lower.find("warning") != std::string::npos)
            out.push_back(line);
    }
    return out;
}

// A wrapper patch: sends `demoMessage` to "<object>-help-demo" (or only
// switches audio on when it is empty), waits
// `settleMs`, records `recordSamples` samples of [r~ <object>-help-out],
// writes them to `wav` and quits.
void writeWrapper(const std::string& path, const std::string& object, const std::string& demoMessage,
                  const std::string& wav, int settleMs, int recordSamples)
{
    Canvas w;
    w.obj("table help-rec " + std::to_string(recordSamples));
    const int listen = w.obj("r~ " + object + "-help-out");
    const int rec = w.obj("tabwrite~ help-rec");
    w.connect(listen, 0, rec, 0);
    const int load = w.obj("loadbang");
    const int order = w.obj("t b b b");
    // Without a demo message: audio on only, the example left alone.
    const int start = w.msg(demoMessage.empty() ? std::string("; pd dsp 1")
                                                : "; " + object + "-help-demo " + demoMessage);
    const int settle = w.obj("delay " + std::to_string(settleMs));
    const int recordMs = recordSamples * 1000 / kRate + 50;
    const int finish = w.obj("delay " + std::to_string(settleMs + recordMs));
    const int write = w.msg("write -bytes 4 " + wav + " help-rec");
    const int files = w.obj("soundfiler");
    const int quit = w.msg("; pd quit");
    w.connect(load, 0, order, 0);
    w.connect(order, 2, start, 0);
    w.connect(order, 1, settle, 0);
    w.connect(order, 0, finish, 0);
    w.connect(settle, 0, rec, 0);
    w.connect(finish, 0, write, 0);
    w.connect(write, 0, files, 0);
    w.connect(files, 0, quit, 0);
    w.save(path);
}

struct Recording {
    PdResult pd;
    std::vector<float> samples;
};

Recording recordDemo(const std::string& object, const std::string& demoMessage)
{
    TempDir dir;
    const std::string wav = dir.file("out.wav");
    const std::string wrapper = dir.file("wrapper.pd");
    writeWrapper(wrapper, object, demoMessage, wav, 400, kRate);
    Recording r;
    r.pd = openHelp(object, wrapper);
    const WavData data = readWav(wav);
    if (!data.channels.empty()) r.samples = data.channels[0];
    return r;
}

void expectSounding(const std::vector<float>& samples)
{
    ASSERT_GE(samples.size(), size_t(kRate)) << "recording too short";
    double energy = 0.0;
    float peak = 0.0f;
    for (float v : samples) {
        ASSERT_TRUE(std::isfinite(v));
        energy += double(v) * double(v);
        peak = std::max(peak, std::fabs(v));
    }
    const double rms = std::sqrt(energy / double(samples.size()));
    EXPECT_GT(rms, 1e-3) << "the example is (nearly) silent";
    EXPECT_LT(peak, 20.0f) << "the example is far too loud";
}

class HelpPatch : public ::testing::TestWithParam<const char*> {};

TEST_P(HelpPatch, OpensWithoutConsoleErrors)
{
    const std::string object = GetParam();
    const PdResult r = openHelp(object);
    ASSERT_TRUE(r.quitCleanly()) << r.console;
    EXPECT_EQ(problems(r), std::vector<std::string>{}) << r.console;
    // The object itself loaded (its class prints one line when it does).
    EXPECT_TRUE(r.contains("[quill] " + object + ": ")) << r.console;
}

TEST_P(HelpPatch, LiveExampleSoundsFiniteAndNotSilent)
{
    const std::string object = GetParam();
    const Recording r = recordDemo(object, "bang");
    ASSERT_TRUE(r.pd.quitCleanly()) << r.pd.console;
    EXPECT_EQ(problems(r.pd), std::vector<std::string>{}) << r.pd.console;
    expectSounding(r.samples);
}

INSTANTIATE_TEST_SUITE_P(AllObjects, HelpPatch, ::testing::Values("klaxon~", "mellow~", "zigzag~", "leveler~"),
                         [](const ::testing::TestParamInfo<const char*>& param) {
                             std::string name = param.param;
                             name.pop_back();  // drop the '~'
                             return name;
                         });

// With audio on but the demo not started, klaxon~ has no note: the
// recording is exact silence, so the sound above comes from the demo.
TEST(HelpPatchRecording, SilentWithoutTheDemo)
{
    const Recording r = recordDemo("klaxon~", "");
    ASSERT_TRUE(r.pd.quitCleanly()) << r.pd.console;
    ASSERT_FALSE(r.samples.empty());
    for (float v : r.samples) ASSERT_EQ(v, 0.0f);
}

// The "-m" example is built on request, only where [snake~] exists.
TEST(LevelerHelp, MultichannelExampleBuildsAndSounds)
{
    if (!PdSetup::fromEnvironment().multichannel) GTEST_SKIP() << "this Pd has no multichannel signals";
    const Recording r = recordDemo("leveler~", "multichannel");
    ASSERT_TRUE(r.pd.quitCleanly()) << r.pd.console;
    EXPECT_EQ(problems(r.pd), std::vector<std::string>{}) << r.pd.console;
    expectSounding(r.samples);
}

}  // namespace
