// The "active" crossfade: over n_fade blocks the object moves from the state
// it leaves to the one it enters. Single-channel objects and voices alike
// run it through these two functions.
#pragma once

namespace quill {

// The weight of the state being left, falling by `step` after each sample.
struct FadeRamp {
    float weight;
    float step;

    float next()
    {
        const float w = weight;
        weight = weight - step;
        return w;
    }
};

// The ramp of a block of n samples with `fade` of `n_fade` blocks to go.
inline FadeRamp fadeRamp(int fade, int n_fade, int n)
{
    const float d = 1.0f / static_cast<float>(n_fade);
    return {static_cast<float>(fade) * d, d / static_cast<float>(n)};
}

// One block of `count` outputs. `wet` holds what the kernel computed; where
// the object maps inputs to outputs one to one, `through` holds the inputs a
// switched-off object passes, otherwise it is null and "off" is silence.
// Sample by sample across all outputs: an output may be another's input.
inline void crossfade(bool on, FadeRamp ramp, int count, const float* const* wet, const float* const* through,
                      float* const* out, int n)
{
    for (int j = 0; j < n; ++j) {
        const float w = ramp.next();
        for (int i = 0; i < count; ++i) {
            if (through != nullptr)
                out[i][j] = on ? w * through[i][j] + (1.0f - w) * wet[i][j] : w * wet[i][j] + (1.0f - w) * through[i][j];
            else
                out[i][j] = on ? (1.0f - w) * wet[i][j] : w * wet[i][j];
        }
    }
}

// A crossfaded block back into a double-precision Pd's vectors, with what
// the float copy of each input lost, weighed as crossfade() weighs that
// input: the input passes through unrounded. Where the input was a float to
// begin with, this is the float block converted.
template <typename Sample>
void fromFloatsKeepingInput(bool on, FadeRamp ramp, int count, const float* const* mixed, const Sample* const* in,
                            Sample* const* out, int n)
{
    for (int j = 0; j < n; ++j) {
        const float w = ramp.next();
        const Sample weight = static_cast<Sample>(on ? w : 1.0f - w);
        for (int i = 0; i < count; ++i) {
            const Sample lost = in[i][j] - static_cast<Sample>(static_cast<float>(in[i][j]));
            out[i][j] = static_cast<Sample>(mixed[i][j]);
            if (lost != 0) out[i][j] += weight * lost;
        }
    }
}

}  // namespace quill
