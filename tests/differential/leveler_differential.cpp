// leveler~'s kernel against its literal form over randomised inputs and
// intensity changes: every output sample and every state field must carry
// the same bits, block after block. Within [0, 1] at 44100 Hz and above the
// plain literal form is the oracle; beyond (wild or non-finite intensities,
// low rates, non-finite input) the literal form with the kernel's guards.
// Also: the quantiser's integer floor is proven exact float by float.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "kernels/leveler/leveler.h"
#include "kernels/leveler/leveler_stages.h"
#include "tests/literal/literal_leveler.h"

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

uint32_t bits(float v)
{
    uint32_t b;
    std::memcpy(&b, &v, sizeof b);
    return b;
}

float fromBits(uint32_t b)
{
    float v;
    std::memcpy(&v, &b, sizeof v);
    return v;
}

// Every running value, both elements, as raw bits.
template <class K>
std::vector<uint32_t> stateOf(const K& k)
{
    std::vector<uint32_t> s;
    for (float v : {k.intensitySmooth[0], k.intensitySmooth[1], k.noiseValue[0], k.noiseValue[1], k.hiss[0],
                    k.hiss[1], k.inputEnvelope[0], k.inputEnvelope[1], k.bandState[0], k.bandState[1],
                    k.bandState[2], k.bandSum[0], k.bandSum[1], k.detEnvelope[0], k.detEnvelope[1], k.shaped[0],
                    k.shaped[1], k.tone[0], k.tone[1]})
        s.push_back(bits(v));
    s.push_back(static_cast<uint32_t>(k.noiseState[0]));
    s.push_back(static_cast<uint32_t>(k.noiseState[1]));
    return s;
}

struct Pair {
    leveler shipped;
    literal_leveler literal;

    Pair(int rate, bool guarded)
    {
        shipped.init(rate);
        literal.guarded = guarded;
        literal.init(rate);
    }

    void intensity(float v) { shipped.intensity = literal.intensity = v; }

    // One block over `x`; the shipped kernel works in place when `inPlace`.
    bool block(const std::vector<float>& x, bool inPlace, const std::string& where)
    {
        std::vector<float> a(x), b(x.size());
        std::vector<float> in(x);
        float* ia[1] = {inPlace ? a.data() : in.data()};
        float* oa[1] = {a.data()};
        float* ib[1] = {const_cast<float*>(x.data())};
        float* ob[1] = {b.data()};
        const int count = static_cast<int>(x.size());
        shipped.compute(count, ia, oa);
        literal.compute(count, ib, ob);
        for (size_t i = 0; i < x.size(); ++i)
            if (bits(a[i]) != bits(b[i])) {
                ADD_FAILURE() << where << ", sample " << i << ": shipped " << a[i] << ", literal " << b[i];
                return false;
            }
        if (stateOf(shipped) != stateOf(literal)) {
            ADD_FAILURE() << where << ": state differs";
            return false;
        }
        return true;
    }
};

// Random input material, switching kind every so often: silence, noise,
// sines, ramps, steps, values on and around the quantiser's steps and their
// midpoints, and bursts that lift the detector over the knee.
class Source {
public:
    Source(uint32_t seed, int rate) : rng_(seed), rate_(static_cast<double>(rate)) { pick(); }

    std::vector<float> next(int count)
    {
        std::vector<float> x(static_cast<size_t>(count));
        for (float& v : x) {
            if (--left_ <= 0) pick();
            v = sample();
            ++n_;
        }
        return x;
    }

    bool chance(unsigned percent) { return rng_() % 100 < percent; }
    float uniform(float lo, float hi) { return lo + (hi - lo) * static_cast<float>(rng_() >> 8) * (1.0f / 16777216.0f); }
    uint32_t raw() { return static_cast<uint32_t>(rng_()); }

private:
    float sample()
    {
        const double t = static_cast<double>(n_) / rate_;
        switch (kind_) {
        case 0: return 0.0f;
        case 1: return amp_ * uniform(-1.0f, 1.0f);
        case 2: return amp_ * static_cast<float>(std::sin(2.0 * M_PI * freq_ * t));
        case 3: return amp_ * (2.0f * static_cast<float>(std::fmod(freq_ * t, 1.0)) - 1.0f);
        case 4: return (n_ / 97) % 2 ? amp_ : -0.5f * amp_;
        case 5: {  // on, just beside, and halfway between quantiser steps
            const float step = static_cast<float>(static_cast<int>(raw() % 4001) - 2000) * 0.00048828125f;
            const float mid = step + 0.000244140625f;
            const float around[] = {step, mid, std::nextafter(mid, 1.0f), std::nextafter(mid, -1.0f),
                                    std::nextafter(step, 1.0f), std::nextafter(step, -1.0f), -0.0f};
            return around[raw() % 7] * (amp_ > 0.5f ? 1.0f : 0.001f);
        }
        default: return 1e-5f * uniform(-1.0f, 1.0f);  // below the hiss gate and the first step
        }
    }

    void pick()
    {
        kind_ = static_cast<int>(rng_() % 7);
        amp_ = chance(15) ? 1.0f : uniform(0.0f, 0.9f);
        freq_ = static_cast<double>(uniform(20.0f, 15000.0f));
        left_ = 50 + static_cast<int>(rng_() % 3000);
    }

    std::mt19937 rng_;
    double rate_;
    long n_ = 0;
    int kind_ = 0, left_ = 0;
    float amp_ = 0.0f;
    double freq_ = 0.0;
};

// A random performance: the intensity jumps or glides now and then, block
// sizes vary (Pd's 64 mostly, also single samples and blocks longer than the
// kernel's inner runs), some blocks are processed in place.
void perform(Pair& pair, uint32_t seed, int rate, int blocks, bool wild, const std::string& name)
{
    Source src(seed, rate);
    float value = 0.3f, step = 0.0f;
    int glide = 0;
    for (int b = 0; b < blocks; ++b) {
        if (glide > 0) {
            value = std::min(1.0f, std::max(0.0f, value + step));
            --glide;
            pair.intensity(value);
        } else if (src.chance(3)) {
            value = src.chance(30) ? (src.chance(50) ? 0.0f : 1.0f) : src.uniform(0.0f, 1.0f);
            pair.intensity(value);
        } else if (src.chance(3)) {
            glide = 10 + static_cast<int>(src.raw() % 300);
            step = src.uniform(-1.0f, 1.0f) / static_cast<float>(glide);
        }
        if (wild && src.chance(3)) {
            const float odd[] = {kNaN, kInf, -kInf, -2.0f, 7.0f, 1e30f, -0.0f};
            pair.intensity(odd[src.raw() % 7]);
        }
        const int count = src.chance(75) ? 64 : (src.chance(50) ? 1 + static_cast<int>(src.raw() % 64)
                                                                : 65 + static_cast<int>(src.raw() % 600));
        std::vector<float> x = src.next(count);
        if (wild && src.chance(2)) {
            const float poison[] = {kNaN, kInf, -kInf, 1e6f, -1e6f};
            x[src.raw() % x.size()] = poison[src.raw() % 5];
        }
        const std::string where = name + " seed " + std::to_string(seed) + " block " + std::to_string(b);
        if (!pair.block(x, src.chance(30), where)) return;
    }
}

}  // namespace

TEST(LevelerDifferential, InRangePerformancesMatchThePlainForm)
{
    for (int rate : {44100, 48000, 96000, 50231}) {
        for (uint32_t seed = 1; seed <= 2; ++seed) {
            Pair pair(rate, false);
            perform(pair, seed * 104729u + static_cast<uint32_t>(rate), rate, 900, false,
                    "rate " + std::to_string(rate));
        }
    }
}

TEST(LevelerDifferential, SettledIntensityOverLongPassagesMatches)
{
    // The intensity held for seconds: the remembered cotangent and make-up
    // carry over from block to block.
    for (float intensity : {0.0f, 0.3f, 1.0f}) {
        Pair pair(44100, false);
        pair.intensity(intensity);
        Source src(99u, 44100);
        for (int b = 0; b < 2500; ++b)
            ASSERT_TRUE(pair.block(src.next(64), false, "intensity " + std::to_string(intensity)));
    }
}

TEST(LevelerDifferential, WildIntensityLowRatesAndPoisonMatchTheGuardedForm)
{
    for (int rate : {44100, 1, 100, 8000, 22050, 36000, 40000, 250000}) {
        Pair pair(rate, true);
        perform(pair, 777u + static_cast<uint32_t>(rate), rate, 400, true, "guarded rate " + std::to_string(rate));
    }
}

TEST(LevelerDifferential, RateChangesClearsAndClonesKeepMatching)
{
    Pair pair(44100, false);
    Source src(5u, 44100);
    for (int b = 0; b < 300; ++b) ASSERT_TRUE(pair.block(src.next(64), false, "44100"));
    for (int rate : {96000, 48000}) {
        pair.shipped.instanceConstants(rate);
        pair.literal.instanceConstants(rate);
        for (int b = 0; b < 300; ++b) ASSERT_TRUE(pair.block(src.next(64), false, "at " + std::to_string(rate)));
    }
    pair.shipped.instanceClear();
    pair.literal.instanceClear();
    for (int b = 0; b < 100; ++b) ASSERT_TRUE(pair.block(src.next(64), false, "after clear"));

    // A clone carries on exactly where the original stands.
    dsp* copy = pair.shipped.clone();
    std::vector<float> x = src.next(64), y(64);
    float* ins[1] = {x.data()};
    float* outs[1] = {y.data()};
    copy->compute(64, ins, outs);
    ASSERT_TRUE(pair.block(x, false, "beside the clone"));
    leveler* twin = static_cast<leveler*>(copy);
    EXPECT_EQ(stateOf(*twin), stateOf(pair.shipped));
    delete copy;
}

// floorExact against the library's floor, for every float of magnitude from
// 1/4 up to 2^24 (past the integer conversion's limit of 2^23 into the
// library path) and both signs, on two threads. Below 1/4 the conversion
// gives 0 and only the sign decides (-1 for negatives, a signed zero
// otherwise), checked on every 257th pattern and at the ends; beyond 2^24
// the library call itself runs, checked on every 4099th pattern.
TEST(LevelerExactFloor, EqualsTheLibraryFloorForEveryFloat)
{
    using quill::leveler_stages::floorExact;
    const uint32_t low = bits(0.25f), high = bits(16777216.0f);
    auto sweep = [low, high](uint32_t sign, int64_t* bad) {  // bad: the first failing pattern, or -1
        for (uint32_t b = low; b <= high; ++b) {
            const float v = fromBits(sign | b);
            if (bits(floorExact(v)) != bits(std::floor(v))) {
                *bad = static_cast<int64_t>(sign | b);
                return;
            }
        }
    };
    int64_t badPositive = -1, badNegative = -1;
    std::thread negative(sweep, 0x80000000u, &badNegative);
    sweep(0u, &badPositive);
    negative.join();
    EXPECT_EQ(badPositive, -1) << fromBits(static_cast<uint32_t>(badPositive));
    EXPECT_EQ(badNegative, -1) << fromBits(static_cast<uint32_t>(badNegative));

    for (uint32_t sign : {0u, 0x80000000u}) {
        for (uint32_t b = 0; b < low; b += 257) {
            const float v = fromBits(sign | b);
            ASSERT_EQ(bits(floorExact(v)), bits(std::floor(v))) << v;
        }
        for (uint64_t b = high; b <= 0x7FFFFFFFu; b += 4099) {
            const float v = fromBits(sign | static_cast<uint32_t>(b));
            ASSERT_EQ(bits(floorExact(v)), bits(std::floor(v))) << v;
        }
    }
    for (float v : {kInf, -kInf, kNaN, 0.0f, -0.0f, std::nextafter(0.25f, 0.0f), -std::nextafter(0.25f, 0.0f),
                    std::numeric_limits<float>::denorm_min(), -std::numeric_limits<float>::denorm_min()})
        EXPECT_EQ(bits(floorExact(v)), bits(std::floor(v))) << v;
}

TEST(LevelerDifferential, LongGlidesWithJumpsAtRandomBlocksMatch)
{
    // The intensity jumps to a random value at random blocks, so its smoother
    // glides nearly all the time; blocks of 1 to 4096 samples (log-uniform).
    // The guarded form: at 22050 Hz the cutoff angles are capped.
    for (int rate : {22050, 44100, 96000, 192000}) {
        Source src(static_cast<uint32_t>(rate) * 31u, rate);
        Pair pair(rate, true);
        for (int b = 0; b < 200; ++b) {
            if (src.chance(30)) pair.intensity(src.uniform(0.0f, 1.0f));
            const int count = static_cast<int>(std::exp2(src.uniform(0.0f, 12.0f)));
            if (!pair.block(src.next(count), src.chance(30), "rate " + std::to_string(rate) + " block " + std::to_string(b)))
                return;
        }
    }
}
