// The lane types of the maths module. Every routine is written once, as a
// template over its number type: plain double for one value, or a vector of
// doubles (GCC/Clang vector extensions) for several values at a time, which
// builds to SSE2 on baseline x86-64 and to NEON on 64-bit Arm. Each lane
// performs the same IEEE operations in the same order as the scalar code, so
// the two give the same bits.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)  // GCC: Clang rejects 32-byte vectors without AVX
// Four-lane forms for processors with AVX2, chosen at run time: the same IEEE
// operations in every lane (AVX2 alone: no fused multiply-add).
#define QUILL_MATHS_AVX2 1
#include <immintrin.h>
#endif


namespace quill {
namespace maths {

// Two doubles: one SSE2 or NEON register.
typedef double f64x2 __attribute__((vector_size(16)));
typedef int64_t i64x2 __attribute__((vector_size(16)));
typedef float f32x2 __attribute__((vector_size(8)));
typedef float f32x4 __attribute__((vector_size(16)));

#ifdef QUILL_MATHS_AVX2
typedef double f64x4 __attribute__((vector_size(32)));
typedef int64_t i64x4 __attribute__((vector_size(32)));
typedef float f32x8 __attribute__((vector_size(32)));

// Whether this processor has AVX2, asked once when the module loads.
// QUILL_NO_AVX2 in the environment keeps to the baseline forms, so that
// tests can try both on one machine.
inline const bool kHasAvx2 = (__builtin_cpu_init(), __builtin_cpu_supports("avx2") != 0) && !std::getenv("QUILL_NO_AVX2");

// Four floats to doubles and back, one instruction each (the generic
// conversions go through the stack a half at a time).
__attribute__((target("avx2"), always_inline)) inline f64x4 widen(const float* x)
{
    return reinterpret_cast<f64x4>(_mm256_cvtps_pd(_mm_loadu_ps(x)));
}
__attribute__((target("avx2"), always_inline)) inline void narrow(f64x4 v, float* out)
{
    _mm_storeu_ps(out, _mm256_cvtpd_ps(reinterpret_cast<__m256d>(v)));
}

// Whether any lane of a comparison holds.
__attribute__((target("avx2"), always_inline)) inline bool any(i64x4 mask)
{
    return _mm256_movemask_pd(reinterpret_cast<__m256d>(mask)) != 0;
}
#endif

// Values handled per step by the block routines: two vectors of two, whose
// dependency chains overlap.
constexpr int kLanes = 4;

// where ? a : b, lane by lane. A comparison of vectors gives all-ones lanes
// where true; of doubles, a bool.
inline double select(bool where, double a, double b) { return where ? a : b; }
template <class M, class V>
__attribute__((always_inline)) inline V select(M where, V a, V b)
{
    return where ? a : b;
}

// A number type's constant: the same value in every lane.
template <class V>
__attribute__((always_inline)) inline V splat(double c)
{
    return V{} + c;
}

inline uint64_t bitsOf(double v)
{
    uint64_t b;
    std::memcpy(&b, &v, sizeof b);
    return b;
}

inline double doubleOf(uint64_t b)
{
    double v;
    std::memcpy(&v, &b, sizeof v);
    return v;
}

inline uint32_t bitsOf(float v)
{
    uint32_t b;
    std::memcpy(&b, &v, sizeof b);
    return b;
}

inline float floatOf(uint32_t b)
{
    float v;
    std::memcpy(&v, &b, sizeof v);
    return v;
}

}  // namespace maths
}  // namespace quill
