// One-pole control smoother shared by klaxon, mellow and leveler:
// new = pole * old + input, where `input` is weight * control, formed once
// per block. Its time constant is about 1/44.1 s at any rate.
#pragma once

namespace quill {

// The input weight 44.1 / fs, held at 1 below 44.1 Hz: a larger weight puts
// the pole below 0 (and below -1 under 22.05 Hz, where the smoother would
// diverge); at 1 the smoother simply follows the control.
inline float smoothingWeight(float weight)
{
    return weight < 1.0f ? weight : 1.0f;
}

inline float smoothStep(float pole, float previous, float input)
{
    return pole * previous + input;
}

}  // namespace quill
