// The values a fuzz input chooses from: numbers at the edges (NaN, infinities,
// subnormals, huge, negative), rates, block sizes, words, and one block of
// input samples in one of several shapes.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "fuzz/support/byte_reader.h"

namespace fuzz {

// A number for a creation argument, a message or a constant signal.
inline float edgeFloat(ByteReader& in)
{
    static const float table[] = {
        0.0f, -0.0f, 1.0f, -1.0f, 0.5f, 2.5f, 0.7f, 1e6f, -1e6f, 1e-45f, -1e-45f, 1e-40f,
        std::numeric_limits<float>::min(), std::numeric_limits<float>::max(),
        -std::numeric_limits<float>::max(), std::numeric_limits<float>::infinity(),
        -std::numeric_limits<float>::infinity(), std::numeric_limits<float>::quiet_NaN(),
        -std::numeric_limits<float>::quiet_NaN(), 44100.0f, 48000.0f, 384000.0f, 2147483648.0f,
        -2147483904.0f, 1e30f, 20.0f, 20000.0f, 15.0f, 0.05f, 3.0f, 2000.0f, 1e-7f, 22050.0f,
        100.0f, 440.0f, -440.0f, 0.1f, 1e7f, 4e9f};
    constexpr unsigned count = sizeof table / sizeof table[0];
    const unsigned k = in.u8();
    if (k < count) return table[k];
    if (k < 200) return static_cast<float>(static_cast<int16_t>(in.u16()));   // small integers
    if (k < 230) return static_cast<float>(in.u16()) * (1.0f / 65536.0f);     // [0, 1)
    return in.rawFloat();
}

// The sample rate of a DSP start: Pd's own, the edges, and odd ones.
inline float dspRate(ByteReader& in)
{
    static const float table[] = {44100.0f, 48000.0f, 0.0f, 1.0f, -1.0f, 384000.0f, 22050.0f,
                                  96000.0f, 192000.0f, 8000.0f, 2.0f, 100.0f, -44100.0f, 1e9f,
                                  2.5f, 0.5f};
    constexpr unsigned count = sizeof table / sizeof table[0];
    const unsigned k = in.u8();
    if (k < 4 * count) return table[k % count];
    if (k < 250) return static_cast<float>(static_cast<int32_t>(in.u32() % 400001u) - 1000);
    return in.rawFloat();
}

// A block length from 1 to 8192, powers of two the most likely.
inline int blockSize(ByteReader& in)
{
    const unsigned k = in.u8();
    if (k < 192) return 1 << (k % 14);  // 1 .. 8192
    return 1 + static_cast<int>(in.u16() % 8192u);
}

// A word for a creation argument or an argument atom: empty, flags, slashes,
// control-like names, or a few characters from the input.
inline std::string word(ByteReader& in)
{
    static const char* const table[] = {"",     "-m",      "-",        "--",      "-x",    "/",
                                        "//",   "a/b",     "/a/",      "voice1",  "active", "bang",
                                        "0x00", "cutoff",  "-m -m",    " ",       "float", "s1",
                                        "mellow", "klaxon", "leveler", "zigzag", "-1",    "a b/c"};
    constexpr unsigned count = sizeof table / sizeof table[0];
    const unsigned k = in.u8();
    if (k < 4 * count) return table[k % count];
    static const char alphabet[] = "/-_ a1.$;,\\Ctrl";
    std::string out;
    const unsigned length = in.pick(7);
    for (unsigned i = 0; i < length; ++i) out += alphabet[in.pick(sizeof alphabet - 1)];
    return out;
}

// True for the samples the finite-output promise covers.
inline bool isCleanSample(float x) { return std::isfinite(x) && std::fabs(x) <= 1e6f; }

// Fills one block of one channel; returns false when any sample is outside
// the clean range.
inline bool fillBlock(ByteReader& in, float* v, int n)
{
    const unsigned shape = in.pick(10);
    uint32_t noise = in.u32() | 1u;
    auto next = [&noise]() {
        noise = noise * 1664525u + 1013904223u;  // wraps: unsigned
        return static_cast<float>(noise >> 8) * (1.0f / 8388608.0f) - 1.0f;  // [-1, 1)
    };
    switch (shape) {
    case 0:
        for (int i = 0; i < n; ++i) v[i] = 0.0f;
        break;
    case 1: {
        const float c = edgeFloat(in);
        for (int i = 0; i < n; ++i) v[i] = c;
        break;
    }
    case 2:
        for (int i = 0; i < n; ++i) v[i] = next();
        break;
    case 3:
        for (int i = 0; i < n; ++i) v[i] = next() * 1e6f;
        break;
    case 4: {
        const float step = static_cast<float>(in.u8()) * 0.01f;
        const float amplitude = edgeFloat(in);
        for (int i = 0; i < n; ++i) v[i] = amplitude * std::sin(step * static_cast<float>(i));
        break;
    }
    case 5: {
        // A few raw samples from the input, repeated over the block.
        float raw[8];
        const unsigned count = 1 + in.pick(8);
        for (unsigned k = 0; k < count; ++k) raw[k] = in.rawFloat();
        for (int i = 0; i < n; ++i) v[i] = raw[static_cast<unsigned>(i) % count];
        break;
    }
    case 6: {
        // Noise with one odd value somewhere in the block.
        for (int i = 0; i < n; ++i) v[i] = next();
        const unsigned at = in.u16() % static_cast<unsigned>(n);
        v[at] = edgeFloat(in);
        break;
    }
    case 7:
        for (int i = 0; i < n; ++i) v[i] = (i & 1) ? 1e6f : -1e6f;
        break;
    case 8:
        for (int i = 0; i < n; ++i) v[i] = next() * 1e-39f;  // subnormal
        break;
    default: {
        // A ramp between two edge values (for zigzag~: a frequency sweep).
        const float a = edgeFloat(in);
        const float b = edgeFloat(in);
        for (int i = 0; i < n; ++i) v[i] = a + (b - a) * (static_cast<float>(i) / static_cast<float>(n));
        break;
    }
    }
    for (int i = 0; i < n; ++i)
        if (!isCleanSample(v[i])) return false;
    return true;
}

}  // namespace fuzz
