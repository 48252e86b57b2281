// zigzag~'s kernel against its literal form: a steady frequency and a
// gliding one, one instance and a bank of 64.
#include <cmath>

#include "benchmarks/kernel_bench.h"
#include "kernels/zigzag/zigzag.h"
#include "tests/literal/literal_zigzag.h"

namespace {

// 440 Hz throughout.
const std::vector<float>& steadyInput()
{
    static const std::vector<float> in(64 * 256, 440.0f);
    return in;
}

// An exponential glide from 50 Hz to 5 kHz and back, over 16384 samples.
const std::vector<float>& glidingInput()
{
    static const std::vector<float> in = [] {
        std::vector<float> v(64 * 256);
        const std::size_t half = v.size() / 2;
        for (std::size_t i = 0; i < v.size(); ++i) {
            const float t = static_cast<float>(i < half ? i : v.size() - i) / static_cast<float>(half);
            v[i] = 50.0f * std::exp2(t * 6.643856f);
        }
        return v;
    }();
    return in;
}

template <class K>
void steady(benchmark::State& state)
{
    quill_bench::runBank<K>(
        state, steadyInput(),
        [](K& k) {
            k.init(44100);
            quill_bench::warmUp(k, steadyInput(), 44100);
        },
        [](K&, long) {});
}

template <class K>
void gliding(benchmark::State& state)
{
    quill_bench::runBank<K>(
        state, glidingInput(), [](K& k) { k.init(44100); }, [](K&, long) {});
}

}  // namespace

BENCHMARK_TEMPLATE(steady, literal_zigzag)->Name("zigzag/literal/settled")->Arg(1)->Arg(64);
BENCHMARK_TEMPLATE(steady, zigzag)->Name("zigzag/shipped/settled")->Arg(1)->Arg(64);
BENCHMARK_TEMPLATE(gliding, literal_zigzag)->Name("zigzag/literal/gliding")->Arg(1)->Arg(64);
BENCHMARK_TEMPLATE(gliding, zigzag)->Name("zigzag/shipped/gliding")->Arg(1)->Arg(64);

BENCHMARK_MAIN();
