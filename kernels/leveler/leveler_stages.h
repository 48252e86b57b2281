// The leveler's signal stages as plain functions of coefficients and state,
// in the exact operation order of the kernel (every literal single precision).
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include "kernels/common/lanes.h"
#include "kernels/common/maths/maths.h"

namespace quill {
namespace leveler_stages {

// Largest bilinear prewarp angle pi*f/fs allowed for a cutoff: 0.46*pi, so
// every cutoff stays below 0.46 fs and its tangent finite and positive.
// At 44100 Hz and above no cutoff of the leveler comes near it.
constexpr float kMaxCutoffAngle = 1.4451326f;

// A prewarp angle, capped at kMaxCutoffAngle (as std::min(angle, cap)); a
// template over float or lanes of floats, as are the tone filter's pieces.
template <class F>
__attribute__((always_inline)) inline F cappedAngle(F angle)
{
    return lanes::select(kMaxCutoffAngle < angle, lanes::splat<F>(kMaxCutoffAngle), angle);
}

// Bilinear one-pole lowpass of the noise; noise times 2^-31 lies in [-1, 1).
inline float hissLowpass(float norm, float pole, float noiseNow, float noisePrev, float previous)
{
    return norm * ((noiseNow + noisePrev) * 4.656613e-10f - pole * previous);
}

// Peak follower: coefficient `attack` while the level rises, `attack +
// releaseStep` (the release coefficient) while it falls.
inline float envelopeFollower(float attack, float attackIn, float releaseStep, float previous, float level)
{
    return attack * previous + attackIn * level + releaseStep * std::max(previous - level, 0.0f);
}

// floor(v), bit for bit. Below 2^23 in magnitude the truncation to an
// integer is exact, one step down makes it a floor for negative fractions,
// and the sign copy keeps floor(-0) = -0 (a truncation to +0 otherwise
// keeps v's sign); from 2^23 on, and for NaN, the library call.
inline float floorExact(float v)
{
    if (std::fabs(v) < 8388608.0f) {
        const float t = static_cast<float>(static_cast<int32_t>(v));
        return t > v ? t - 1.0f : std::copysign(t, v);
    }
    return std::floor(v);
}

// Adds the hiss, gated in by the input envelope below 0.000316, and rounds
// to the nearest multiple of 1/2048, halves upward.
inline float quantise(float x, float envelope, float hissNow)
{
    return floorExact(2048.0f * (x + std::min(3164.557f * envelope, 1.0f) * (hissNow * 0.00063f)) + 0.5f) *
           0.00048828125f;
}

// Second-order Butterworth lowpass, direct form II: writes state[0] from q and
// returns the unnormalised output state[0] + 2 state[1] + state[2].
inline float bandLowpass(float q, float norm, float a1, float a2, float* state)
{
    state[0] = q - norm * (a1 * state[1] + a2 * state[2]);
    return 2.0f * state[1] + state[2] + state[0];
}

// What the compressor takes the base-10 logarithm of: the detector's level,
// kept above 1e-8 (-160 dB).
inline float compressorLogArgument(float envelope)
{
    return std::max(std::fabs(envelope), 1e-8f);
}

// The compressor's gain in decibels over 20 (its base-10 exponent), from
// log10 of compressorLogArgument(envelope): threshold -36 dB, 6 dB quadratic
// knee, ratio 1/r. Exactly +-0 below the knee.
inline float compressorExponentOfLog(float logArgument, float r)
{
    const float level = 20.0f * logArgument;
    const float knee = std::max(std::min(level + 39.0f, 6.0f), 0.0f);
    const float over = std::max(level + 33.0f, 0.0f);
    return (knee * knee * 0.083333336f + over) * (0.05f * r - 0.05f);
}

inline float compressorExponent(float envelope, float r)
{
    return compressorExponentOfLog(quill::decimalLog(compressorLogArgument(envelope)), r);
}

// Feed-forward gain of the compressor.
inline float compressorGain(float envelope, float r)
{
    return quill::exponentialTen(compressorExponent(envelope, r));
}

// Make-up gain, 30 (1 - r) dB.
inline float makeupExponent(float r)
{
    return 1.5f - 1.5f * r;
}

// The prewarp angle of the tone cutoff 20000 - 13000 k Hz, capped.
template <class F>
__attribute__((always_inline)) inline F toneAngle(F k, float piOverRate)
{
    return cappedAngle((k * -13000.0f + 20000.0f) * piOverRate);
}

// The tone filter's cotangent of a prewarp angle.
template <class F>
__attribute__((always_inline)) inline F toneCotangent(F angle)
{
    return 1.0f / quill::tangent(angle);
}

// y / (1 + |y|) for y = makeup * gain * norm * sum, returned divided by norm.
inline float softClip(float makeup, float sum, float gain, float norm)
{
    const float z = makeup * sum * gain;
    return z / (std::fabs(z * norm) + 1.0f);
}

// Bilinear one-pole lowpass with cotangent `cot` of the prewarped cutoff,
// fed with the clipper's output (norm times shaped).
inline float toneLowpass(float norm, float shapedNow, float shapedPrev, float cot, float previous)
{
    return (norm * (shapedNow + shapedPrev) + (cot - 1.0f) * previous) / (cot + 1.0f);
}

}  // namespace leveler_stages
}  // namespace quill
