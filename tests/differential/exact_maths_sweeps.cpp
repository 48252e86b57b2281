// Exhaustive sweeps of the kernels' maths module over each call's reachable
// arguments (every float of the range; builds without optimisation try every
// 251st, and QUILL_SWEEP_STRIDE sets another step):
// - tangent and base-10 logarithm give exactly the bits of the C library's
//   double functions rounded to float, which the kernels used before;
// - the exponentials are correctly rounded, judged by the C library's double
//   function where its result lies clear of a float rounding midpoint, else by
//   long double; a sweep also counts the arguments where the C library's own
//   float function (the kernels' former call) rounds otherwise;
// - the block forms (several lanes at a time) give the scalar ones' bits.
// The ranges hold every argument the kernels form at rates up to kMaxRate,
// and every lower rate: each starts at 0 or at the lowest rate's end.
#include <gtest/gtest.h>

#include <atomic>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <math.h>  // exp10f, exp10, exp10l (GNU): the reference and the former calls
#include <thread>
#include <vector>

#include "kernels/common/maths/maths.h"

namespace {

// Every float in an optimised build, every 251st otherwise; QUILL_SWEEP_STRIDE
// picks another step (CI tries every 31st, to stay within its time).
uint32_t sweepStride()
{
#if defined(__OPTIMIZE__) && !defined(__SANITIZE_ADDRESS__)
    uint32_t stride = 1;
#else
    uint32_t stride = 251;
#endif
    if (const char* text = std::getenv("QUILL_SWEEP_STRIDE")) {
        const long chosen = std::strtol(text, nullptr, 10);
        if (chosen > 0 && chosen < 1000000) stride = static_cast<uint32_t>(chosen);
    }
    return stride;
}
const uint32_t kStride = sweepStride();

// The highest rate the kernels run at; a higher bound only widens the
// tangent's and exponentials' ranges towards 0, which they already include.
constexpr double kMaxRate = 1536000.0;

using quill::maths::bitsOf;
using quill::maths::floatOf;

bool same(float a, float b) { return bitsOf(a) == bitsOf(b) || (std::isnan(a) && std::isnan(b)); }

struct Tally {
    uint64_t tried = 0, failed = 0, other = 0;  // other: a second count a sweep keeps
    uint32_t example = 0;
};

// Runs check(x, tally) for every float from lo to hi (inclusive; through
// -0 and +0 when lo < 0 <= hi), split into slices over the machine's threads.
template <class Check>
Tally sweep(float lo, float hi, Check check)
{
    struct Range {
        uint32_t first, last;
    };
    std::vector<Range> ranges;
    if (lo < 0.0f || bitsOf(lo) == 0x80000000u) ranges.push_back({0x80000000u, bitsOf(lo)});
    if (hi >= 0.0f) ranges.push_back({0u, bitsOf(hi)});
    std::vector<std::pair<uint32_t, uint32_t>> slices;  // first, count
    for (const Range& r : ranges)
        for (uint64_t b = r.first; b <= r.last; b += uint64_t{1} << 22)
            slices.push_back({uint32_t(b), uint32_t(std::min<uint64_t>(uint64_t{1} << 22, r.last - b + 1))});
    std::atomic<size_t> next{0};
    const unsigned threads = std::max(1u, std::min(8u, std::thread::hardware_concurrency()));
    std::vector<Tally> tallies(threads);
    auto work = [&](unsigned t) {
        for (size_t s; (s = next++) < slices.size();) {
            for (uint32_t i = 0; i < slices[s].second; i += kStride) {
                const uint32_t bits = slices[s].first + i;
                Tally& tally = tallies[t];
                ++tally.tried;
                const uint64_t before = tally.failed;
                check(floatOf(bits), tally);
                if (before == 0 && tally.failed) tally.example = bits;
            }
        }
    };
    std::vector<std::thread> pool;
    for (unsigned t = 1; t < threads; ++t) pool.emplace_back(work, t);
    work(0);
    for (auto& t : pool) t.join();
    Tally total;
    for (const Tally& t : tallies) {
        total.tried += t.tried;
        total.other += t.other;
        if (total.failed == 0 && t.failed) total.example = t.example;
        total.failed += t.failed;
    }
    return total;
}

void report(const char* what, const Tally& t, const char* other)
{
    std::printf("%s: %llu floats, %llu differ", what, (unsigned long long)t.tried, (unsigned long long)t.failed);
    if (other) std::printf(", %s: %llu", other, (unsigned long long)t.other);
    std::printf("\n");
}

#define EXPECT_NONE_FAILED(tally)                                                                      \
    EXPECT_EQ((tally).failed, 0u) << "first at bits 0x" << std::hex << (tally).example << " ("      \
                                  << floatOf((tally).example) << ")"

// The correctly rounded float of a function, from its double (error below an
// ulp) when that is clear of a float midpoint, else from its long double
// (x86-64: 64 bits) when that is; `undecided` counts the rest.
template <class D, class L>
float correctlyRounded(float x, D fd, L fl, bool& undecided)
{
    const double d = fd(static_cast<double>(x));
    if (std::fabs(d) >= 0x1p-125 && std::fabs(d) <= 0x1p127 && !quill::maths::nearFloatMidpoint(d, 8u))
        return static_cast<float>(d);
    const long double l = fl(static_cast<long double>(x));
    const float a = static_cast<float>(l);
    const float b = std::nextafter(a, l > a ? INFINITY : -INFINITY);
    const long double mid = (static_cast<long double>(a) + static_cast<long double>(b)) / 2;
    undecided = std::fabs(l - mid) <= std::fabs(l) * 0x1p-60L;
    return a;
}

// One exponential over [lo, hi]: correctly rounded everywhere, and the count
// of arguments where the C library's float function is not.
template <class Ours, class D, class L, class Former>
void sweepExponential(const char* name, float lo, float hi, Ours ours, D fd, L fl, Former former)
{
    const Tally t = sweep(lo, hi, [&](float x, Tally& tally) {
        bool undecided = false;
        const float want = correctlyRounded(x, fd, fl, undecided);
        if (undecided || !same(ours(x), want)) ++tally.failed;
        if (!same(former(x), want)) ++tally.other;
    });
    report(name, t, "the C library's float function differs");
    EXPECT_NONE_FAILED(t);
}

}  // namespace

TEST(ExactMaths, TangentIsTheDoubleTangentOnZeroToHalfPi)
{
    // Every argument: mellow's pi/fs * cutoff (cutoff up to 0.49 fs), klaxon's
    // up to 0.45 pi, the leveler's capped at 1.4451326; all above 0.
    const float top = std::nextafter(static_cast<float>(M_PI_2), 0.0f);  // below pi/2
    const Tally t = sweep(0.0f, top, [](float x, Tally& tally) {
        if (!same(quill::maths::tangent(x), static_cast<float>(std::tan(static_cast<double>(x))))) ++tally.failed;
    });
    report("tangent [0, pi/2)", t, nullptr);
    EXPECT_NONE_FAILED(t);
    (void)kMaxRate;
}

// The block forms (several lanes at a time, a remainder one by one) against
// the scalar functions, over a call's whole range: blocks of 7 values.
template <class Block, class Scalar>
Tally sweepBlocks(float lo, float hi, Block block, Scalar scalar)
{
    return sweep(lo, hi, [&](float x, Tally& tally) {
        thread_local float in[7], out[7];
        thread_local int filled = 0;
        in[filled++] = x;
        if (filled < 7) return;
        block(in, out, 7);
        for (int i = 0; i < 7; ++i)
            if (!same(out[i], scalar(in[i]))) ++tally.failed;
        filled = 0;
    });
}

// Each block form runs as the baseline (SSE2/NEON) and, where the processor
// has it, as the AVX2 form.
struct BlockForms {
    void (*tangents)(const float*, float*, int);
    void (*logs)(const float*, float*, int);
    void (*exponentials)(const float*, float*, int, quill::maths::ExpBase);
};

TEST(ExactMaths, BlockFormsAreTheScalarOnes)
{
    using namespace quill::maths;
    std::vector<std::pair<const char*, BlockForms>> forms = {{"baseline", {tangentsBaseline, decimalLogsBaseline, exponentialsBaseline}}};
#ifdef QUILL_AVX2
    if (kHasAvx2)
        forms.push_back({"AVX2", {tangentsAvx2, decimalLogsAvx2, exponentialsAvx2}});
    else
        std::printf("no AVX2 here: the AVX2 forms are not tried\n");
#endif
    const float top = std::nextafter(static_cast<float>(M_PI_2), 0.0f);
    for (const auto& [name, f] : forms) {
        SCOPED_TRACE(name);
        const Tally tan = sweepBlocks(0.0f, top, f.tangents, [](float x) { return tangent(x); });
        EXPECT_NONE_FAILED(tan);
        const Tally log = sweepBlocks(0.0f, INFINITY, f.logs, [](float x) { return decimalLog(x); });
        EXPECT_NONE_FAILED(log);
        auto exps = [&f](ExpBase base) { return [&f, base](const float* x, float* out, int n) { f.exponentials(x, out, n, base); }; };
        const Tally exp = sweepBlocks(-333.5f, 4.61f, exps(kBaseE), [](float x) { return exponentialE(x); });
        EXPECT_NONE_FAILED(exp);
        const Tally exp2 = sweepBlocks(-1.5f, 1.0f, exps(kBaseTwo), [](float x) { return exponentialTwo(x); });
        EXPECT_NONE_FAILED(exp2);
        const Tally exp10 = sweepBlocks(-40.5f, 1.5f, exps(kBaseTen), [](float x) { return exponentialTen(x); });
        EXPECT_NONE_FAILED(exp10);
        // Specials take the scalar way.
        const float odd[] = {NAN, -1.0f, 0.0f, INFINITY, 1e-40f, -INFINITY, 1e30f, 1.0f};
        float out[8];
        f.logs(odd, out, 8);
        for (int i = 0; i < 8; ++i) EXPECT_TRUE(same(out[i], decimalLog(odd[i]))) << odd[i];
        f.exponentials(odd, out, 8, kBaseTen);
        for (int i = 0; i < 8; ++i) EXPECT_TRUE(same(out[i], exponentialTen(odd[i]))) << odd[i];
    }
}

TEST(ExactMaths, DecimalLogIsTheDoubleLogFromOneHundredMillionth)
{
    // The leveler's argument is max(|envelope|, 1e-8): every float from 1e-8,
    // +inf and NaN. Below, where the double logarithm itself is not always
    // correctly rounded (ours is closer at 6.2845479e-30), the differing
    // floats are only counted.
    const Tally t = sweep(0.0f, INFINITY, [](float x, Tally& tally) {
        if (!same(quill::maths::decimalLog(x), static_cast<float>(std::log10(static_cast<double>(x)))))
            ++(x >= 1e-8f ? tally.failed : tally.other);
    });
    report("log10 [1e-8, inf]", t, "below 1e-8");
    EXPECT_NONE_FAILED(t);
    EXPECT_TRUE(std::isnan(quill::maths::decimalLog(NAN)));
    EXPECT_TRUE(std::isnan(quill::maths::decimalLog(-1.0f)));
    EXPECT_EQ(quill::maths::decimalLog(0.0f), -INFINITY);
    EXPECT_EQ(quill::maths::decimalLog(1000.0f), 3.0f);
}

TEST(ExactMaths, ExponentialIsCorrectlyRounded)
{
    // klaxon's e^(4.6051702 sweep), sweep in [0, 1]; the leveler's
    // e^(-c / fs) for c up to 333.33334 and every rate from 1 Hz.
    sweepExponential(
        "exp [-333.5, 4.61]", -333.5f, 4.61f, [](float x) { return quill::maths::exponentialE(x); },
        [](double x) { return std::exp(x); }, [](long double x) { return std::exp(x); },
        [](float x) { return std::exp(x); });
}

TEST(ExactMaths, BaseTwoExponentialIsCorrectlyRounded)
{
    // klaxon's pitch exponent: depth (up to 1) times LFO plus envelope term.
    sweepExponential(
        "exp2 [-1.5, 1]", -1.5f, 1.0f, [](float x) { return quill::maths::exponentialTwo(x); },
        [](double x) { return std::exp2(x); }, [](long double x) { return std::exp2(x); },
        [](float x) { return std::exp2(x); });
}

TEST(ExactMaths, BaseTenExponentialIsCorrectlyRounded)
{
    // The leveler's compressor gain exponent (down to -40.33 for any finite
    // envelope) and make-up exponent (up to 1.5); then -inf, +inf, NaN.
    sweepExponential(
        "exp10 [-40.5, 1.5]", -40.5f, 1.5f, [](float x) { return quill::maths::exponentialTen(x); },
        [](double x) { return exp10(x); }, [](long double x) { return exp10l(x); },
        [](float x) { return exp10f(x); });
    EXPECT_EQ(quill::maths::exponentialTen(-INFINITY), 0.0f);
    EXPECT_EQ(quill::maths::exponentialTen(INFINITY), INFINITY);
    EXPECT_TRUE(std::isnan(quill::maths::exponentialTen(NAN)));
    EXPECT_EQ(quill::maths::exponentialTen(2.0f), 100.0f);
}
