// zigzag~: the kernel's metadata pairs, keys in ascending strcmp order.
#include "kernels/zigzag/zigzag.h"

namespace {
constexpr const char* kAuthor = "the quill developers";
constexpr const char* kCopyright = "Copyright (C) 2026 the quill developers";
constexpr const char* kLicense = "MIT";
}  // namespace

void zigzag::metadata(Meta* m)
{
    m->declare("compile_options", QUILL_COMPILE_OPTIONS);
    m->declare("dsp.h/name", "quill kernel interface");
    m->declare("dsp.h/version", QUILL_VERSION);
    m->declare("exact_phase.h/name", "quill exact fast phase arithmetic");
    m->declare("exact_phase.h/version", QUILL_VERSION);
    m->declare("filename", "zigzag.cpp");
    m->declare("name", "RUD Aziziver");
    m->declare("polyblep.h/blepAfterJump:author", kAuthor);
    m->declare("polyblep.h/blepBeforeJump:author", kAuthor);
    m->declare("polyblep.h/name", "quill polyBLEP square pieces");
    m->declare("polyblep.h/squareFromPhase:author", kAuthor);
    m->declare("polyblep.h/version", QUILL_VERSION);
    m->declare("zigzag.cpp/author", kAuthor);
    m->declare("zigzag.cpp/copyright", kCopyright);
    m->declare("zigzag.cpp/leakyIntegrator:author", kAuthor);
    m->declare("zigzag.cpp/leakyIntegrator:copyright", kCopyright);
    m->declare("zigzag.cpp/leakyIntegrator:license", kLicense);
    m->declare("zigzag.cpp/license", kLicense);
    m->declare("zigzag.cpp/name", "quill band-limited triangle oscillator");
    m->declare("zigzag.cpp/polyBlep", "Copyright (C) 2026 the quill developers, MIT licence");
    m->declare("zigzag.cpp/version", QUILL_VERSION);
}
