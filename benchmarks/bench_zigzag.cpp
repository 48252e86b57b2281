// zigzag~'s kernel against its literal form: a steady frequency and a
// gliding one, one instance and a bank of 64.
#include <cmath>

#include "benchmarks/kernel_bench.h"
#include "kernels/zigzag/zigzag.h"
#include "kernels/zigzag/zigzag_voices.h"
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

// One multichannel zigzag~ of state.range(0) voices held at 220 + 55·c Hz,
// as the Pd benchmark plays them, 64 samples at a time. Items are blocks, so
// the time per item compares directly with one voice.
void voices(benchmark::State& state)
{
    const int channels = static_cast<int>(state.range(0));
    quill::FlushToZeroScope flushToZero;
    zigzag k;
    k.init(44100);
    std::vector<float> bank(zigzag_voices::bankFloats(channels));
    std::vector<std::vector<float>> in(channels), out0(channels), out1(channels);
    std::vector<const float*> ins;
    std::vector<float*> outs0, outs1;
    for (int c = 0; c < channels; ++c) {
        in[c].assign(quill_bench::kBlock, 220.0f + 55.0f * static_cast<float>(c));
        out0[c].resize(quill_bench::kBlock);
        out1[c].resize(quill_bench::kBlock);
        ins.push_back(in[c].data());
        outs0.push_back(out0[c].data());
        outs1.push_back(out1[c].data());
    }
    for (auto _ : state) {
        zigzag_voices::compute(k, bank.data(), channels, quill_bench::kBlock, ins.data(), outs0.data(), outs1.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}

}  // namespace

BENCHMARK(voices)->Name("zigzag/voices/held_block")->Arg(1)->Arg(2)->Arg(4)->Arg(8)->Arg(16);
BENCHMARK_TEMPLATE(steady, literal_zigzag)->Name("zigzag/literal/settled")->Arg(1)->Arg(64);
BENCHMARK_TEMPLATE(steady, zigzag)->Name("zigzag/shipped/settled")->Arg(1)->Arg(64);
BENCHMARK_TEMPLATE(gliding, literal_zigzag)->Name("zigzag/literal/gliding")->Arg(1)->Arg(64);
BENCHMARK_TEMPLATE(gliding, zigzag)->Name("zigzag/shipped/gliding")->Arg(1)->Arg(64);

BENCHMARK_MAIN();
