// The Pd half of the soak: a generated patch plays one object for a given
// number of seconds of logical time in batch mode (as fast as the CPU
// allows), with its controls jumping about (beyond their ranges too), and
// watches every output sample: [expr~] marks a sample that is not finite or
// beyond a sane bound, overlapping [env~] windows count the marks, and a
// second [env~] follows the loudness. At the end the patch prints its
// counts and quits.
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>

#include "scripts/soak/soak.h"
#include "tests/integration/support/patch_writer.h"
#include "tests/integration/support/pd_runner.h"
#include "tests/integration/support/temp_dir.h"

namespace quill::soak {
namespace {

using pdtest::Canvas;

const int kRate = 44100;

// Noise and a tone, about +-0.8.
int addAudio(Canvas& c)
{
    const int noise = c.obj("noise~");
    const int noiseGain = c.obj("*~ 0.5");
    const int tone = c.obj("osc~ 220");
    const int toneGain = c.obj("*~ 0.3");
    const int sum = c.obj("+~");
    c.connect(noise, 0, noiseGain, 0);
    c.connect(tone, 0, toneGain, 0);
    c.connect(noiseGain, 0, sum, 0);
    c.connect(toneGain, 0, sum, 1);
    return sum;
}

// A control message with a fresh random value each second: `rand` picks an
// integer below `range`, scaled by `scale` and shifted by `offset`.
void randomControl(Canvas& c, int second, int object, const std::string& name, int range, float scale,
                   float offset)
{
    const int pick = c.obj("random " + std::to_string(range));
    const int mul = c.obj("* " + std::to_string(scale));
    const int add = c.obj("+ " + std::to_string(offset));
    const int m = c.msg(name + " $1");
    c.connect(second, 0, pick, 0);
    c.connect(pick, 0, mul, 0);
    c.connect(mul, 0, add, 0);
    c.connect(add, 0, m, 0);
    c.connect(m, 0, object, 0);
}

// An accumulator [OP init] whose result feeds back into its right inlet;
// returns a cold [f] that holds the latest result.
int accumulate(Canvas& c, int source, const std::string& op)
{
    const int acc = c.obj(op);
    const int store = c.obj("f");
    c.connect(source, 0, acc, 0);
    c.connect(acc, 0, acc, 1);
    c.connect(acc, 0, store, 1);
    return store;
}

std::string buildPatch(const std::string& object, int64_t seconds)
{
    Canvas c;
    const int load = c.obj("loadbang");
    const int metro = c.obj("metro 1000");
    const int count = c.obj("f");
    const int inc = c.obj("+ 1");
    const int split = c.obj("t f f");
    c.connect(load, 0, metro, 0);
    c.connect(metro, 0, count, 0);
    c.connect(count, 0, inc, 0);
    c.connect(inc, 0, count, 1);
    c.connect(inc, 0, split, 0);
    const int second = c.obj("t b");  // once per second of audio
    c.connect(split, 1, second, 0);

    const bool wild = object == "zigzag-wild";
    const std::string cls = wild ? "zigzag" : object;
    const bool two = cls != "leveler";  // leveler~ has one signal outlet
    const int x = c.obj(cls + "~");
    int bound = 4;
    std::string start = "; pd dsp 1";
    if (cls == "zigzag") {
        // Frequency: a jump each second, plus a glide of +-2000 Hz around it.
        // In its range, 2000 to 20000 Hz; wild, anywhere in +-1e6 Hz, where
        // only finiteness is asked for (the triangle's scale 4 f / fs grows
        // with f, and above half the rate the integrator fills up).
        const int base = c.obj("sig~");
        const int lfo = c.obj("osc~ 0.05");
        const int depth = c.obj("*~ 2000");
        const int sum = c.obj("+~");
        c.connect(lfo, 0, depth, 0);
        c.connect(base, 0, sum, 0);
        c.connect(depth, 0, sum, 1);
        c.connect(sum, 0, x, 1);
        const int pick = c.obj(wild ? "random 2000000" : "random 14000");
        const int shift = c.obj(wild ? "- 1000000" : "+ 4000");
        c.connect(second, 0, pick, 0);
        c.connect(pick, 0, shift, 0);
        c.connect(shift, 0, base, 0);
        // A jump from f1 to f2 scales the triangle already integrated by
        // f2 / f1 until the leak has drained it: up to 10 here.
        bound = wild ? 1000000 : 16;
    } else if (object == "mellow") {
        c.connect(addAudio(c), 0, x, 1);
        randomControl(c, second, x, "cutoff", 22000, 1.0f, 0.0f);      // 0 .. 22000 Hz
        randomControl(c, second, x, "resonanceQ", 160, 0.1f, 0.0f);   // 0 .. 15.9
        // A jump from a low, sharp cutoff to a high one releases the large
        // state of the direct-form filter: bursts of about 150 times the
        // input (|y| up to 123 for an input of 0.8) are part of its sound.
        bound = 1000;
    } else if (object == "klaxon") {
        start += "; soak-object triggerSquare 1";  // one note held for the whole run
        bound = 1;
    } else {
        // Sound half of the time, fading in and out of true silence.
        const int audio = addAudio(c);
        const int gateLfo = c.obj("osc~ 0.01");
        const int gate = c.obj("clip~ 0 1");
        const int gated = c.obj("*~");
        c.connect(gateLfo, 0, gate, 0);
        c.connect(audio, 0, gated, 0);
        c.connect(gate, 0, gated, 1);
        c.connect(gated, 0, x, 1);
        randomControl(c, second, x, "intensity", 120, 0.01f, 0.0f);  // 0 .. 1.19
    }
    const int rx = c.obj("r soak-object");
    c.connect(rx, 0, x, 0);
    const int startBox = c.msg(start);
    c.connect(load, 0, startBox, 0);

    // A short switch-off every 1000 s (not for the held klaxon note, whose
    // kernel must count every sample).
    if (cls != "klaxon") {
        const int mod = c.obj("mod 1000");
        const int sel = c.obj("sel 500 501");
        const int off = c.msg("active 0");
        const int on = c.msg("active 1");
        c.connect(split, 1, mod, 0);
        c.connect(mod, 0, sel, 0);
        c.connect(sel, 0, off, 0);
        c.connect(sel, 1, on, 0);
        c.connect(off, 0, x, 0);
        c.connect(on, 0, x, 0);
    }

    // Watch: 1 for a sample that is not finite or beyond the bound (or where
    // the two outlets differ), summed
    // over half-overlapping windows so that every sample has weight.
    const int flag = c.obj("expr~ !(abs($v1) <= " + std::to_string(bound) + ")" +
                           (two ? " + ($v2 != $v1)" : ""));
    c.connect(x, 1, flag, 0);
    if (two) c.connect(x, 2, flag, 1);
    const int flagEnv = c.obj("env~ 4096 2048");
    const int isBad = c.obj("> 0");
    c.connect(flag, 0, flagEnv, 0);
    c.connect(flagEnv, 0, isBad, 0);
    const int bad = accumulate(c, isBad, "+ 0");

    const int level = c.obj("env~ 65536 32768");
    c.connect(x, 1, level, 0);
    const int warm = c.obj("spigot");
    c.connect(level, 0, warm, 0);
    const int loudest = accumulate(c, warm, "max 0");
    const int quietest = accumulate(c, warm, "min 1000");
    const int last = c.obj("f");
    c.connect(level, 0, last, 1);

    // Second 10 (warm-up over) and the end.
    const int sel = c.obj("sel 10 " + std::to_string(seconds));
    c.connect(split, 0, sel, 0);
    const int open = c.msg("1");
    c.connect(sel, 0, open, 0);
    c.connect(open, 0, warm, 1);
    const int end = c.obj("t b b b b b");
    c.connect(sel, 1, end, 0);
    const int quit = c.msg("; pd quit");
    const std::pair<int, const char*> reports[] = {{bad, "soak-bad"}, {quietest, "soak-min"},
                                                   {loudest, "soak-max"}, {last, "soak-last"}};
    for (int i = 0; i < 4; ++i) {
        const int p = c.obj(std::string("print ") + reports[i].second);
        c.connect(reports[i].first, 0, p, 0);
        c.connect(end, 4 - i, reports[i].first, 0);
    }
    c.connect(end, 0, quit, 0);
    return c.text();
}

// The number after "tag: " on the console, or `fallback`.
double printed(const std::string& console, const std::string& tag, double fallback)
{
    const std::string key = tag + ": ";
    const size_t at = console.rfind(key);
    if (at == std::string::npos) return fallback;
    return std::strtod(console.c_str() + at + key.size(), nullptr);
}

}  // namespace

PdSoakResult soakInPd(const std::string& pd, const std::string& pluginDir, const std::string& object,
                      int64_t seconds)
{
    PdSoakResult r;
    r.object = object;
    pdtest::TempDir dir;
    const std::string path = dir.file("soak.pd");
    std::ofstream(path) << buildPatch(object, seconds);
    pdtest::PdSetup setup;
    setup.pd = pd;
    setup.pluginDir = pluginDir;
    pdtest::PdRunOptions options;
    options.sampleRate = kRate;
    options.timeoutSeconds = 12.0 * 3600.0;
    const auto t0 = std::chrono::steady_clock::now();
    const pdtest::PdResult result = pdtest::runPd(setup, path, options);
    r.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    r.console = result.console;
    r.ran = result.quitCleanly() && result.contains("soak-bad: ") && !result.contains("couldn't create");
    r.samples = seconds * kRate;
    r.badWindows = int64_t(printed(result.console, "soak-bad", -1.0));
    r.rmsMinDb = float(printed(result.console, "soak-min", -1.0));
    r.rmsMaxDb = float(printed(result.console, "soak-max", -1.0));
    r.rmsLastDb = float(printed(result.console, "soak-last", -1.0));
    return r;
}

}  // namespace quill::soak
