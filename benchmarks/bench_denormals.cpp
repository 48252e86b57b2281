// What a filter tail dying into silence costs per sample, against steady
// processing of noise: run as the plug-in runs a kernel, 64-sample blocks
// each under its own flush-to-zero scope, and once more without it to show
// what the scope saves. Built against the earlier kernel interface it
// measures mellow (cutoff 20 Hz, Q 0.5: its state falls below the smallest
// normal float after about 0.7 s of silence); against the later one, the
// leveler (intensity 0.3: its envelopes take about 9 s).
//
//   steady        noise in, the state settled
//   tail          silence in, from the moment the input stops, through the
//                 whole decay into silence
//   deep_tail     silence in, from the moment the state reaches 1e-36, where
//                 subnormal values start without flush-to-zero
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <vector>

#include "adapter/flush_to_zero.h"

#if QUILL_LEVELER_REVISION
#include "kernels/leveler/leveler.h"
using Kernel = leveler;
#define KERNEL_NAME "leveler"
namespace {
void configure(Kernel& k) { k.intensity = 0.3f; }
const float kTailSeconds = 10.0f;
// Largest magnitude in the state that the input feeds (the hiss itself runs on).
float stateSize(const Kernel& k)
{
    float m = 0.0f;
    for (float s : {k.inputEnvelope[0], k.detEnvelope[0], k.bandState[0], k.bandState[1], k.bandState[2],
                    k.tone[0], k.shaped[0]})
        m = std::max(m, std::fabs(s));
    return m;
}
}  // namespace
#else
#include "kernels/mellow/mellow.h"
using Kernel = mellow;
#define KERNEL_NAME "mellow"
namespace {
void configure(Kernel& k)
{
    k.cutoff = 20.0f;
    k.resonanceQ = 0.5f;
}
const float kTailSeconds = 1.0f;
float stateSize(const Kernel& k)
{
    return std::max({std::fabs(k.lowpassState[0]), std::fabs(k.lowpassState[1]), std::fabs(k.lowpassState[2])});
}
}  // namespace
#endif

namespace {

const int kRate = 44100;
const int kBlock = 64;

std::vector<float> noise(std::size_t n)
{
    std::vector<float> v(n);
    uint32_t seed = 99u;
    for (float& x : v) {
        seed = seed * 1664525u + 1013904223u;
        x = float(int32_t(seed)) * 4.656613e-10f * 0.7f;
    }
    return v;
}

// One block as the plug-in computes it; `input` null means silence.
void block(Kernel& k, const float* input, bool flush)
{
    static float zeros[kBlock] = {};
    static float out0[kBlock], out1[kBlock];
    float* ins[1] = {const_cast<float*>(input != nullptr ? input : zeros)};
    float* outs[2] = {out0, out1};
    std::optional<quill::FlushToZeroScope> ftz;
    if (flush) ftz.emplace();
    k.compute(kBlock, ins, outs);
    benchmark::DoNotOptimize(out0[kBlock - 1]);
}

const std::vector<float>& loud()
{
    static const std::vector<float> v = noise(kBlock * 256);
    return v;
}

long tailBlocks() { return long(kTailSeconds * float(kRate)) / kBlock; }

// The kernel after two seconds of noise.
const Kernel& settled()
{
    static const Kernel k = [] {
        Kernel s;
        s.init(kRate);
        configure(s);
        const long blocks = 2 * kRate / kBlock;
        for (long b = 0; b < blocks; ++b) block(s, loud().data() + (b % 256) * kBlock, true);
        return s;
    }();
    return k;
}

// The kernel at the first block boundary where its state has decayed to
// 1e-36, computed without flush-to-zero so that the state is the true one.
const Kernel& nearlySubnormal()
{
    static const Kernel k = [] {
        Kernel s = settled();
        for (long b = 0; b < 100 * tailBlocks() && stateSize(s) > 1e-36f; ++b) block(s, nullptr, false);
        return s;
    }();
    return k;
}

void steady(benchmark::State& state)
{
    Kernel k = settled();
    const long blocks = tailBlocks();
    for (auto _ : state)
        for (long b = 0; b < blocks; ++b) block(k, loud().data() + (b % 256) * kBlock, true);
    state.SetItemsProcessed(int64_t(state.iterations()) * blocks * kBlock);
}

template <bool Flush>
void tail(benchmark::State& state)
{
    const long blocks = tailBlocks();
    settled();
    for (auto _ : state) {
        Kernel k = settled();
        for (long b = 0; b < blocks; ++b) block(k, nullptr, Flush);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * blocks * kBlock);
}

template <bool Flush>
void deepTail(benchmark::State& state)
{
    const long blocks = tailBlocks() / 4;
    nearlySubnormal();  // found before the clock starts
    for (auto _ : state) {
        Kernel k = nearlySubnormal();
        for (long b = 0; b < blocks; ++b) block(k, nullptr, Flush);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * blocks * kBlock);
}

}  // namespace

BENCHMARK(steady)->Name("denormals/" KERNEL_NAME "/steady")->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(tail, true)->Name("denormals/" KERNEL_NAME "/tail")->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(deepTail, true)->Name("denormals/" KERNEL_NAME "/deep_tail")->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(tail, false)->Name("denormals/" KERNEL_NAME "/tail_no_flush")->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(deepTail, false)
    ->Name("denormals/" KERNEL_NAME "/deep_tail_no_flush")
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
