// The voices of a multichannel zigzag~: one oscillator per channel, computed
// four at a time in vector lanes, each lane giving exactly the bits of the
// single-channel kernel fed that channel alone.
//
// The state lives in a bank of floats that the caller owns: five arrays of
// one float per channel (rounded up to whole lanes) for phase,
// integrator, frequency, output and the gliding flag (0 or 1). A bank of
// zeros is a cleared oscillator in every voice.
#pragma once

#include <cstddef>

class zigzag;

namespace zigzag_voices {

std::size_t bankFloats(int channels);

// Runs `count` samples of every voice; in[c], out0[c] and out1[c] are
// channel c's vectors (an output may be its own channel's input).
void compute(const zigzag& constants, float* bank, int channels, int count, const float* const* in,
             float* const* out0, float* const* out1);

// Copies the state of the channels both banks have; `to` must be zeroed
// beforehand, so that added voices start cleared.
void carryOver(const float* from, int fromChannels, float* to, int toChannels);

// Voice `voice` of a bank to and from the kernel's own state (the
// single-channel oscillator).
void toKernel(const float* bank, int channels, int voice, zigzag& k);
void fromKernel(const zigzag& k, float* bank, int channels, int voice);

}  // namespace zigzag_voices
