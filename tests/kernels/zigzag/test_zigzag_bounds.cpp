// The output stays within ±2 whatever the frequency signal does (steps,
// glides, FM through zero and past half the rate, any rate), and the pitch
// stays right at rates far above 192 kHz.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>
#include <vector>

#include "tests/kernels/zigzag/zigzag_run.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

// Peak |output| of a fresh kernel at `rate` fed f(n) for n < count.
float peak(int rate, long count, const std::function<double(double)>& f)
{
    std::vector<float> in(static_cast<size_t>(count));
    for (long n = 0; n < count; ++n) in[static_cast<size_t>(n)] = static_cast<float>(f(static_cast<double>(n)));
    zigzag k;
    k.init(rate);
    float m = 0.0f;
    for (float y : runZigzag(k, in).out0) m = std::max(m, std::fabs(y));
    return m;
}

}  // namespace

TEST(ZigzagBounds, EveryScenarioStaysWithinTwo)
{
    const int r = 44100;
    const double fs = r;
    struct Scenario {
        const char* name;
        int rate;
        std::function<double(double)> f;
    };
    const Scenario scenarios[] = {
        {"0 Hz for 200 ms, then 440", r, [&](double n) { return n < r / 5 ? 0.0 : 440.0; }},
        {"0 Hz for 200 ms, then a 50 ms line to 220", r,
         [&](double n) { const double t = n / fs - 0.2; return t < 0 ? 0.0 : 220.0 * std::min(t / 0.05, 1.0); }},
        {"55 to 1760 Hz", r, [&](double n) { return n < r / 2 ? 55.0 : 1760.0; }},
        {"sweep 0 to 60 kHz", r, [&](double n) { return 60000.0 * n / fs; }},
        {"FM 2000 ± 25000 Hz", r, [&](double n) { return 2000.0 + 25000.0 * std::sin(2.0 * kPi * 3.0 * n / fs); }},
        {"FM 2000 ± 5000 Hz", r, [&](double n) { return 2000.0 + 5000.0 * std::sin(2.0 * kPi * 3.0 * n / fs); }},
        {"30000 Hz", r, [](double) { return 30000.0; }},
        {"44100 Hz", r, [](double) { return 44100.0; }},
        {"88200 Hz", r, [](double) { return 88200.0; }},
        {"-30000 Hz", r, [](double) { return -30000.0; }},
        {"-440 Hz", r, [](double) { return -440.0; }},
        {"1e9 Hz", r, [](double) { return 1e9; }},
        {"1000 Hz at rate 1", 1, [](double) { return 1000.0; }},
    };
    for (const Scenario& s : scenarios) EXPECT_LE(peak(s.rate, r, s.f), 2.0f) << s.name;
}

TEST(ZigzagBounds, RandomFrequencySignalsStayWithinTwo)
{
    // Held values, jumps and glides anywhere in ±1e6 Hz, now and then 0.
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> value(-1.0, 1.0);
    std::uniform_int_distribution<int> length(1, 3000), kind(0, 3);
    for (int rate : {1, 100, 8000, 44100, 192000}) {
        for (int trial = 0; trial < 8; ++trial) {
            std::vector<double> f;
            double from = 0.0;
            while (f.size() < 60000) {
                const double scale = std::pow(10.0, 6.0 * std::fabs(value(rng)));
                const double to = kind(rng) == 0 ? 0.0 : scale * value(rng);
                const int n = length(rng);
                const bool glide = kind(rng) < 2;
                for (int i = 0; i < n; ++i) f.push_back(glide ? from + (to - from) * i / n : to);
                from = to;
            }
            EXPECT_LE(peak(rate, static_cast<long>(f.size()), [&](double n) { return f[static_cast<size_t>(n)]; }), 2.0f)
                << rate << " " << trial;
        }
    }
}

TEST(ZigzagBounds, PitchIsRightFarAbove192kHz)
{
    // Count rising zero crossings over one second after the start-up offset.
    for (int rate : {192000, 384000, 768000, 1536000}) {
        zigzag k;
        k.init(rate);
        ZigzagRun out = runZigzag(k, std::vector<float>(static_cast<size_t>(rate) * 2, 440.0f));
        int rises = 0;
        for (size_t n = static_cast<size_t>(rate) + 1; n < out.out0.size(); ++n)
            if (out.out0[n - 1] < 0.0f && out.out0[n] >= 0.0f) ++rises;
        EXPECT_NEAR(rises, 440, 1) << rate;
    }
}
