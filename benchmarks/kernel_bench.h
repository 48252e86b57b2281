// Shared driver for the kernel benchmarks: a bank of kernels run as Pd runs
// them, one 64-sample block per instance in turn, with flush-to-zero on as in
// the adapter. Reports samples as items, so items_per_second gives the cost
// per sample of one instance.
#pragma once

#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "adapter/flush_to_zero.h"

namespace quill_bench {

constexpr int kBlock = 64;

// A deterministic white noise in [-1, 1).
inline std::vector<float> noise(std::size_t n, uint32_t seed = 1)
{
    std::vector<float> v(n);
    for (float& x : v) {
        seed = seed * 1664525u + 1013904223u;
        x = static_cast<float>(seed >> 8) * (2.0f / 16777216.0f) - 1.0f;
    }
    return v;
}

// Runs state.range(0) instances of K. `prepare(k)` initialises and warms up
// one instance; `control(k, round)` may change its controls before each block.
// `input` is cycled through block by block; its length is a multiple of 64.
template <class K, class Prepare, class Control>
void runBank(benchmark::State& state, const std::vector<float>& input, Prepare prepare, Control control)
{
    const std::size_t instances = static_cast<std::size_t>(state.range(0));
    quill::FlushToZeroScope flushToZero;
    std::vector<K> kernels(instances);
    for (K& k : kernels) prepare(k);
    std::vector<float> in(input);
    std::vector<float> out(2 * kBlock * instances);
    const std::size_t blocks = in.size() / kBlock;
    std::size_t block = 0;
    long round = 0;
    for (auto _ : state) {
        float* ins[1] = {in.data() + block * kBlock};
        for (std::size_t n = 0; n < instances; ++n) {
            control(kernels[n], round);
            float* outs[2] = {out.data() + 2 * n * kBlock, out.data() + (2 * n + 1) * kBlock};
            kernels[n].compute(kBlock, ins, outs);
        }
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
        block = block + 1 == blocks ? 0 : block + 1;
        ++round;
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kBlock * static_cast<int64_t>(instances));
}

// Feeds `samples` of `input` (cycled) through k in 64-sample blocks.
template <class K>
void warmUp(K& k, const std::vector<float>& input, std::size_t samples)
{
    std::vector<float> in(input), o0(kBlock), o1(kBlock);
    float* outs[2] = {o0.data(), o1.data()};
    for (std::size_t done = 0, at = 0; done < samples; done += kBlock) {
        float* ins[1] = {in.data() + at};
        k.compute(kBlock, ins, outs);
        at = at + 2 * kBlock > in.size() ? 0 : at + kBlock;
    }
}

}  // namespace quill_bench
