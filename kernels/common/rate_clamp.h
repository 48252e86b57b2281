// The sample rate every kernel computes its constants from: the rate Pd
// gives, held to [1, kMaxSampleRate]. The ceiling is eight times 192 kHz, so
// Pd at -r 384000 or an oversampling subpatch ([block~ 64 1 8] at 192 kHz)
// still plays in tune.
#pragma once

#include <algorithm>

namespace quill {

constexpr float kMaxSampleRate = 1536000.0f;

inline float clampedSampleRate(int rate)
{
    return std::min(kMaxSampleRate, std::max(1.0f, static_cast<float>(rate)));
}

}  // namespace quill
