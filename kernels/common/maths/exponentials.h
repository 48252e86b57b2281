// Correctly rounded float exponentials, e^x, 2^x and 10^x, all through
// 2^t: t = x log2(b) as a double-double, t = k/32 + r with |r| <= 1/64,
// 2^t = 2^(k div 32) * 2^((k mod 32)/32) * e^(r ln 2). A double evaluation
// decides all but about one argument in a million: those within 256 double
// ulps of a float rounding midpoint (512 of the 2^29 double ulps in a float
// ulp), and results below the float normal range, take a double-double
// evaluation.
// tests/differential/exact_maths_sweeps.cpp checks them against a reference.
#pragma once

#include <cstdint>

#include "kernels/common/maths/exact_products.h"
#include "kernels/common/lanes.h"
#include "kernels/common/maths/rounding.h"

namespace quill {
namespace maths {

using namespace lanes;

// 2^(j/32) = hi + lo, j = 0..31.
constexpr double kExp2Table[32][2] = {
    {0x1.0000000000000p+0, 0x0.0p+0},
    {0x1.059b0d3158574p+0, 0x1.d73e2a475b465p-55},
    {0x1.0b5586cf9890fp+0, 0x1.8a62e4adc610bp-54},
    {0x1.11301d0125b51p+0, -0x1.6c51039449b3ap-54},
    {0x1.172b83c7d517bp+0, -0x1.19041b9d78a76p-55},
    {0x1.1d4873168b9aap+0, 0x1.e016e00a2643cp-54},
    {0x1.2387a6e756238p+0, 0x1.9b07eb6c70573p-54},
    {0x1.29e9df51fdee1p+0, 0x1.612e8afad1255p-55},
    {0x1.306fe0a31b715p+0, 0x1.6f46ad23182e4p-55},
    {0x1.371a7373aa9cbp+0, -0x1.63aeabf42eae2p-54},
    {0x1.3dea64c123422p+0, 0x1.ada0911f09ebcp-55},
    {0x1.44e086061892dp+0, 0x1.89b7a04ef80d0p-59},
    {0x1.4bfdad5362a27p+0, 0x1.d4397afec42e2p-56},
    {0x1.5342b569d4f82p+0, -0x1.07abe1db13cadp-55},
    {0x1.5ab07dd485429p+0, 0x1.6324c054647adp-54},
    {0x1.6247eb03a5585p+0, -0x1.383c17e40b497p-54},
    {0x1.6a09e667f3bcdp+0, -0x1.bdd3413b26456p-54},
    {0x1.71f75e8ec5f74p+0, -0x1.16e4786887a99p-55},
    {0x1.7a11473eb0187p+0, -0x1.41577ee04992fp-55},
    {0x1.82589994cce13p+0, -0x1.d4c1dd41532d8p-54},
    {0x1.8ace5422aa0dbp+0, 0x1.6e9f156864b27p-54},
    {0x1.93737b0cdc5e5p+0, -0x1.75fc781b57ebcp-57},
    {0x1.9c49182a3f090p+0, 0x1.c7c46b071f2bep-56},
    {0x1.a5503b23e255dp+0, -0x1.d2f6edb8d41e1p-54},
    {0x1.ae89f995ad3adp+0, 0x1.7a1cd345dcc81p-54},
    {0x1.b7f76f2fb5e47p+0, -0x1.5584f7e54ac3bp-56},
    {0x1.c199bdd85529cp+0, 0x1.11065895048ddp-55},
    {0x1.cb720dcef9069p+0, 0x1.503cbd1e949dbp-56},
    {0x1.d5818dcfba487p+0, 0x1.2ed02d75b3707p-55},
    {0x1.dfc97337b9b5fp+0, -0x1.1a5cd4f184b5cp-54},
    {0x1.ea4afa2a490dap+0, -0x1.e9c23179c2893p-54},
    {0x1.f50765b6e4540p+0, 0x1.9d3e12dd8a18bp-54},
};

constexpr double kLn2Hi = 0x1.62e42fefa39efp-1;
constexpr double kLn2Lo = 0x1.abc9e3b39803fp-56;

// log2 of the base as hi + lo, hi with 29 bits: a float times hi is exact.
struct ExpBase {
    double hi, lo;
};
constexpr ExpBase kBaseE{0x1.7154765p+0, 0x1.5c17f0bbbe88p-31};
constexpr ExpBase kBaseTwo{1.0, 0.0};
constexpr ExpBase kBaseTen{0x1.a934f09p+1, 0x1.e68dc57f2496p-29};

// Lane access for the table look-up: one value, or each lane of a vector.
inline double tableColumn(int64_t j, int column) { return kExp2Table[j][column]; }
inline f64x2 tableColumn(i64x2 j, int column) { return f64x2{kExp2Table[j[0]][column], kExp2Table[j[1]][column]}; }
inline int64_t bitsOfLanes(double v) { return static_cast<int64_t>(bitsOf(v)); }
inline i64x2 bitsOfLanes(f64x2 v) { return (i64x2)v; }  // a vector cast keeps the bits
inline double lanesOfBits(int64_t b) { return doubleOf(static_cast<uint64_t>(b)); }
inline f64x2 lanesOfBits(i64x2 b) { return (f64x2)b; }
#ifdef QUILL_AVX2
// Generic vector code, always inlined, so that it builds as AVX2 inside the AVX2 forms.
__attribute__((always_inline)) inline i64x4 bitsOfLanes(f64x4 v) { return (i64x4)v; }
__attribute__((always_inline)) inline f64x4 lanesOfBits(i64x4 b) { return (f64x4)b; }
#endif

// The double evaluation of 2^(x log2 base) for float x (as double), within
// 2^-48 relative, in two parts around the table look-up: `reduce` forms
// t = k/32 + r and e^(r ln 2) - 1 (its parts for the double-double
// evaluation in rHi, tLo, j, scale), `finish` scales the table's entry by
// it. x is finite; beyond [-160, 130] in t, 2^t rounds to float zero or
// infinity, so t is clamped there.
template <class D, class I>
__attribute__((always_inline)) inline D exponentialReduce(D x, ExpBase base, D& rHi, D& tLo, I& j, D& scale)
{
    D tHi = x * base.hi;
    tLo = x * base.lo;
    const auto high = tHi > 130.0, low = tHi < -160.0;
    tHi = select(high, splat<D>(130.0), select(low, splat<D>(-160.0), tHi));
    tLo = select(high | low, D{} * 0.0, tLo);
    // Adding 1.5 * 2^52 rounds to an integer k, held in the low bits.
    const D shifted = tHi * 32.0 + 0x1.8p52;
    const D k = shifted - 0x1.8p52;
    rHi = tHi - k * 0x1p-5;  // exact: both multiples of tHi's ulp, and close
    const I ki = (bitsOfLanes(shifted) & ((int64_t{1} << 52) - 1)) - (int64_t{1} << 51);
    j = ki & 31;
    // 2^(k div 32): (k - j) / 32 + 1023 in the exponent field, by a left
    // shift alone (SSE2 has no 64-bit arithmetic right shift); k >= -5120.
    scale = lanesOfBits((ki - j + (int64_t{1023} << 5)) << 47);
    // e^p - 1 for p = r ln 2, |p| < 0.0109, to p^6 (error below 2^-48).
    const D p = (rHi + tLo) * kLn2Hi;
    D q = splat<D>(1.0 / 720);
    q = q * p + 1.0 / 120;
    q = q * p + 1.0 / 24;
    q = q * p + 1.0 / 6;
    q = q * p + 0.5;
    return p + p * p * q;
}

template <class D>
__attribute__((always_inline)) inline D exponentialFinish(D expm1, D tableHi, D tableLo, D scale)
{
    return (tableHi + (tableHi * expm1 + tableLo)) * scale;
}

template <class D, class I = decltype(bitsOfLanes(D{}))>
__attribute__((always_inline)) inline D exponentialFast(D x, ExpBase base, D& rHi, D& tLo, I& j, D& scale)
{
    const D expm1 = exponentialReduce(x, base, rHi, tLo, j, scale);
    return exponentialFinish(expm1, tableColumn(j, 0), tableColumn(j, 1), scale);
}

// True when the double evaluation y rounds to the correct float: y is of
// normal float size and clear of a float rounding midpoint by more than its
// error (256 double ulps, against an error below 2^-48 relative).
inline bool exponentialDecided(double y) { return y >= 0x1p-126 && !nearFloatMidpoint(y, 256u); }

inline float exponential(float x, ExpBase base)
{
    if (x != x) return x + x;  // NaN, quietened
    double rHi, tLo, scale;
    int64_t j;
    const double y = exponentialFast(static_cast<double>(x), base, rHi, tLo, j, scale);
    if (exponentialDecided(y)) return static_cast<float>(y);
    const double tableHi = kExp2Table[j][0], tableLo = kExp2Table[j][1];

    // Again in double-double: p = pHi + pLo, e^p = 1 + pHi + (pLo + ...).
    double r, rLo;
    twoSum(rHi, tLo, r, rLo);
    double pHi, pLo;
    twoProduct(r, kLn2Hi, pHi, pLo);
    pLo += r * kLn2Lo + rLo * kLn2Hi;
    double qq = 1.0 / 40320;
    qq = qq * pHi + 1.0 / 5040;
    qq = qq * pHi + 1.0 / 720;
    qq = qq * pHi + 1.0 / 120;
    qq = qq * pHi + 1.0 / 24;
    qq = qq * pHi + 1.0 / 6;
    qq = qq * pHi + 0.5;
    double squareHi, squareLo;
    twoProduct(pHi, pHi, squareHi, squareLo);
    // (1 + pHi) + [pLo + pHi pLo + p^2/2 + p^3/6 + ...], the square exact.
    double one, oneLo;
    fastTwoSum(1.0, pHi, one, oneLo);
    const double series = pLo + pHi * pLo + 0.5 * squareLo + squareHi * qq;
    oneLo += series;
    double mHi, mLo;
    twoProduct(tableHi, one, mHi, mLo);
    mLo += tableHi * oneLo + tableLo * one;
    double hi, lo;
    fastTwoSum(mHi, mLo, hi, lo);
    return roundToFloat(hi * scale, lo * scale);
}

inline float exponentialE(float x) { return exponential(x, kBaseE); }
inline float exponentialTwo(float x) { return exponential(x, kBaseTwo); }
inline float exponentialTen(float x) { return exponential(x, kBaseTen); }

// out[i] = exponential(x[i], base) for i < n, two lanes at a time; a pair
// with a lane the double evaluation leaves undecided (see the top of this file),
// or a NaN, takes the scalar way. The arrays may be the same.
__attribute__((noinline)) inline void exponentialsBaseline(const float* x, float* out, int n, ExpBase base)
{
    int i = 0;
    for (; i + 2 <= n; i += 2) {
        f32x2 v;
        std::memcpy(&v, x + i, sizeof v);
        f64x2 rHi, tLo, scale;
        i64x2 j;
        const f64x2 y = exponentialFast(__builtin_convertvector(v, f64x2), base, rHi, tLo, j, scale);
        if (exponentialDecided(y[0]) && exponentialDecided(y[1])) {
            const f32x2 r = __builtin_convertvector(y, f32x2);
            std::memcpy(out + i, &r, sizeof r);
        } else {
            out[i] = exponential(v[0], base);
            out[i + 1] = exponential(v[1], base);
        }
    }
    for (; i < n; ++i) out[i] = exponential(x[i], base);
}

#ifdef QUILL_AVX2
// The same, four lanes at a time as one AVX2 vector.
__attribute__((target("avx2"), noinline)) inline void exponentialsAvx2(const float* x, float* out, int n, ExpBase base)
{
    int i = 0;
    for (; i + 4 <= n; i += 4) {
        f64x4 rHi, tLo, scale;
        i64x4 j;
        const f64x4 expm1 = exponentialReduce(widen(x + i), base, rHi, tLo, j, scale);
        const __m256i row = reinterpret_cast<__m256i>(j * 2);
        const f64x4 tableHi = reinterpret_cast<f64x4>(_mm256_i64gather_pd(&kExp2Table[0][0], row, 8));
        const f64x4 tableLo = reinterpret_cast<f64x4>(_mm256_i64gather_pd(&kExp2Table[0][1], row, 8));
        const f64x4 y = exponentialFinish(expm1, tableHi, tableLo, scale);
        // Decided: of normal float size (NaN is not) and clear of a midpoint.
        if (!any(~(y >= 0x1p-126)) && !anyNearFloatMidpoint(y, 256)) {
            narrow(y, out + i);
        } else {
            for (int k = 0; k < 4; ++k) out[i + k] = exponential(x[i + k], base);
        }
    }
    for (; i < n; ++i) out[i] = exponential(x[i], base);
}
#endif

// out[i] = exponential(x[i], base) for i < n, several at a time; the arrays may be the same.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"  // as for tangents
#endif
inline void exponentials(const float* x, float* out, int n, ExpBase base)
{
#ifdef QUILL_AVX2
    if (kHasAvx2) return exponentialsAvx2(x, out, n, base);
#endif
    exponentialsBaseline(x, out, n, base);
}
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

}  // namespace maths
}  // namespace quill
