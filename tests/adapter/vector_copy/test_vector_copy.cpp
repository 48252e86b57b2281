// The block copy and clear used by bypassed objects: every length, vectors
// apart, the same, or overlapping, and nothing written outside the block.
#include "adapter/vector_copy.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

namespace {

constexpr float kGuard = -777.0f;
constexpr int kMargin = 8;

// Source samples of every awkward kind, so that the copy must move bits, not values.
float sample(int j)
{
    switch (j % 5) {
    case 0: return -0.0f;
    case 1: return std::numeric_limits<float>::denorm_min() * static_cast<float>(j);
    case 2: return std::numeric_limits<float>::quiet_NaN();
    case 3: return static_cast<float>(j) * 0.5f;
    default: return -std::numeric_limits<float>::infinity();
    }
}

uint32_t bits(float f)
{
    uint32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

const std::vector<int>& lengths()
{
    static const std::vector<int> all = [] {
        std::vector<int> v;
        for (int n = 0; n <= 40; ++n) v.push_back(n);
        for (int n : {63, 64, 65, 256, 1024}) v.push_back(n);
        return v;
    }();
    return all;
}

TEST(VectorCopy, CopiesEveryLengthBitForBitWithinItsBlock)
{
    for (int n : lengths()) {
        std::vector<float> in(static_cast<size_t>(n + 2 * kMargin), kGuard);
        std::vector<float> out(in.size(), kGuard);
        for (int j = 0; j < n; ++j) in[static_cast<size_t>(kMargin + j)] = sample(j);
        quill::copyVector(out.data() + kMargin, in.data() + kMargin, n);
        for (size_t k = 0; k < out.size(); ++k) ASSERT_EQ(bits(out[k]), bits(in[k])) << "n " << n << " at " << k;
    }
}

TEST(VectorCopy, LeavesTheSameVectorAsItIs)
{
    std::vector<float> v(64);
    for (int j = 0; j < 64; ++j) v[static_cast<size_t>(j)] = sample(j);
    const std::vector<float> before = v;
    quill::copyVector(v.data(), v.data(), 64);
    for (size_t k = 0; k < v.size(); ++k) EXPECT_EQ(bits(v[k]), bits(before[k]));
}

// Pd never hands out overlapping vectors that are not the same, but the copy
// must still behave as memmove does if it meets them.
TEST(VectorCopy, OverlappingVectorsCopyAsMemmoveDoes)
{
    for (int n : lengths()) {
        for (int shift : {-9, -4, -1, 1, 3, 8, 15}) {
            std::vector<float> expected(static_cast<size_t>(n + 40));
            for (size_t k = 0; k < expected.size(); ++k) expected[k] = static_cast<float>(k);
            std::vector<float> actual = expected;
            const size_t from = 20;
            const size_t to = static_cast<size_t>(20 + shift);
            std::memmove(expected.data() + to, expected.data() + from, sizeof(float) * static_cast<size_t>(n));
            quill::copyVector(actual.data() + to, actual.data() + from, n);
            ASSERT_EQ(actual, expected) << "n " << n << " shift " << shift;
        }
    }
}

TEST(VectorCopy, ApartMeansNoSharedSample)
{
    float buffer[32] = {};
    const std::size_t eight = 8 * sizeof(float);
    EXPECT_TRUE(quill::vectorsApart(buffer, buffer + 8, eight));
    EXPECT_TRUE(quill::vectorsApart(buffer + 8, buffer, eight));
    EXPECT_FALSE(quill::vectorsApart(buffer, buffer + 7, eight));
    EXPECT_FALSE(quill::vectorsApart(buffer + 7, buffer, eight));
    EXPECT_FALSE(quill::vectorsApart(buffer, buffer, eight));
}

TEST(VectorCopy, ClearsEveryLengthWithinItsBlock)
{
    for (int n : lengths()) {
        std::vector<float> out(static_cast<size_t>(n + 2 * kMargin), kGuard);
        for (int j = 0; j < n; ++j) out[static_cast<size_t>(kMargin + j)] = sample(j);
        quill::zeroVector(out.data() + kMargin, n);
        for (int k = 0; k < static_cast<int>(out.size()); ++k) {
            const bool inside = k >= kMargin && k < kMargin + n;
            ASSERT_EQ(bits(out[static_cast<size_t>(k)]), bits(inside ? 0.0f : kGuard)) << "n " << n << " at " << k;
        }
    }
}

}  // namespace
