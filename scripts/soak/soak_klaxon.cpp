// The in-process half of the soak: klaxon's hold and release counters run
// into their limit. The kernel runs as the plug-in runs it, 64 samples per
// call with flush-to-zero on, and its counters are checked after every block.
#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>

#include "adapter/flush_to_zero.h"
#include "kernels/klaxon/klaxon.h"
#include "scripts/soak/soak.h"

namespace quill::soak {
namespace {

const int kRate = 44100;
const int kBlock = 64;

// Runs blocks, handing each to `watch(samplesSoFarAfterBlock, block)`, until
// `done(samplesSoFar)` is true; returns the samples run.
template <class Watch, class Done>
int64_t run(klaxon& k, CounterSoakResult& r, Watch watch, Done done)
{
    float a[kBlock], b[kBlock];
    float* outs[2] = {a, b};
    int64_t samples = 0;
    while (!done(samples)) {
        {
            FlushToZeroScope ftz;
            k.compute(kBlock, nullptr, outs);
        }
        for (int i = 0; i < kBlock; ++i) {
            if (!std::isfinite(a[i]) || a[i] != b[i]) ++r.nonFinite;
            r.peak = std::max(r.peak, std::fabs(a[i]));
        }
        samples += kBlock;
        watch(samples, a);
    }
    return samples;
}

int32_t saturated(int64_t count) { return count >= INT32_MAX ? INT32_MAX : int32_t(count); }

}  // namespace

CounterSoakResult soakKlaxonCounters(int64_t extraSamples)
{
    CounterSoakResult r;
    const auto t0 = std::chrono::steady_clock::now();
    klaxon k;
    k.init(kRate);
    k.triggerSquare = 1.0f;

    // Held: the hold count is the number of samples since the press, up to INT32_MAX.
    double before = 0.0, after = 0.0;
    const int64_t second = kRate - kRate % kBlock;  // whole blocks, about one second
    const int64_t limit = int64_t(INT32_MAX);
    r.heldSamples = run(
        k, r,
        [&](int64_t s, const float* y) {
            if (k.holdCount[0] != saturated(s) || k.releaseCount[0] != 0) r.countersMonotonic = false;
            if (r.holdSaturatedAt < 0 && k.holdCount[0] == INT32_MAX) r.holdSaturatedAt = s;
            double sum = 0.0;
            for (int i = 0; i < kBlock; ++i) sum += double(y[i]) * double(y[i]);
            if (s > limit - second && s <= limit) before += sum;
            if (s > limit && s <= limit + second) after += sum;
        },
        [&](int64_t s) { return s >= limit + extraSamples; });
    r.rmsBeforeSaturation = std::sqrt(before / double(second));
    r.rmsAfterSaturation = std::sqrt(after / double(second));
    r.holdCountAtRelease = k.holdCount[0];

    // Released: the hold count stays, the release count runs up to INT32_MAX;
    // the note has died away long before.
    k.triggerSquare = 0.0f;
    r.releasedSamples = run(
        k, r,
        [&](int64_t s, const float* y) {
            if (k.releaseCount[0] != saturated(s) || k.holdCount[0] != INT32_MAX) r.countersMonotonic = false;
            if (r.releaseSaturatedAt < 0 && k.releaseCount[0] == INT32_MAX) r.releaseSaturatedAt = r.heldSamples + s;
            if (s > second)
                for (int i = 0; i < kBlock; ++i)
                    if (y[i] != 0.0f) ++r.nonzeroAfterDecay;
        },
        [&](int64_t s) { return s >= limit + extraSamples; });
    r.releaseCountAtEnd = k.releaseCount[0];

    // Pressed again: counting starts afresh and the note sounds as before.
    k.triggerSquare = 1.0f;
    double again = 0.0;
    bool countsAgain = true;
    run(
        k, r,
        [&](int64_t s, const float* y) {
            if (k.holdCount[0] != s || k.releaseCount[0] != 0) countsAgain = false;
            if (s > second)
                for (int i = 0; i < kBlock; ++i) again += double(y[i]) * double(y[i]);
        },
        [&](int64_t s) { return s >= 2 * second; });
    const double rmsAgain = std::sqrt(again / double(second));
    r.playsAgain = countsAgain && std::fabs(rmsAgain - r.rmsBeforeSaturation) < 0.1 * r.rmsBeforeSaturation;
    r.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    return r;
}

}  // namespace quill::soak
