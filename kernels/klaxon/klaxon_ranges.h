// The klaxon sliders' initial values, limits and steps, shared by the control
// description, the reset and the block-start clamping.
#pragma once

namespace klaxon_ranges {

struct Slider {
    float init, min, max, step;
};

constexpr Slider kDecay{0.4f, 0.05f, 3.0f, 0.01f};
constexpr Slider kDepth{0.2f, 0.0f, 1.0f, 0.01f};
constexpr Slider kSpeed{4.0f, 0.1f, 20.0f, 0.01f};
constexpr Slider kSweep{0.5f, 0.0f, 1.0f, 0.01f};
constexpr Slider kPitch{220.0f, 20.0f, 2000.0f, 1.0f};

}  // namespace klaxon_ranges
