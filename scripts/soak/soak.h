// The long-run check: each object rendered in a headless Pd for more than
// 2^31 samples with its output watched sample by sample, and klaxon's
// counters driven past their limit in-process, where its state can be read.
#pragma once

#include <cstdint>
#include <string>

namespace quill::soak {

// One object's run in Pd: what the patch counted.
struct PdSoakResult {
    std::string object;
    bool ran = false;          // Pd quit by itself and printed its summary
    int64_t samples = 0;       // samples rendered (seconds of logical time × rate)
    int64_t badWindows = -1;   // 4096-sample windows holding a non-finite or out-of-bounds sample
    float rmsMinDb = 0.0f;     // quietest and loudest 65536-sample window after the first 10 s (Pd's dB: 100 = 1.0 RMS)
    float rmsMaxDb = 0.0f;
    float rmsLastDb = 0.0f;    // the last window
    double wallSeconds = 0.0;
    std::string console;       // Pd's console, for a failed run
};

// Renders `object` ("zigzag", "mellow", "klaxon", "leveler") in the Pd at
// `pd` for `seconds` of audio at 44100 Hz.
PdSoakResult soakInPd(const std::string& pd, const std::string& pluginDir, const std::string& object,
                      int64_t seconds);

// klaxon in-process with the plug-in's block loop: a note held until the
// hold counter has stopped at INT32_MAX and well past it, released until the
// release counter has stopped too, then pressed again.
struct CounterSoakResult {
    int64_t heldSamples = 0, releasedSamples = 0;
    int32_t holdCountAtRelease = 0, releaseCountAtEnd = 0;
    // Samples run (in all) when each counter was first seen at INT32_MAX, read after each block.
    int64_t holdSaturatedAt = -1, releaseSaturatedAt = -1;
    bool countersMonotonic = true;   // counted up by one per sample until they stopped
    int64_t nonFinite = 0;           // output samples that were not finite
    float peak = 0.0f;               // largest |output|
    double rmsBeforeSaturation = 0.0, rmsAfterSaturation = 0.0;  // one second each side of the hold limit
    int64_t nonzeroAfterDecay = 0;   // output samples that were not 0 once the release had ended
    bool playsAgain = false;         // a new press after all that starts a note as the first did
    double wallSeconds = 0.0;
};

CounterSoakResult soakKlaxonCounters(int64_t extraSamples);

}  // namespace quill::soak
