// Flush-to-zero on 64-bit Arm: FPCR bit 24 (FZ) is on inside the scope and
// inside the adapter's perform routine, arithmetic really flushes there, and
// the register comes back exactly as it was, other mode bits included.
#include "tests/adapter/support/adapter_fixture.h"

#include <cstdint>

#include "adapter/flush_to_zero.h"

namespace {

constexpr uint64_t kFz = uint64_t{1} << 24;
constexpr uint64_t kRoundTowardZero = uint64_t{3} << 22;  // RMode = RZ

uint64_t readFpcr()
{
    uint64_t v = 0;
    asm volatile("mrs %0, fpcr" : "=r"(v) : : "memory");
    return v;
}

void writeFpcr(uint64_t v) { asm volatile("msr fpcr, %0" : : "r"(v) : "memory"); }

// Puts FPCR back after each test, whatever the test left.
class Fpcr : public ::testing::Test {
protected:
    uint64_t original = 0;
    void SetUp() override { original = readFpcr(); }
    void TearDown() override { writeFpcr(original); }
};

// 2^-140: subnormal in single precision.
float subnormal()
{
    volatile float tiny = 7.17464814e-43f;
    return tiny;
}

TEST_F(Fpcr, ScopeSwitchesFlushToZeroOnAndRestoresEveryBit)
{
    for (uint64_t before : {uint64_t{0}, kRoundTowardZero, kFz, kFz | kRoundTowardZero}) {
        writeFpcr(before);
        uint64_t inside = 0;
        {
            quill::FlushToZeroScope ftz;
            inside = readFpcr();
        }
        EXPECT_EQ(inside, before | kFz) << "FPCR before: " << before;
        EXPECT_EQ(readFpcr(), before) << "FPCR before: " << before;
    }
}

TEST_F(Fpcr, SubnormalsFlushInsideTheScopeOnly)
{
    writeFpcr(0);
    volatile float one = 1.0f;
    EXPECT_GT(subnormal() * one, 0.0f);  // gradual underflow outside
    volatile float small = 1e-30f;
    volatile float smaller = 1e-10f;
    float product = 0.0f;
    float input = 0.0f;
    {
        quill::FlushToZeroScope ftz;
        product = small * smaller;   // result below the normal range
        input = subnormal() * one;   // subnormal operand
    }
    EXPECT_EQ(product, 0.0f);
    EXPECT_EQ(input, 0.0f);
    EXPECT_GT(small * smaller, 0.0f);  // and gradual underflow again afterwards
}

TEST_F(Fpcr, NestedScopesRestoreInOrder)
{
    writeFpcr(kRoundTowardZero);
    {
        quill::FlushToZeroScope outer;
        {
            quill::FlushToZeroScope inner;
            EXPECT_EQ(readFpcr(), kRoundTowardZero | kFz);
        }
        EXPECT_EQ(readFpcr(), kRoundTowardZero | kFz);
    }
    EXPECT_EQ(readFpcr(), kRoundTowardZero);
}

// The adapter's perform routine, driven through the host double.
TEST_F(AdapterTest, PerformRunsTheKernelWithFlushToZeroAndRestoresFpcr)
{
    const uint64_t saved = readFpcr();
    for (uint64_t before : {uint64_t{0}, kRoundTowardZero}) {
        writeFpcr(before);
        t_quill* x = create();
        std::vector<t_signal*> sp = startDsp(x, 8, 44100);
        for (int j = 0; j < 8; ++j) sp[1]->s_vec[j] = subnormal();
        host::runChain();
        const uint64_t after = readFpcr();
        EXPECT_EQ(kernel(x)->computeCalls, 1);
        EXPECT_EQ(kernel(x)->fpcrSeen, before | kFz);
        EXPECT_EQ(after, before);
        // Subnormal input times one came out as zero: the kernel's arithmetic flushed.
        for (int o = 2; o < 4; ++o)
            for (int j = 0; j < 8; ++j) EXPECT_EQ(sp[size_t(o)]->s_vec[j], 0.0f) << "output " << o - 2 << ", sample " << j;
        EXPECT_GT(sp[1]->s_vec[0] * kernel(x)->gain, 0.0f);  // and would not have outside
    }
    writeFpcr(saved);
}

}  // namespace
