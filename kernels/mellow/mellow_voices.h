// The voices of a multichannel mellow~: one filter memory per channel, the
// controls, their smoothing and the weights formed from them shared by all,
// four voices at a time in vector lanes, each lane giving exactly the bits
// of the single-channel kernel fed that channel alone.
//
// The state lives in a bank of floats that the caller owns: two arrays of
// one float per channel (rounded up to whole lanes), the delay line's
// one- and two-sample-old values. A bank of zeros is a cleared filter.
#pragma once

#include <cstddef>

class mellow;

namespace mellow_voices {

std::size_t bankFloats(int channels);

// Runs `count` samples of every voice; in[c], out0[c] and out1[c] are
// channel c's vectors (an output may be its own channel's input).
void compute(mellow& k, float* bank, int channels, int count, const float* const* in, float* const* out0,
             float* const* out1);

// Copies the state of the channels both banks have; `to` must be zeroed
// beforehand, so that added voices start cleared.
void carryOver(const float* from, int fromChannels, float* to, int toChannels);

// Voice `voice` of a bank to and from the kernel's own delay line.
void toKernel(const float* bank, int channels, int voice, mellow& k);
void fromKernel(const mellow& k, float* bank, int channels, int voice);

}  // namespace mellow_voices
