// quill_soak: renders every object for more than 2^31 samples in a headless
// Pd and drives klaxon's counters past their limit in-process; prints what
// it saw and exits with 1 when anything was wrong.
//
//   quill_soak --pd PD --plugins DIR [--seconds S] [--objects a,b] [--no-pd] [--no-counters]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "scripts/soak/soak.h"

using namespace quill::soak;

namespace {

// The loudest a window may be: the sane bound's level in Pd's dB (100 = RMS 1).
float loudestAllowed(const std::string& object)
{
    if (object == "zigzag-wild") return 220.0f;  // bound 1e6
    if (object == "mellow") return 160.0f;       // bound 1000
    if (object == "zigzag") return 124.1f;       // bound 16
    if (object == "klaxon") return 100.0f;  // bound 1
    return 112.1f;                          // bound 4
}

bool report(const PdSoakResult& r)
{
    bool ok = r.ran && r.badWindows == 0 && r.rmsMaxDb <= loudestAllowed(r.object) && r.rmsMaxDb > 0.0f;
    // The held klaxon note sounds from the first window to the last.
    if (r.object == "klaxon") ok = ok && r.rmsMinDb > 60.0f && r.rmsLastDb > 60.0f;
    std::printf("%-11s %s  %lld samples in %.0f s  bad windows %lld  window RMS %.1f .. %.1f dB, last %.1f dB\n",
                r.object.c_str(), ok ? "ok  " : "FAIL", static_cast<long long>(r.samples), r.wallSeconds,
                static_cast<long long>(r.badWindows), double(r.rmsMinDb), double(r.rmsMaxDb),
                double(r.rmsLastDb));
    if (!r.ran) std::printf("--- Pd console ---\n%s\n------------------\n", r.console.c_str());
    std::fflush(stdout);
    return ok;
}

bool report(const CounterSoakResult& r)
{
    // Counters are read after each 64-sample block: the limit is reached in
    // the block that holds sample INT32_MAX.
    const bool ok = r.holdSaturatedAt >= INT32_MAX && r.holdSaturatedAt - 64 < INT32_MAX &&
                    r.releaseSaturatedAt - r.heldSamples >= INT32_MAX &&
                    r.releaseSaturatedAt - r.heldSamples - 64 < INT32_MAX && r.holdCountAtRelease == INT32_MAX &&
                    r.releaseCountAtEnd == INT32_MAX && r.countersMonotonic && r.nonFinite == 0 &&
                    r.peak < 1.0f && r.rmsBeforeSaturation > 0.1 &&
                    r.rmsAfterSaturation > 0.9 * r.rmsBeforeSaturation &&
                    r.rmsAfterSaturation < 1.1 * r.rmsBeforeSaturation && r.nonzeroAfterDecay == 0 && r.playsAgain;
    std::printf("klaxon counters %s  in %.0f s\n", ok ? "ok" : "FAIL", r.wallSeconds);
    std::printf("  held %lld samples: holdCount reached INT32_MAX in the block ending at sample %lld and stayed "
                "(%d at release)\n",
                static_cast<long long>(r.heldSamples), static_cast<long long>(r.holdSaturatedAt),
                r.holdCountAtRelease);
    std::printf("  output RMS one second before / after: %.6f / %.6f\n", r.rmsBeforeSaturation,
                r.rmsAfterSaturation);
    std::printf("  released %lld samples: releaseCount reached INT32_MAX in the block ending at sample %lld "
                "(%d at the end), "
                "%lld nonzero samples after the decay\n",
                static_cast<long long>(r.releasedSamples), static_cast<long long>(r.releaseSaturatedAt),
                r.releaseCountAtEnd, static_cast<long long>(r.nonzeroAfterDecay));
    std::printf("  counted one per sample throughout: %s; pressed again it plays as before: %s\n",
                r.countersMonotonic ? "yes" : "no", r.playsAgain ? "yes" : "no");
    std::printf("  %lld samples not finite or unequal between the outlets; peak |y| %.6f\n",
                static_cast<long long>(r.nonFinite), double(r.peak));
    std::fflush(stdout);
    return ok;
}

}  // namespace

int main(int argc, char** argv)
{
    std::string pd = "/usr/bin/pd", plugins;
    long long seconds = 48800;  // 2152080000 samples at 44100 Hz, past 2^31 even without 48 s switched off
    std::vector<std::string> objects = {"zigzag", "zigzag-wild", "mellow", "klaxon", "leveler"};
    bool inPd = true, counters = true;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool more = i + 1 < argc;
        if (a == "--pd" && more) {
            pd = argv[++i];
        } else if (a == "--plugins" && more) {
            plugins = argv[++i];
        } else if (a == "--seconds" && more) {
            seconds = std::atoll(argv[++i]);
        } else if (a == "--objects" && more) {
            objects.clear();
            std::istringstream list(argv[++i]);
            for (std::string o; std::getline(list, o, ',');) objects.push_back(o);
        } else if (a == "--no-pd") {
            inPd = false;
        } else if (a == "--no-counters") {
            counters = false;
        } else {
            std::fprintf(stderr, "usage: %s --pd PD --plugins DIR [--seconds S] [--objects a,b] [--no-pd] "
                                 "[--no-counters]\n", argv[0]);
            return 2;
        }
    }

    bool ok = true;
    if (counters) ok = report(soakKlaxonCounters(int64_t(1) << 24)) && ok;
    if (inPd)
        for (const std::string& o : objects) ok = report(soakInPd(pd, plugins, o, seconds)) && ok;
    std::printf("soak %s\n", ok ? "passed" : "FAILED");
    return ok ? 0 : 1;
}
