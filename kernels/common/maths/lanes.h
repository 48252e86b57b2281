// The lane types of the maths module. Every routine is written once, as a
// template over its number type: plain double for one value, or a vector of
// doubles (GCC/Clang vector extensions) for several values at a time, which
// builds to SSE2 on baseline x86-64 and to NEON on 64-bit Arm. Each lane
// performs the same IEEE operations in the same order as the scalar code, so
// the two give the same bits.
#pragma once

#include <cstdint>
#include <cstring>


namespace quill {
namespace maths {

// Two doubles: one SSE2 or NEON register.
typedef double f64x2 __attribute__((vector_size(16)));
typedef int64_t i64x2 __attribute__((vector_size(16)));
typedef float f32x2 __attribute__((vector_size(8)));
typedef float f32x4 __attribute__((vector_size(16)));

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
