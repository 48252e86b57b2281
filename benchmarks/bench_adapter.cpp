// The adapter's own cost per block, around a kernel that does nothing,
// against the host double of Pd: switched on, switched off (bypassed), and
// the plain copy of one block into every outlet for comparison. Built once
// per adapter revision (BENCH_PREFIX names it).
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "adapter/quill_object.h"
#include "tests/adapter/support/pd_host_double.h"

extern "C" void QUILL_SETUP_ENTRY(void);

namespace {

// Runs blocks the way Pd's DSP chain does: through the routine's address.
void runBlocks(benchmark::State& state, t_perfroutine routine, t_int* w)
{
    benchmark::DoNotOptimize(routine);
    for (auto _ : state) {
        routine(w);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

// One object with DSP started at 44100 Hz and `n`-sample blocks.
struct Object {
    t_quill* x = nullptr;
    std::vector<t_int> w;

    // With `inPlace` the first outlet's vector is the input's, as Pd hands
    // it out when nothing else reads that signal.
    explicit Object(int n, bool inPlace = false)
    {
        host::reset();
        QUILL_SETUP_ENTRY();
        x = static_cast<t_quill*>(quill_new(gensym(QUILL_CLASS_NAME), 0, nullptr));
        std::vector<t_signal*> sp;
        const int inlets = IDLE_INPUTS + (QUILL_LEVELER_REVISION ? 0 : 1);
        for (int i = 0; i < inlets; ++i) sp.push_back(host::makeSignal(n, 44100.0f));
        for (int i = 0; i < IDLE_OUTPUTS; ++i)
            sp.push_back(inPlace && i == 0 ? sp[static_cast<std::size_t>(inlets - 1)] : host::makeSignal(n, 44100.0f));
        sp.push_back(nullptr);
        quill_dsp(x, sp.data());
        w = {0, reinterpret_cast<t_int>(x), static_cast<t_int>(n)};
    }
    ~Object() { host::deleteObject(x); }

    void perform() { quill_perform(w.data()); }

    void performBlocks(benchmark::State& state) { runBlocks(state, quill_perform, w.data()); }

    void switchOff()
    {
        t_atom zero = host::floatAtom(0.0f);
        quill_any(x, gensym("active"), 1, &zero);
        while (x->fade > 0) perform();
    }
};

void on(benchmark::State& state)
{
    Object o(static_cast<int>(state.range(0)));
    o.performBlocks(state);
}

void bypassed(benchmark::State& state)
{
    Object o(static_cast<int>(state.range(0)));
    o.switchOff();
    o.performBlocks(state);
}

void bypassedInPlace(benchmark::State& state)
{
    Object o(static_cast<int>(state.range(0)), true);
    o.switchOff();
    o.performBlocks(state);
}

// What a bypass must at most cost: one block copied into every outlet, the
// way Pd copies a block, by a perform routine called through the DSP chain
// (as Pd's own copy_perform is).
t_int* copyPerform(t_int* w)
{
    const auto* in = reinterpret_cast<const float*>(w[1]);
    auto** out = reinterpret_cast<float**>(w[2]);
    const auto n = static_cast<std::size_t>(w[3]);
    for (int o = 0; o < IDLE_OUTPUTS; ++o) std::memcpy(out[o], in, n * sizeof(float));
    return w + 4;
}

void copyBlock(benchmark::State& state)
{
    const std::size_t n = static_cast<std::size_t>(state.range(0));
    std::vector<float> in(n, 0.25f);
    std::vector<std::vector<float>> out(IDLE_OUTPUTS, std::vector<float>(n));
    std::vector<float*> outPtr;
    for (auto& o : out) outPtr.push_back(o.data());
    std::vector<t_int> w = {0, reinterpret_cast<t_int>(in.data()), reinterpret_cast<t_int>(outPtr.data()),
                            static_cast<t_int>(n)};
    runBlocks(state, copyPerform, w.data());
}

}  // namespace

BENCHMARK(on)->Name(BENCH_PREFIX "/do_nothing")->Arg(64)->Arg(8);
BENCHMARK(bypassed)->Name(BENCH_PREFIX "/bypassed")->Arg(64)->Arg(8);
BENCHMARK(bypassedInPlace)->Name(BENCH_PREFIX "/bypassed_in_place")->Arg(64)->Arg(8);
BENCHMARK(copyBlock)->Name(BENCH_PREFIX "/copy_block")->Arg(64)->Arg(8);

BENCHMARK_MAIN();
