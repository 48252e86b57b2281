// mellow~: the kernel's metadata pairs, keys in ascending strcmp order.
#include "kernels/mellow/mellow.h"

namespace {
constexpr const char* kAuthor = "the quill developers";
constexpr const char* kCopyright = "Copyright (C) 2026 the quill developers";
constexpr const char* kLicense = "MIT";
}  // namespace

void mellow::metadata(Meta* m)
{
    m->declare("compile_options", QUILL_COMPILE_OPTIONS);
    m->declare("control_smoother.h/name", "quill one-pole control smoother");
    m->declare("control_smoother.h/smoothStep:author", kAuthor);
    m->declare("control_smoother.h/smoothStep:copyright", kCopyright);
    m->declare("control_smoother.h/smoothStep:license", kLicense);
    m->declare("control_smoother.h/version", QUILL_VERSION);
    m->declare("dsp.h/name", "quill kernel interface");
    m->declare("dsp.h/version", QUILL_VERSION);
    m->declare("filename", "mellow.cpp");
    m->declare("mellow.cpp/name", "quill smoothed resonant lowpass");
    m->declare("mellow.cpp/version", QUILL_VERSION);
    m->declare("mellow_filter.h/author", kAuthor);
    m->declare("mellow_filter.h/copyright", kCopyright);
    m->declare("mellow_filter.h/license", kLicense);
    m->declare("mellow_filter.h/lowpassFeedback", "Copyright (C) 2026 the quill developers, MIT licence");
    m->declare("mellow_filter.h/lowpassFeedback:author", kAuthor);
    m->declare("mellow_filter.h/lowpassFeedback:copyright", kCopyright);
    m->declare("mellow_filter.h/lowpassFeedback:license", kLicense);
    m->declare("mellow_filter.h/lowpassFeedforward:author", kAuthor);
    m->declare("mellow_filter.h/lowpassFeedforward:copyright", kCopyright);
    m->declare("mellow_filter.h/lowpassFeedforward:license", kLicense);
    m->declare("mellow_filter.h/lowpassNormaliser:author", kAuthor);
    m->declare("mellow_filter.h/lowpassNormaliser:copyright", kCopyright);
    m->declare("mellow_filter.h/lowpassNormaliser:license", kLicense);
    m->declare("mellow_filter.h/name", "quill bilinear resonant lowpass pieces");
    m->declare("mellow_filter.h/prewarpedCotangent:author", kAuthor);
    m->declare("mellow_filter.h/prewarpedCotangent:copyright", kCopyright);
    m->declare("mellow_filter.h/prewarpedCotangent:license", kLicense);
    m->declare("mellow_filter.h/version", QUILL_VERSION);
    m->declare("name", "mellow");
}
