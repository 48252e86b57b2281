// The help patches in a real, headless Pd: each opens without a single
// console error, and its example really sounds once audio is switched on.
// The tests run an instrumented copy: its [dac~] becomes a probe that sends
// what the patch plays to [s~ help-out]; a small wrapper patch, opened after
// it, switches audio on and records that.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
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

std::string readFile(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeFile(const std::string& path, const std::string& text) { std::ofstream(path) << text; }

// How a test changes its copy of a help patch.
struct Instruments {
    bool muted = false;  // the volume slider starts at 0 instead of its default
};

// Writes the instrumented copy of `object`'s help patch into `dir` (with
// the probe abstraction beside it) and returns its path.
std::string instrumentedCopy(const TempDir& dir, const std::string& object, const Instruments& how)
{
    std::string text = readFile(helpPatch(object));
    const std::regex dac(R"((#X obj -?\d+ -?\d+ )dac~( [^;]*)?;)");
    EXPECT_EQ(std::distance(std::sregex_iterator(text.begin(), text.end(), dac), std::sregex_iterator()), 1)
        << "the help patch should play through one [dac~]";
    text = std::regex_replace(text, dac, "$1help-probe;");
    if (how.muted) {
        // The slider's saved value (in hundredths of a pixel) is the last but one field.
        const std::regex volume(R"((hsl [^;]* empty empty volume [^;]*) \d+ (\d+;))");
        EXPECT_TRUE(std::regex_search(text, volume)) << "no volume slider found";
        text = std::regex_replace(text, volume, "$1 0 $2");
    }
    writeFile(dir.file("help-probe.pd"),
              "#N canvas 0 0 300 200 12;\n#X obj 10 10 inlet~;\n#X obj 80 10 inlet~;\n"
              "#X obj 10 50 s~ help-out;\n#X connect 0 0 2 0;\n");
    const std::string path = dir.file(object + "-help.pd");
    writeFile(path, text);
    return path;
}

// Runs Pd on `patch`, then on `wrapper` when given.
PdResult openHelp(const std::string& patch, const std::string& wrapper = "")
{
    const PdSetup setup = PdSetup::fromEnvironment();
    std::vector<std::string> argv = {setup.pd, "-nogui", "-nosound", "-batch", "-noprefs", "-stderr", "-nrt",
                                     "-r", std::to_string(kRate), "-path", setup.pluginDir,
                                     "-open", patch};
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

// A wrapper patch: switches audio on and sends `message` (a message box's
// text, when given), waits `settleMs`, records `recordSamples` samples of
// [r~ help-out], writes them to `wav` and quits.
void writeWrapper(const std::string& path, const std::string& message, const std::string& wav, int settleMs,
                  int recordSamples)
{
    Canvas w;
    w.obj("table help-rec " + std::to_string(recordSamples));
    const int listen = w.obj("r~ help-out");
    const int rec = w.obj("tabwrite~ help-rec");
    w.connect(listen, 0, rec, 0);
    const int load = w.obj("loadbang");
    const int order = w.obj("t b b b");
    const int start = w.msg("; pd dsp 1" + (message.empty() ? std::string() : " " + message));
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

// Plays the instrumented copy with audio switched on (and `message` sent).
Recording record(const std::string& object, const Instruments& how = {}, const std::string& message = "")
{
    TempDir dir;
    const std::string wav = dir.file("out.wav");
    const std::string wrapper = dir.file("wrapper.pd");
    writeWrapper(wrapper, message, wav, 400, kRate);
    Recording r;
    r.pd = openHelp(instrumentedCopy(dir, object, how), wrapper);
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
    const PdResult r = openHelp(helpPatch(object));
    ASSERT_TRUE(r.quitCleanly()) << r.console;
    EXPECT_EQ(problems(r), std::vector<std::string>{}) << r.console;
    // The object itself loaded (its class prints one line when it does).
    EXPECT_TRUE(r.contains("[quill] " + object + ": ")) << r.console;
}

// Defaults are set at load: switching audio on is all it takes.
TEST_P(HelpPatch, ExampleSoundsWhenAudioIsSwitchedOn)
{
    const std::string object = GetParam();
    const Recording r = record(object);
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

// With the volume slider at 0 the probe hears exact silence: what it
// records above comes through the patch's own volume control.
TEST_P(HelpPatch, SilentWhenTheVolumeIsDown)
{
    Instruments muted;
    muted.muted = true;
    const Recording r = record(GetParam(), muted);
    ASSERT_TRUE(r.pd.quitCleanly()) << r.pd.console;
    ASSERT_FALSE(r.samples.empty());
    for (float v : r.samples) ASSERT_EQ(v, 0.0f);
}

// Power of `samples` at `hz` (Goertzel), per sample.
double powerAt(const std::vector<float>& samples, double hz)
{
    const double w = 2.0 * 3.14159265358979323846 * hz / kRate;
    const double k = 2.0 * std::cos(w);
    double s1 = 0.0, s2 = 0.0;
    for (float v : samples) {
        const double s0 = double(v) + k * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    const double n = double(samples.size());
    return (s1 * s1 + s2 * s2 - k * s1 * s2) / (n * n);
}

// The text of the message box in `patch` that starts with `start`, as typed.
std::string messageBox(const std::string& patch, const std::string& start)
{
    const size_t at = patch.find(" " + start);
    if (at == std::string::npos) return "";
    std::string out;
    for (size_t i = at + 1; i < patch.size() && patch[i] != ';'; ++i) {
        if (patch[i] == '\\' && i + 1 < patch.size()) ++i;  // "\;" and "\," are the box's own
        out += patch[i] == '\n' ? ' ' : patch[i];
    }
    return out;
}

// The "-m" example is built on request, only where [snake~] exists: the
// wrapper sends what the patch's message box sends when clicked.
// Each multichannel example (Pd 0.54 and later) builds from its message box
// and adds a tone of its own to what the main example plays.
class MultichannelExample : public ::testing::TestWithParam<std::pair<const char*, double>> {};

TEST_P(MultichannelExample, BuildsAndSounds)
{
    if (!PdSetup::fromEnvironment().multichannel) GTEST_SKIP() << "this Pd has no multichannel signals";
    const auto [object, hz] = GetParam();
    const std::string build = messageBox(readFile(helpPatch(object)), "\\; pd-mc-example clear");
    ASSERT_NE(build, "") << "no message box builds the multichannel example";
    const Recording r = record(object, {}, build);
    ASSERT_TRUE(r.pd.quitCleanly()) << r.pd.console;
    EXPECT_EQ(problems(r.pd), std::vector<std::string>{}) << r.pd.console;
    expectSounding(r.samples);
    const Recording without = record(object);
    ASSERT_EQ(without.samples.size(), r.samples.size());
    EXPECT_GT(powerAt(r.samples, hz), 4.0 * powerAt(without.samples, hz)) << object;
}

// leveler~ -m sends its first channel, a 220 Hz sine; zigzag~ and mellow~
// add a chord whose 277 Hz and 185 Hz voices the main examples lack.
INSTANTIATE_TEST_SUITE_P(Objects, MultichannelExample,
                         ::testing::Values(std::make_pair("leveler~", 220.0), std::make_pair("zigzag~", 277.0),
                                           std::make_pair("mellow~", 185.0)),
                         [](const auto& p) { return std::string(p.param.first).substr(0, std::string(p.param.first).size() - 1); });

}  // namespace
