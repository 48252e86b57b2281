// Randomised test signals for the differential tests: a seeded generator and
// stretches of silence, noise, sines, ramps and steps, produced block by
// block so that a kernel and its literal form see exactly the same samples.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

namespace differential {

// Scenarios per rate: fewer in unoptimised builds (such as the sanitizer build).
#if defined(__OPTIMIZE__) && !defined(__SANITIZE_ADDRESS__)
constexpr unsigned kSeeds = 6;
#else
constexpr unsigned kSeeds = 2;
#endif

// Same bits (NaNs of different payloads would differ; the tests use none).
inline bool sameBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

inline bool sameBits(const std::vector<float>& a, const std::vector<float>& b)
{
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

enum class Shape { Silence, Noise, Sine, Ramp, Step };

// A signal that changes its shape at random blocks. `low` and `high` bound
// its values; sines and ramps move within them, steps jump between them.
class RandomSignal {
public:
    RandomSignal(std::mt19937& rng, float low, float high, float rate) : rng_(rng), low_(low), high_(high), rate_(rate)
    {
        pickShape();
    }

    // The next `n` samples; with probability `changeChance` the shape changes first.
    std::vector<float> next(int n, double changeChance)
    {
        if (uniform(0.0, 1.0) < changeChance) pickShape();
        std::vector<float> v(static_cast<std::size_t>(n));
        for (float& x : v) x = sample();
        return v;
    }

    Shape shape() const { return shape_; }

private:
    std::mt19937& rng_;
    float low_, high_, rate_;
    Shape shape_ = Shape::Silence;
    double phase_ = 0.0, frequency_ = 0.0, value_ = 0.0, slope_ = 0.0, level_ = 0.0;

    double uniform(double a, double b) { return std::uniform_real_distribution<double>(a, b)(rng_); }

    void pickShape()
    {
        shape_ = static_cast<Shape>(std::uniform_int_distribution<int>(0, 4)(rng_));
        frequency_ = std::exp(uniform(std::log(0.5), std::log(0.45 * rate_)));
        value_ = uniform(low_, high_);
        slope_ = (uniform(low_, high_) - value_) / uniform(10.0, 20000.0);
        level_ = uniform(low_, high_);
    }

    float sample()
    {
        switch (shape_) {
        case Shape::Silence:
            return 0.0f;
        case Shape::Noise:
            return static_cast<float>(uniform(low_, high_));
        case Shape::Sine: {
            phase_ += frequency_ / rate_;
            const double mid = 0.5 * (low_ + high_), half = 0.5 * (high_ - low_);
            return static_cast<float>(mid + half * std::sin(6.283185307179586 * phase_));
        }
        case Shape::Ramp:
            value_ += slope_;
            if (value_ > high_ || value_ < low_) slope_ = -slope_;
            return static_cast<float>(value_);
        case Shape::Step:
            if (uniform(0.0, 1.0) < 0.01) level_ = uniform(low_, high_);
            return static_cast<float>(level_);
        }
        return 0.0f;
    }
};

}  // namespace differential
