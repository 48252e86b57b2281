// One-pole control smoother shared by klaxon, mellow and leveler:
// new = pole * old + input, where `input` is weight * control, formed once
// per block. Its time constant is about 1/44.1 s at any rate.
#pragma once

namespace quill {

inline float smoothStep(float pole, float previous, float input)
{
    return pole * previous + input;
}

}  // namespace quill
