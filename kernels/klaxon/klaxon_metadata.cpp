// klaxon~: the kernel's metadata pairs, keys in ascending strcmp order.
#include "kernels/klaxon/klaxon.h"

namespace {
constexpr const char* kAuthor = "the quill developers";
constexpr const char* kCopyright = "Copyright (C) 2026 the quill developers";
constexpr const char* kLicense = "MIT";
}  // namespace

void klaxon::metadata(Meta* m)
{
    m->declare("compile_options", QUILL_COMPILE_OPTIONS);
    m->declare("control_smoother.h/name", "quill one-pole control smoother");
    m->declare("control_smoother.h/version", QUILL_VERSION);
    m->declare("dsp.h/name", "quill kernel interface");
    m->declare("dsp.h/version", QUILL_VERSION);
    m->declare("filename", "klaxon.cpp");
    m->declare("float_to_int.h/name", "quill defined float-to-int truncation");
    m->declare("float_to_int.h/version", QUILL_VERSION);
    m->declare("klaxon.cpp/author", kAuthor);
    m->declare("klaxon.cpp/copyright", kCopyright);
    m->declare("klaxon.cpp/license", kLicense);
    m->declare("klaxon.cpp/name", "quill siren synthesizer kernel");
    m->declare("klaxon.cpp/version", QUILL_VERSION);
    m->declare("klaxon_tick.cpp/author", kAuthor);
    m->declare("klaxon_tick.cpp/copyright", kCopyright);
    m->declare("klaxon_tick.cpp/envelope:author", kAuthor);
    m->declare("klaxon_tick.cpp/lfo:author", kAuthor);
    m->declare("klaxon_tick.cpp/license", kLicense);
    m->declare("klaxon_tick.cpp/name", "quill siren voice: envelope, LFO, oscillator, lowpass");
    m->declare("klaxon_tick.cpp/polyBlep", "Copyright (C) 2026 the quill developers, MIT licence");
    m->declare("klaxon_tick.cpp/svfLowpass:author", kAuthor);
    m->declare("klaxon_tick.cpp/svfLowpass:copyright", kCopyright);
    m->declare("klaxon_tick.cpp/svfLowpass:license", kLicense);
    m->declare("klaxon_tick.cpp/version", QUILL_VERSION);
    m->declare("meta.h/name", "quill metadata sink interface");
    m->declare("meta.h/version", QUILL_VERSION);
    m->declare("name", "klaxon");
    m->declare("polyblep.h/blepAfterJump:author", kAuthor);
    m->declare("polyblep.h/blepBeforeJump:author", kAuthor);
    m->declare("polyblep.h/name", "quill polyBLEP square pieces");
    m->declare("polyblep.h/version", QUILL_VERSION);
    m->declare("ui.h/name", "quill control description interface");
    m->declare("ui.h/version", QUILL_VERSION);
    m->declare("wrapping_noise.h/name", "quill wrapping linear congruential noise");
    m->declare("wrapping_noise.h/version", QUILL_VERSION);
}
