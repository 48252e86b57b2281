// klaxon~'s kernel against its literal form, one instance and a bank of 32:
// a held note (controls settled, envelope at full level) for each LFO shape,
// and motion (sliders gliding and jumping, notes starting and ending).
#include <vector>

#include "benchmarks/kernel_bench.h"
#include "kernels/klaxon/klaxon.h"
#include "tests/literal/literal_klaxon.h"

namespace {

// The kernel has no input; the driver still hands it one.
const std::vector<float>& silence()
{
    static const std::vector<float> in(quill_bench::kBlock, 0.0f);
    return in;
}

// Button `shape` of K: 0 triangle, 1 square, 2 rising saw, 3 falling saw, 4 random.
template <class K>
float& button(K& k, long shape)
{
    float* buttons[] = {&k.triggerTriangle, &k.triggerSquare, &k.triggerSaw, &k.triggerRevSaw, &k.triggerRandom};
    return *buttons[shape];
}

// Default sliders, one button held for two seconds before timing starts.
template <class K, int Shape>
void held(benchmark::State& state)
{
    quill_bench::runBank<K>(
        state, silence(),
        [](K& k) {
            k.init(44100);
            button(k, Shape) = 1.0f;
            quill_bench::warmUp(k, silence(), 2 * 44100);
        },
        [](K&, long) {});
}

// A held triangle note while one control moves as a performer moves it: a
// new random value in its range every 100 ms (69 blocks at 44100 Hz), so its
// smoother always glides. `Control` 0: Controls/speed (0.1 to 20 Hz),
// 1: Controls/sweep (0 to 1).
template <class K, int Control>
void heldMoving(benchmark::State& state)
{
    quill_bench::runBank<K>(
        state, silence(),
        [](K& k) {
            k.init(44100);
            button(k, 0) = 1.0f;
            quill_bench::warmUp(k, silence(), 2 * 44100);
        },
        [](K& k, long round) {
            if (round % 69 != 0) return;
            const float u = static_cast<float>((static_cast<uint32_t>(round / 69) * 2654435761u) >> 8) / 16777216.0f;
            if (Control == 0) k.speed = 0.1f + 19.9f * u;
            else k.sweep = u;
        });
}

// Every slider glides over about five seconds and some jump now and then; a
// note of the next shape starts every 40 blocks and is released after 25.
template <class K>
void motion(benchmark::State& state)
{
    quill_bench::runBank<K>(
        state, silence(), [](K& k) { k.init(44100); },
        [](K& k, long round) {
            const float t = static_cast<float>(round % 3445) / 3445.0f;
            k.decay = 0.05f + 2.0f * t;
            k.depth = (round / 300) % 2 ? 1.0f - t : t;
            k.speed = 0.1f + 19.9f * t;
            k.sweep = (round / 150) % 3 == 0 ? 1.0f : t;
            k.pitch = (round / 500) % 2 ? 2000.0f - 1900.0f * t : 110.0f + 500.0f * t;
            const long phase = round % 40;
            if (phase == 0) button(k, (round / 40) % 5) = 1.0f;
            if (phase == 25) button(k, (round / 40) % 5) = 0.0f;
        });
}

}  // namespace

BENCHMARK_TEMPLATE(held, literal_klaxon, 0)->Name("klaxon/literal/held_triangle")->Arg(1)->Arg(32);
BENCHMARK_TEMPLATE(held, klaxon, 0)->Name("klaxon/shipped/held_triangle")->Arg(1)->Arg(32);
BENCHMARK_TEMPLATE(held, literal_klaxon, 1)->Name("klaxon/literal/held_square")->Arg(1)->Arg(32);
BENCHMARK_TEMPLATE(held, klaxon, 1)->Name("klaxon/shipped/held_square")->Arg(1)->Arg(32);
BENCHMARK_TEMPLATE(held, literal_klaxon, 2)->Name("klaxon/literal/held_saw")->Arg(1)->Arg(32);
BENCHMARK_TEMPLATE(held, klaxon, 2)->Name("klaxon/shipped/held_saw")->Arg(1)->Arg(32);
BENCHMARK_TEMPLATE(held, literal_klaxon, 4)->Name("klaxon/literal/held_random")->Arg(1)->Arg(32);
BENCHMARK_TEMPLATE(held, klaxon, 4)->Name("klaxon/shipped/held_random")->Arg(1)->Arg(32);
BENCHMARK_TEMPLATE(heldMoving, literal_klaxon, 0)->Name("klaxon/literal/held_speed_moving")->Arg(1)->Arg(32);
BENCHMARK_TEMPLATE(heldMoving, klaxon, 0)->Name("klaxon/shipped/held_speed_moving")->Arg(1)->Arg(32);
BENCHMARK_TEMPLATE(heldMoving, literal_klaxon, 1)->Name("klaxon/literal/held_sweep_moving")->Arg(1)->Arg(32);
BENCHMARK_TEMPLATE(heldMoving, klaxon, 1)->Name("klaxon/shipped/held_sweep_moving")->Arg(1)->Arg(32);
BENCHMARK_TEMPLATE(motion, literal_klaxon)->Name("klaxon/literal/motion")->Arg(1)->Arg(32);
BENCHMARK_TEMPLATE(motion, klaxon)->Name("klaxon/shipped/motion")->Arg(1)->Arg(32);

BENCHMARK_MAIN();
