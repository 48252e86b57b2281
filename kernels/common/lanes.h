// Numbers computed side by side in vector lanes (GCC/Clang vector
// extensions: SSE2 on baseline x86-64, NEON on 64-bit Arm), and the run-time
// choice of AVX2 where the processor has it. Only IEEE operations
// (+ - * /, comparisons) and bit selects act on lanes, so every lane gives
// the bits that the same operations give on one number.
//
// A kernel writes a step once, as a template over its number type (float or
// a vector of floats), and runs it through `widest`: eight lanes built for
// AVX2 when the processor has it, four baseline lanes otherwise. AVX2 code,
// its attributes and intrinsics stay in this header and the maths module.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <type_traits>

#if defined(__SSE2__)
#include <emmintrin.h>
#elif defined(__aarch64__)
#include <arm_neon.h>
#endif

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)  // GCC: Clang rejects 32-byte vectors without AVX
// Eight-lane forms for processors with AVX2, chosen at run time: the same
// IEEE operations in every lane (AVX2 alone: no fused multiply-add).
#define QUILL_AVX2 1
#include <immintrin.h>
#endif

namespace quill {
namespace lanes {

typedef float f32x2 __attribute__((vector_size(8)));
typedef float f32x4 __attribute__((vector_size(16)));
typedef double f64x2 __attribute__((vector_size(16)));
// Comparisons: every bit of a lane set (true) or clear, one lane per value.
typedef int32_t i32x4 __attribute__((vector_size(16)));
typedef int64_t i64x2 __attribute__((vector_size(16)));
#ifdef QUILL_AVX2
typedef float f32x8 __attribute__((vector_size(32)));
typedef double f64x4 __attribute__((vector_size(32)));
typedef int64_t i64x4 __attribute__((vector_size(32)));
typedef int32_t i32x8 __attribute__((vector_size(32)));
#endif

// The voices of a multichannel object run four to a vector.
constexpr int kWidth = 4;

// A number type's lane type and count: itself and 1 for a plain number.
template <class V, class = void>
struct Lanes {
    typedef V Lane;
    static constexpr int kCount = 1;
};
template <class V>
struct Lanes<V, std::void_t<decltype(std::declval<V>()[0])>> {
    typedef std::remove_cv_t<std::remove_reference_t<decltype(std::declval<V>()[0])>> Lane;
    static constexpr int kCount = sizeof(V) / sizeof(Lane);
};
template <class V>
constexpr int widthOf = Lanes<V>::kCount;

// c in every lane, bit for bit (four float lanes unless told otherwise).
template <class V = f32x4>
__attribute__((always_inline)) inline V splat(typename Lanes<V>::Lane c)
{
    if constexpr (widthOf<V> == 1) {
        return c;
    } else if constexpr (widthOf<V> == 2) {
        return V{c, c};
    } else if constexpr (widthOf<V> == 4) {
        return V{c, c, c, c};  // one broadcast; a loop of lane stores costs one insert a lane
    } else {
        static_assert(widthOf<V> == 8, "lanes of 1, 2, 4 or 8");
        return V{c, c, c, c, c, c, c, c};
    }
}

// where ? a : b, lane by lane (a comparison of vectors gives all-ones lanes
// where true; of plain numbers, a bool).
template <class M, class V>
__attribute__((always_inline)) inline V select(M where, V a, V b)
{
    return where ? a : b;
}

// widthOf<V> numbers from memory and back, at any alignment.
template <class V = f32x4>
__attribute__((always_inline)) inline V load(const typename Lanes<V>::Lane* from)
{
    V v;
    std::memcpy(&v, from, sizeof v);
    return v;
}
template <class V>
__attribute__((always_inline)) inline void store(typename Lanes<V>::Lane* to, V v)
{
    std::memcpy(to, &v, sizeof v);
}

// Whether any lane of a comparison holds: one instruction where there is one.
inline bool any(i32x4 mask)
{
#if defined(__SSE2__)
    return _mm_movemask_epi8(reinterpret_cast<__m128i>(mask)) != 0;
#elif defined(__aarch64__)
    return vmaxvq_u32(reinterpret_cast<uint32x4_t>(mask)) != 0;
#else
    return (mask[0] | mask[1] | mask[2] | mask[3]) != 0;
#endif
}
#ifdef QUILL_AVX2
__attribute__((target("avx2"), always_inline)) inline bool any(i64x4 mask)
{
    return _mm256_movemask_pd(reinterpret_cast<__m256d>(mask)) != 0;
}
// (Not always_inline: a step's template is built without AVX2 until
// lanes::widest's flattening inlines it, and this with it.)
__attribute__((target("avx2"))) inline bool any(i32x8 mask)
{
    return _mm256_movemask_ps(reinterpret_cast<__m256>(mask)) != 0;
}
#endif

// A number's bits and back.
template <class To, class From>
__attribute__((always_inline)) inline To sameBits(From v)
{
    static_assert(sizeof(To) == sizeof(From), "a cast of bits keeps the size");
    To t;
    std::memcpy(&t, &v, sizeof t);
    return t;
}
inline uint32_t bitsOf(float v) { return sameBits<uint32_t>(v); }
inline uint64_t bitsOf(double v) { return sameBits<uint64_t>(v); }
inline float floatOf(uint32_t b) { return sameBits<float>(b); }
inline double doubleOf(uint64_t b) { return sameBits<double>(b); }

// The comparison type of float lanes V (i32x4 for f32x4, i32x8 for f32x8).
template <class V>
using MaskOf = decltype(V{} < V{});

// The bit operations below, for any float lanes (f32x4, f32x8).
template <class V, class M = MaskOf<V>, class = std::enable_if_t<(widthOf<V> > 1)>>
__attribute__((always_inline)) inline V abs(V v)
{
    return reinterpret_cast<V>(reinterpret_cast<M>(v) & 0x7fffffff);
}

// The magnitude of `magnitude` with the sign of `sign`.
template <class V, class M = MaskOf<V>, class = std::enable_if_t<(widthOf<V> > 1)>>
__attribute__((always_inline)) inline V copysign(V magnitude, V sign)
{
    const M signBit = splat<M>(INT32_MIN);
    return reinterpret_cast<V>((reinterpret_cast<M>(magnitude) & ~signBit) | (reinterpret_cast<M>(sign) & signBit));
}

// Lanes whose value is neither infinite nor NaN.
template <class V, class M = MaskOf<V>, class = std::enable_if_t<(widthOf<V> > 1)>>
__attribute__((always_inline)) inline M finite(V v)
{
    const M exponent = splat<M>(0x7f800000);
    return (reinterpret_cast<M>(v) & exponent) != exponent;
}

// Whether this processor runs the AVX2 forms, asked once when the module
// loads. QUILL_NO_AVX2 in the environment keeps to the baseline forms, so
// that tests can try both on one machine.
#ifdef QUILL_AVX2
inline const bool kHasAvx2 = (__builtin_cpu_init(), __builtin_cpu_supports("avx2") != 0) && !std::getenv("QUILL_NO_AVX2");

// `step` built for AVX2 (flattened: everything it calls is built so too).
template <class Step>
__attribute__((target("avx2"), flatten, noinline)) void onAvx2(Step step)
{
    step(f32x8{});
}

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
#else
constexpr bool kHasAvx2 = false;
#endif

// `step` in four baseline lanes; out of line like the AVX2 form, so that
// neither crowds the caller's loop.
template <class Step>
__attribute__((noinline)) void onBaseline(Step step)
{
    step(f32x4{});
}

// Calls step(V{}) once, V the widest float lanes this processor runs: f32x8
// with AVX2, else f32x4. The step is a generic lambda marked always_inline,
// so that its lanes build as the chosen form:
//   widest([=](auto lanes) __attribute__((always_inline)) { using V = decltype(lanes); ... });
// Only an optimising build flattens: unoptimised, a function between the
// step and an AVX2 routine (a template or lambda not marked always_inline)
// would stay out of line, built without AVX2, and pass eight lanes to that
// routine by another convention. There the baseline form runs.
template <class Step>
__attribute__((always_inline)) inline void widest(Step step)
{
#if defined(QUILL_AVX2) && defined(__OPTIMIZE__)
    if (kHasAvx2) return onAvx2(step);
#endif
    onBaseline(step);
}

// A formula over n samples written once, as step(lanes, i), a generic lambda
// marked always_inline: widthOf<V> samples from i as V{} in the widest lanes
// (see widest) while whole vectors fit, then the rest one by one as 0.0f.
// n is an int, or a std::integral_constant where the count is known when
// compiling (the loops then unroll).
template <class N, class Step>
__attribute__((always_inline)) inline void overWidestLanes(N n, Step step)
{
    widest([=](auto lanes) __attribute__((always_inline)) {
        int i = 0;
        for (; i + widthOf<decltype(lanes)> <= n; i += widthOf<decltype(lanes)>) step(lanes, i);
        for (; i < n; ++i) step(0.0f, i);
    });
}

// Rows to columns: four samples of four channels become four frames of
// four lanes, and back.
inline void transpose(f32x4& a, f32x4& b, f32x4& c, f32x4& d)
{
    const f32x4 ab0 = __builtin_shufflevector(a, b, 0, 4, 1, 5), ab1 = __builtin_shufflevector(a, b, 2, 6, 3, 7);
    const f32x4 cd0 = __builtin_shufflevector(c, d, 0, 4, 1, 5), cd1 = __builtin_shufflevector(c, d, 2, 6, 3, 7);
    a = __builtin_shufflevector(ab0, cd0, 0, 1, 4, 5);
    b = __builtin_shufflevector(ab0, cd0, 2, 3, 6, 7);
    c = __builtin_shufflevector(ab1, cd1, 0, 1, 4, 5);
    d = __builtin_shufflevector(ab1, cd1, 2, 3, 6, 7);
}

// Samples start to start + length - 1 of `lanes` channels as frames of
// lanes (missing lanes 0), four samples at a time by transposing.
inline void gatherFrames(const float* const* in, int lanes, int start, int length, f32x4* frame)
{
    int i = 0;
    for (; i + kWidth <= length; i += kWidth) {
        f32x4 row[kWidth] = {};
        for (int l = 0; l < lanes; ++l) row[l] = load<f32x4>(in[l] + start + i);
        transpose(row[0], row[1], row[2], row[3]);
        for (int k = 0; k < kWidth; ++k) frame[i + k] = row[k];
    }
    for (; i < length; ++i) {
        frame[i] = splat<f32x4>(0.0f);
        for (int l = 0; l < lanes; ++l) frame[i][l] = in[l][start + i];
    }
}

// The frames back into their channels, in both outputs (written once where
// they are the same vector).
inline void scatterFrames(const f32x4* frame, int lanes, int start, int length, float* const* out, float* const* copy)
{
    int i = 0;
    for (; i + kWidth <= length; i += kWidth) {
        f32x4 row[kWidth] = {frame[i], frame[i + 1], frame[i + 2], frame[i + 3]};
        transpose(row[0], row[1], row[2], row[3]);
        for (int l = 0; l < lanes; ++l) {
            store(out[l] + start + i, row[l]);
            if (copy[l] != out[l]) store(copy[l] + start + i, row[l]);
        }
    }
    for (; i < length; ++i)
        for (int l = 0; l < lanes; ++l) out[l][start + i] = copy[l][start + i] = frame[i][l];
}

}  // namespace lanes

using lanes::bitsOf;

}  // namespace quill
