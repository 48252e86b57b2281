// Exhaustive proofs that the fast phase arithmetic gives the library's bits:
// every float of each helper's range is tried. Builds without optimisation
// (such as the sanitizer build) try every 251st float instead.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

#include "kernels/common/exact_phase.h"

namespace {

#if defined(__OPTIMIZE__) && !defined(__SANITIZE_ADDRESS__)
constexpr uint64_t kStride = 1;
#else
constexpr uint64_t kStride = 251;
#endif

float fromBits(uint32_t b)
{
    float f;
    std::memcpy(&f, &b, sizeof f);
    return f;
}

uint32_t bitsOf(float f)
{
    uint32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

bool same(float a, float b) { return bitsOf(a) == bitsOf(b) || (std::isnan(a) && std::isnan(b)); }

// Calls check(x) for the floats with bit patterns first..last (inclusive), on
// two threads; returns how many failed and the first that did.
template <class Check>
uint64_t countFailures(uint32_t first, uint32_t last, Check check, uint32_t* example)
{
    const uint64_t span = static_cast<uint64_t>(last) - first + 1;
    const uint64_t half = span / 2;
    uint64_t failures[2] = {0, 0};
    uint32_t examples[2] = {0, 0};
    auto run = [&](int part, uint64_t from, uint64_t to) {
        for (uint64_t b = from; b < to; b += kStride) {
            const uint32_t bits = static_cast<uint32_t>(first + b);
            if (!check(fromBits(bits))) {
                if (failures[part]++ == 0) examples[part] = bits;
            }
        }
    };
    std::thread other(run, 1, half, span);
    run(0, 0, half);
    other.join();
    *example = failures[0] ? examples[0] : examples[1];
    return failures[0] + failures[1];
}

#define EXPECT_EVERY_FLOAT(first, last, check)                                                        \
    do {                                                                                              \
        uint32_t example = 0;                                                                         \
        const uint64_t failed = countFailures(first, last, check, &example);                          \
        EXPECT_EQ(failed, 0u) << "first failure at bits 0x" << std::hex << example << " (" << fromBits(example) << ")"; \
    } while (0)

// Bit patterns of the ends of the ranges.
constexpr uint32_t kPlusZero = 0x00000000u, kMinusZero = 0x80000000u;
constexpr uint32_t kHalf = 0x3F000000u, kOne = 0x3F800000u, kTwo = 0x40000000u, kThree = 0x40400000u;
constexpr uint32_t kMinusOne = 0xBF800000u, kAllOnes = 0xFFFFFFFFu;

}  // namespace

TEST(ExactPhase, WrapNearPhaseIsPMinusFloorOnMinusOneToTwo)
{
    auto check = [](float p) { return same(quill::wrapNearPhase(p), p - std::floor(p)); };
    EXPECT_EVERY_FLOAT(kPlusZero, kTwo - 1, check);        // [+0, 2)
    EXPECT_EVERY_FLOAT(kMinusZero + 1, kMinusOne, check);  // [-1, -0)
    // -0 is outside its range: the library gives +0, the short path would give -0.
    EXPECT_FALSE(same(quill::wrapNearPhase(-0.0f), -0.0f - std::floor(-0.0f)));
}

TEST(ExactPhase, WrapPhaseIsPMinusFloorEverywhere)
{
    // Its short path is wrapNearPhase on the range proved above; elsewhere it
    // is the library. Its choice of path is checked near the ends, and on a
    // sample of every float.
    auto check = [](float p) { return same(quill::wrapPhase(p), p - std::floor(p)); };
    EXPECT_EVERY_FLOAT(kTwo - 4096, kTwo + 4096, check);
    EXPECT_EVERY_FLOAT(kMinusOne - 4096, kMinusOne + 4096, check);
    EXPECT_EVERY_FLOAT(kPlusZero, kPlusZero + 4096, check);
    EXPECT_EVERY_FLOAT(kMinusZero, kMinusZero + 4096, check);
    uint64_t failed = 0;
    for (uint64_t b = 0; b <= kAllOnes; b += 65521)
        if (!check(fromBits(static_cast<uint32_t>(b)))) ++failed;
    for (float p : {-0.0f, 0.0f, -1.0f, 2.0f, 1.0f, -1e30f, 1e30f, 8388608.5f, -8388607.5f, INFINITY, -INFINITY})
        if (!check(p)) ++failed;
    EXPECT_EQ(failed, 0u);
}

TEST(ExactPhase, RemainderByOneIsFmodOnHalfToThree)
{
    auto check = [](float x) { return same(quill::remainderByOneNear(x), std::fmod(x, 1.0f)); };
    EXPECT_EVERY_FLOAT(kHalf, kThree - 1, check);
    // The checked form everywhere: its short path exhaustively (above), the rest sampled.
    uint64_t failed = 0;
    for (uint64_t b = 0; b <= kAllOnes; b += 65521) {
        const float x = fromBits(static_cast<uint32_t>(b));
        if (!same(quill::remainderByOne(x), std::fmod(x, 1.0f))) ++failed;
    }
    EXPECT_EQ(failed, 0u);
}

TEST(ExactPhase, HalfCycleOnWrappedIsTheTwoRemainders)
{
    // For every wrapped phase: the two remainders' arguments lie where
    // remainderByOneNear is fmod (proved above), and halfCycleOnWrapped
    // gives their bits; so it gives halfCycleOn's. halfCycleOn itself is
    // compared on a sample.
    auto check = [](float p) {
        const float first = p + 0.5f;
        if (!(first >= 0.5f && first < 3.0f)) return false;
        const float second = quill::remainderByOneNear(first) + 1.0f;
        if (!(second >= 0.5f && second < 3.0f)) return false;
        return same(quill::halfCycleOnWrapped(p), quill::remainderByOneNear(second));
    };
    EXPECT_EVERY_FLOAT(kPlusZero, kOne, check);  // [+0, 1]
    for (uint32_t b = kPlusZero; b <= kOne; b += 9973) {
        const float p = fromBits(b);
        ASSERT_TRUE(same(quill::halfCycleOnWrapped(p), quill::halfCycleOn(p))) << p;
        ASSERT_TRUE(same(quill::halfCycleOnFast(p), quill::halfCycleOn(p))) << p;
    }
    // Where rounding bites: p + 0.5 rounds up to 1, and r + 1 rounds up to 2.
    for (float p : {0.49999997f, 0.5f, 0.99999994f, 1.0f, 0.0f})
        EXPECT_TRUE(same(quill::halfCycleOnWrapped(p), quill::halfCycleOn(p))) << p;
    EXPECT_EQ(quill::halfCycleOn(0.49999997f), 0.0f);
}

TEST(ExactPhase, SquareFromWrappedPhaseIsTwiceTruncMinusOne)
{
    auto check = [](float p) { return same(quill::squareFromWrappedPhase(p), quill::squareFromPhase(p)); };
    EXPECT_EVERY_FLOAT(kPlusZero, kOne, check);
    EXPECT_EQ(quill::squareFromWrappedPhase(1.0f), 3.0f);  // a phase rounded up to 1
    for (float p : {-0.0f, -0.5f, 1.5f, 2.0f, NAN, -3.7f, 1e20f})
        EXPECT_TRUE(same(quill::squareFromPhaseFast(p), quill::squareFromPhase(p))) << p;
}

TEST(ExactPhase, AddingAndSubtractingPlusZeroKeepsEveryFloatButMinusZero)
{
    // zigzag skips "+ 0 - 0" on its integrator outside the correction
    // windows. These are rules of IEEE arithmetic rather than replacements of
    // a library call, so a sample of every float (every 7th) is tried.
    uint64_t failed = 0;
    volatile float zero = 0.0f;
    const float z = zero;
    for (uint64_t b = 0; b <= kAllOnes; b += 7 * kStride) {
        const float a = fromBits(static_cast<uint32_t>(b));
        if (bitsOf(a) != kMinusZero && !same((a + z) - z, a)) ++failed;
        // The integrator is never -0: x + s for s = -1, 1 or 3 is not -0 for any x.
        if (bitsOf(a + -1.0f) == kMinusZero || bitsOf(a + 1.0f) == kMinusZero || bitsOf(a + 3.0f) == kMinusZero) ++failed;
    }
    EXPECT_EQ(failed, 0u);
    EXPECT_FALSE(same((-0.0f + z) - z, -0.0f));
    EXPECT_EQ(bitsOf(-1.0f + 1.0f), kPlusZero);
}

TEST(ExactPhase, LaneFormsGiveTheOneFloatFormsBits)
{
    // The voices take the phase helpers in vector lanes, written with other
    // operations than the one-float forms: every float of their ranges, in
    // each lane.
    typedef float Lanes __attribute__((vector_size(16)));
    auto lanes = [](float p) { return Lanes{p, p, p, p}; };
    auto agree = [](Lanes v, float f) { return same(v[0], f) && same(v[1], f) && same(v[2], f) && same(v[3], f); };
    EXPECT_EVERY_FLOAT(kPlusZero, kOne, [&](float p) {
        return agree(quill::halfCycleOnWrapped(lanes(p)), quill::halfCycleOnWrapped(p)) &&
               agree(quill::squareFromWrappedPhase(lanes(p)), quill::squareFromWrappedPhase(p));
    });
    // wrapNearPhase's range, [-1, 2) without -0; wrapForwardPhase's, [0, 2).
    auto wraps = [&](float p) { return agree(quill::wrapNearPhase(lanes(p)), quill::wrapNearPhase(p)); };
    EXPECT_EVERY_FLOAT(kMinusZero + 1, kMinusOne, wraps);
    EXPECT_EVERY_FLOAT(kPlusZero, kTwo - 1, [&](float p) {
        return wraps(p) && agree(quill::wrapForwardPhase(lanes(p)), quill::wrapNearPhase(p));
    });
}
