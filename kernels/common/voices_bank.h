// The state of a multichannel kernel's voices, in a bank of floats that the
// caller owns: `arrays` arrays of `stride` floats each (channels rounded up
// to whole lanes), one float per voice in each. A bank of zeros is every
// voice cleared. Voices run in groups of lanes, two groups side by side so
// that their recursions overlap.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "kernels/common/lanes.h"

namespace quill::voices {

inline int stride(int channels)
{
    return (std::max(channels, 0) + lanes::kWidth - 1) / lanes::kWidth * lanes::kWidth;
}

inline std::size_t bankFloats(int arrays, int channels)
{
    return static_cast<std::size_t>(arrays) * static_cast<std::size_t>(stride(channels));
}

// Voice `voice`'s float of array `array`.
inline float& entry(float* bank, int channels, int array, int voice) { return bank[array * stride(channels) + voice]; }
inline float entry(const float* bank, int channels, int array, int voice) { return bank[array * stride(channels) + voice]; }

// Copies the state of the channels both banks have; `to` must be zeroed
// beforehand, so that added voices start cleared.
inline void carryOver(int arrays, const float* from, int fromChannels, float* to, int toChannels)
{
    const auto kept = static_cast<std::size_t>(std::max(std::min(fromChannels, toChannels), 0));
    for (int a = 0; a < arrays; ++a)
        std::memcpy(to + a * stride(toChannels), from + a * stride(fromChannels), sizeof(float) * kept);
}

// Calls run(first, lanesA, lanesB) for every pair of lane groups: channels
// first to first + lanesA - 1 and, when lanesB > 0, the next lanesB.
template <class Run>
__attribute__((always_inline)) inline void inPairsOfGroups(int channels, Run run)
{
    for (int first = 0; first < channels; first += 2 * lanes::kWidth)
        run(first, std::min(lanes::kWidth, channels - first), std::min(lanes::kWidth, channels - first - lanes::kWidth));
}

}  // namespace quill::voices
