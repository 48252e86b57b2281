// leveler~: the kernel's metadata pairs, keys in ascending strcmp order.
#include "kernels/leveler/leveler.h"

namespace {
constexpr const char* kAuthor = "the quill developers";
constexpr const char* kCopyright = "Copyright (C) 2026 the quill developers";
constexpr const char* kLicense = "MIT";
constexpr const char* kNotice = "Copyright (C) 2026 the quill developers, MIT licence";
}  // namespace

void leveler::metadata(Meta* m)
{
    m->declare("compile_options", QUILL_COMPILE_OPTIONS);
    m->declare("control_smoother.h/name", "quill one-pole control smoother");
    m->declare("control_smoother.h/smoothStep", kNotice);
    m->declare("control_smoother.h/version", QUILL_VERSION);
    m->declare("dsp.h/name", "quill kernel interface");
    m->declare("dsp.h/version", QUILL_VERSION);
    m->declare("filename", "leveler.cpp");
    m->declare("leveler.cpp/name", "quill leveler rate constants and initialisation");
    m->declare("leveler.cpp/version", QUILL_VERSION);
    m->declare("leveler_compute.cpp/name", "quill leveler per-sample chain");
    m->declare("leveler_compute.cpp/version", QUILL_VERSION);
    m->declare("leveler_stages.h/author", kAuthor);
    m->declare("leveler_stages.h/bandLowpass:author", kAuthor);
    m->declare("leveler_stages.h/bandLowpass:copyright", kCopyright);
    m->declare("leveler_stages.h/bandLowpass:license", kLicense);
    m->declare("leveler_stages.h/compressorGain:author", kAuthor);
    m->declare("leveler_stages.h/compressorGain:copyright", kCopyright);
    m->declare("leveler_stages.h/compressorGain:license", kLicense);
    m->declare("leveler_stages.h/copyright", kCopyright);
    m->declare("leveler_stages.h/envelopeFollower:author", kAuthor);
    m->declare("leveler_stages.h/envelopeFollower:copyright", kCopyright);
    m->declare("leveler_stages.h/envelopeFollower:license", kLicense);
    m->declare("leveler_stages.h/hissLowpass:author", kAuthor);
    m->declare("leveler_stages.h/hissLowpass:copyright", kCopyright);
    m->declare("leveler_stages.h/hissLowpass:license", kLicense);
    m->declare("leveler_stages.h/license", kLicense);
    m->declare("leveler_stages.h/name", "quill leveler signal stages");
    m->declare("leveler_stages.h/quantise:author", kAuthor);
    m->declare("leveler_stages.h/quantise:copyright", kCopyright);
    m->declare("leveler_stages.h/quantise:license", kLicense);
    m->declare("leveler_stages.h/softClip:author", kAuthor);
    m->declare("leveler_stages.h/softClip:copyright", kCopyright);
    m->declare("leveler_stages.h/softClip:license", kLicense);
    m->declare("leveler_stages.h/toneLowpass:author", kAuthor);
    m->declare("leveler_stages.h/toneLowpass:copyright", kCopyright);
    m->declare("leveler_stages.h/toneLowpass:license", kLicense);
    m->declare("leveler_stages.h/version", QUILL_VERSION);
    m->declare("name", "leveler");
    m->declare("wrapping_noise.h/name", "quill wrapping noise generator");
    m->declare("wrapping_noise.h/noiseNext:author", kAuthor);
    m->declare("wrapping_noise.h/version", QUILL_VERSION);
}
