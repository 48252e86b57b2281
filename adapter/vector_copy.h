// Copying one signal vector into another, or clearing one, as cheaply as a
// block allows. Pd hands an object output vectors that are either one of its
// input vectors or apart from them, so the same vector is left alone and a
// short block is handled in line; anything else goes to the C library
// (memmove is safe for any overlap).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace quill {

// Blocks shorter than this are handled in line: below it the call into the
// C library costs more than the copy itself.
constexpr int kInlineCopyLimit = 16;

template <typename Sample>
bool vectorsApart(const Sample* a, const Sample* b, std::size_t bytes)
{
    const auto x = reinterpret_cast<std::uintptr_t>(a);
    const auto y = reinterpret_cast<std::uintptr_t>(b);
    return x - y >= bytes && y - x >= bytes;  // unsigned: wraps for the far side
}

// n < 16 as 8 + 4 + 2 + 1: fixed-size copies compile to plain loads and
// stores (a loop would be turned back into a library call).
template <typename Sample>
void copyShort(Sample* out, const Sample* in, int n)
{
    if (n & 8) { __builtin_memcpy(out, in, 8 * sizeof(Sample)); out += 8; in += 8; }
    if (n & 4) { __builtin_memcpy(out, in, 4 * sizeof(Sample)); out += 4; in += 4; }
    if (n & 2) { __builtin_memcpy(out, in, 2 * sizeof(Sample)); out += 2; in += 2; }
    if (n & 1) *out = *in;
}

template <typename Sample>
void zeroShort(Sample* out, int n)
{
    if (n & 8) { __builtin_memset(out, 0, 8 * sizeof(Sample)); out += 8; }
    if (n & 4) { __builtin_memset(out, 0, 4 * sizeof(Sample)); out += 4; }
    if (n & 2) { __builtin_memset(out, 0, 2 * sizeof(Sample)); out += 2; }
    if (n & 1) *out = 0;
}

// Pd's samples: floats, or doubles in a double-precision Pd.
template <typename Sample>
void copyVector(Sample* out, const Sample* in, int n)
{
    if (out == in) return;
    const std::size_t bytes = sizeof(Sample) * static_cast<std::size_t>(n);
    if (__builtin_expect(n >= kInlineCopyLimit, 1))  // Pd's usual 64 falls straight through
        std::memmove(out, in, bytes);
    else if (n > 0 && vectorsApart(out, in, bytes))
        copyShort(out, in, n);
    else if (n > 0)
        std::memmove(out, in, bytes);
}

template <typename Sample>
void zeroVector(Sample* out, int n)
{
    if (n <= 0) return;
    if (n < kInlineCopyLimit)
        zeroShort(out, n);
    else
        std::memset(out, 0, sizeof(Sample) * static_cast<std::size_t>(n));
}

// Pd's samples are floats, or doubles in a double-precision Pd (Pd64); the
// kernels compute in float either way. With float samples the kernels read
// and write Pd's own vectors; with doubles they work on float copies.

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
