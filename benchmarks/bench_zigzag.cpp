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

// Channel c's frequency: 220 + 55·c Hz, held or with a vibrato of a
// semitone's tenth at about 10.8 Hz (4096 samples a cycle, every sample
// another frequency).
constexpr int kVibratoLength = 4096;
std::vector<float> channelInput(int c, bool vibrato)
{
    const float base = 220.0f + 55.0f * static_cast<float>(c);
    std::vector<float> v(vibrato ? kVibratoLength : quill_bench::kBlock, base);
    if (vibrato)
        for (int i = 0; i < kVibratoLength; ++i)
            v[size_t(i)] = base * (1.0f + 0.006f * std::sin(6.2831853f * static_cast<float>(i) / kVibratoLength));
    return v;
}

// One multichannel zigzag~ of state.range(0) voices at channelInput, as the
// Pd benchmark plays them, 64 samples at a time; with one voice, the
// single-channel kernel, as the adapter runs it. Items are blocks, so the
// time per item compares directly with one voice.
void voices(benchmark::State& state, bool vibrato)
{
    const int channels = static_cast<int>(state.range(0));
    quill::FlushToZeroScope flushToZero;
    zigzag k;
    k.init(44100);
    std::vector<float> bank(zigzag_voices::bankFloats(channels));
    std::vector<std::vector<float>> in(channels), out0(channels), out1(channels);
    for (int c = 0; c < channels; ++c) {
        in[c] = channelInput(c, vibrato);
        out0[c].resize(quill_bench::kBlock);
        out1[c].resize(quill_bench::kBlock);
    }
    const size_t blocks = in[0].size() / quill_bench::kBlock;
    size_t block = 0;
    std::vector<float*> ins(channels), outs0(channels), outs1(channels);
    for (auto _ : state) {
        for (int c = 0; c < channels; ++c) {
            ins[c] = in[c].data() + block * quill_bench::kBlock;
            outs0[c] = out0[c].data();
            outs1[c] = out1[c].data();
        }
        if (channels == 1) {
            float* pair[2] = {outs0[0], outs1[0]};
            k.compute(quill_bench::kBlock, ins.data(), pair);
        } else {
            zigzag_voices::compute(k, bank.data(), channels, quill_bench::kBlock, ins.data(), outs0.data(), outs1.data());
        }
        benchmark::ClobberMemory();
        block = block + 1 == blocks ? 0 : block + 1;
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}

}  // namespace

BENCHMARK_CAPTURE(voices, held, false)->Name("zigzag/voices/held_block")->Arg(1)->Arg(2)->Arg(4)->Arg(8)->Arg(16);
BENCHMARK_CAPTURE(voices, vibrato, true)->Name("zigzag/voices/vibrato_block")->Arg(1)->Arg(2)->Arg(4)->Arg(8)->Arg(16);
BENCHMARK_TEMPLATE(steady, literal_zigzag)->Name("zigzag/literal/settled")->Arg(1)->Arg(64);
BENCHMARK_TEMPLATE(steady, zigzag)->Name("zigzag/shipped/settled")->Arg(1)->Arg(64);
BENCHMARK_TEMPLATE(gliding, literal_zigzag)->Name("zigzag/literal/gliding")->Arg(1)->Arg(64);
BENCHMARK_TEMPLATE(gliding, zigzag)->Name("zigzag/shipped/gliding")->Arg(1)->Arg(64);

BENCHMARK_MAIN();
