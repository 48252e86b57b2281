// mellow~'s kernel against its literal form: settled controls and gliding
// ones, one instance and a bank of 64.
#include "benchmarks/kernel_bench.h"
#include "kernels/mellow/mellow.h"
#include "tests/literal/literal_mellow.h"

namespace {

using quill_bench::noise;

const std::vector<float>& input()
{
    static const std::vector<float> in = noise(64 * 256, 7);
    return in;
}

// Cutoff 1000 Hz, Q 2, and four seconds for the smoothers to settle.
template <class K>
void settled(benchmark::State& state)
{
    quill_bench::runBank<K>(
        state, input(),
        [](K& k) {
            k.init(44100);
            k.cutoff = 1000.0f;
            k.resonanceQ = 2.0f;
            quill_bench::warmUp(k, input(), 4 * 44100);
        },
        [](K&, long) {});
}

// Cutoff and Q jump between two values every 16 and 23 blocks: the smoothers
// never come to rest.
template <class K>
void gliding(benchmark::State& state)
{
    quill_bench::runBank<K>(
        state, input(), [](K& k) { k.init(44100); },
        [](K& k, long round) {
            k.cutoff = (round / 16) % 2 ? 300.0f : 6000.0f;
            k.resonanceQ = (round / 23) % 2 ? 0.7f : 5.0f;
        });
}

}  // namespace

BENCHMARK_TEMPLATE(settled, literal_mellow)->Name("mellow/literal/settled")->Arg(1)->Arg(64);
BENCHMARK_TEMPLATE(settled, mellow)->Name("mellow/shipped/settled")->Arg(1)->Arg(64);
BENCHMARK_TEMPLATE(gliding, literal_mellow)->Name("mellow/literal/gliding")->Arg(1)->Arg(64);
BENCHMARK_TEMPLATE(gliding, mellow)->Name("mellow/shipped/gliding")->Arg(1)->Arg(64);

BENCHMARK_MAIN();
