// Pd's samples are floats, or doubles in a double-precision Pd (Pd64); the
// kernels compute in float either way. With float samples the kernels read
// and write Pd's own vectors. With doubles they work on float copies that
// the perform routine fills before and empties after them, and whatever
// passes through untouched (the bypass, the input's share of a crossfade)
// keeps every bit of the double.
#pragma once

#include <type_traits>

#include "m_pd.h"

namespace quill {

constexpr bool kPdSamplesAreFloats = std::is_same<t_sample, float>::value;

// Pd's vector array viewed as the kernel's: the same array when Pd's
// samples are floats, none (the kernel gets copies) otherwise.
template <typename Sample>
Sample** sameVectors(float** vectors)
{
    if constexpr (std::is_same<Sample, float>::value)
        return vectors;
    else
        return nullptr;
}

template <typename Sample>
void toFloats(const Sample* in, float* out, int n)
{
    for (int j = 0; j < n; ++j) out[j] = static_cast<float>(in[j]);
}

template <typename Sample>
void fromFloats(const float* in, Sample* out, int n)
{
    for (int j = 0; j < n; ++j) out[j] = static_cast<Sample>(in[j]);
}

}  // namespace quill
