// Four floats computed side by side, for the voices of a multichannel
// object: GCC's vector extension, which builds to SSE2 on baseline x86-64 and
// to NEON on 64-bit Arm. Only IEEE operations (+ - * /, comparisons) and bit
// selects are used, so every lane gives the bits the scalar code gives.
#pragma once

#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#elif defined(__aarch64__)
#include <arm_neon.h>
#endif

namespace quill::lanes {

constexpr int kWidth = 4;

typedef float f4 __attribute__((vector_size(16)));
typedef int32_t m4 __attribute__((vector_size(16)));  // a comparison: every bit of a lane set or clear

inline f4 splat(float v) { return f4{v, v, v, v}; }

// mask ? a : b, lane by lane, by bits.
inline f4 select(m4 mask, f4 a, f4 b)
{
    return reinterpret_cast<f4>((mask & reinterpret_cast<m4>(a)) | (~mask & reinterpret_cast<m4>(b)));
}

inline f4 abs(f4 v) { return reinterpret_cast<f4>(reinterpret_cast<m4>(v) & m4{0x7fffffff, 0x7fffffff, 0x7fffffff, 0x7fffffff}); }

// The magnitude of `magnitude` with the sign of `sign`.
inline f4 copysign(f4 magnitude, f4 sign)
{
    const m4 signBit = m4{INT32_MIN, INT32_MIN, INT32_MIN, INT32_MIN};
    return reinterpret_cast<f4>((reinterpret_cast<m4>(magnitude) & ~signBit) | (reinterpret_cast<m4>(sign) & signBit));
}

// Lanes whose value is neither infinite nor NaN.
inline m4 finite(f4 v)
{
    const m4 exponent = m4{0x7f800000, 0x7f800000, 0x7f800000, 0x7f800000};
    return (reinterpret_cast<m4>(v) & exponent) != exponent;
}

// Whether any lane of a comparison holds: one instruction where there is one.
inline bool any(m4 mask)
{
#if defined(__SSE2__)
    return _mm_movemask_epi8(reinterpret_cast<__m128i>(mask)) != 0;
#elif defined(__aarch64__)
    return vmaxvq_u32(reinterpret_cast<uint32x4_t>(mask)) != 0;
#else
    return (mask[0] | mask[1] | mask[2] | mask[3]) != 0;
#endif
}

// Rows to columns: four samples of four channels become four frames of
// four lanes, and back.
inline void transpose(f4& a, f4& b, f4& c, f4& d)
{
    const f4 ab0 = __builtin_shufflevector(a, b, 0, 4, 1, 5), ab1 = __builtin_shufflevector(a, b, 2, 6, 3, 7);
    const f4 cd0 = __builtin_shufflevector(c, d, 0, 4, 1, 5), cd1 = __builtin_shufflevector(c, d, 2, 6, 3, 7);
    a = __builtin_shufflevector(ab0, cd0, 0, 1, 4, 5);
    b = __builtin_shufflevector(ab0, cd0, 2, 3, 6, 7);
    c = __builtin_shufflevector(ab1, cd1, 0, 1, 4, 5);
    d = __builtin_shufflevector(ab1, cd1, 2, 3, 6, 7);
}

// Samples start to start + length - 1 of `lanes` channels as frames of
// lanes (missing lanes 0), four samples at a time by transposing.
inline void gatherFrames(const float* const* in, int lanes, int start, int length, f4* frame)
{
    int i = 0;
    for (; i + kWidth <= length; i += kWidth) {
        f4 row[kWidth] = {};
        for (int l = 0; l < lanes; ++l) std::memcpy(&row[l], in[l] + start + i, sizeof(f4));
        transpose(row[0], row[1], row[2], row[3]);
        for (int k = 0; k < kWidth; ++k) frame[i + k] = row[k];
    }
    for (; i < length; ++i) {
        frame[i] = splat(0.0f);
        for (int l = 0; l < lanes; ++l) frame[i][l] = in[l][start + i];
    }
}

// The frames back into their channels, in both outputs (written once where
// they are the same vector).
inline void scatterFrames(const f4* frame, int lanes, int start, int length, float* const* out, float* const* copy)
{
    int i = 0;
    for (; i + kWidth <= length; i += kWidth) {
        f4 row[kWidth] = {frame[i], frame[i + 1], frame[i + 2], frame[i + 3]};
        transpose(row[0], row[1], row[2], row[3]);
        for (int l = 0; l < lanes; ++l) {
            std::memcpy(out[l] + start + i, &row[l], sizeof(f4));
            if (copy[l] != out[l]) std::memcpy(copy[l] + start + i, &row[l], sizeof(f4));
        }
    }
    for (; i < length; ++i)
        for (int l = 0; l < lanes; ++l) out[l][start + i] = copy[l][start + i] = frame[i][l];
}

inline f4 load(const float* a)
{
    f4 v;
    std::memcpy(&v, a, sizeof v);
    return v;
}

inline void store(float* a, f4 v) { std::memcpy(a, &v, sizeof v); }


}  // namespace quill::lanes
