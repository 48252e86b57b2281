// leveler~'s kernel against its literal form, one instance and a bank of 32,
// on a music-like input: the intensity settled at its default, and gliding
// between settings.
#include <cmath>
#include <vector>

#include "benchmarks/kernel_bench.h"
#include "kernels/leveler/leveler.h"
#include "tests/literal/literal_leveler.h"

namespace {

// Eight seconds at 44100 Hz of plucked chords over a bass line with a little
// noise: notes of three partials whose level falls after each attack, peaks
// near -6 dBFS, quieter bars and a short rest, so that the compressor's
// detector moves through and above its knee as it would on music.
const std::vector<float>& music()
{
    static const std::vector<float> in = [] {
        const int rate = 44100, length = 8 * rate;
        const double pi = 3.14159265358979323846;
        const double chords[4][3] = {{220.0, 277.18, 329.63}, {196.0, 246.94, 293.66},
                                     {174.61, 220.0, 261.63}, {196.0, 246.94, 311.13}};
        std::vector<float> hiss = quill_bench::noise(static_cast<std::size_t>(length), 3);
        std::vector<float> v(static_cast<std::size_t>(length));
        for (int n = 0; n < length; ++n) {
            const double t = static_cast<double>(n) / rate;
            const int beat = n / (rate / 4), bar = beat / 8;
            const double since = t - beat * 0.25;
            const double level = bar % 4 == 3 ? 0.15 : 0.45;
            const double* chord = chords[bar % 4];
            double s = 0.0;
            for (int p = 0; p < 3; ++p)
                s += std::sin(2.0 * pi * chord[p] * t) * std::exp(-since * (3.0 + p)) * level / 3.0;
            s += 0.3 * std::sin(2.0 * pi * chord[0] * 0.5 * t) * std::exp(-(t - bar * 2.0) * 0.8);
            if (beat % 32 == 31) s *= 0.02;  // a rest at the end of every fourth bar
            v[static_cast<std::size_t>(n)] = static_cast<float>(s) + 0.003f * hiss[static_cast<std::size_t>(n)];
        }
        return v;
    }();
    return in;
}

// The default intensity 0.3, settled over one second of the input.
template <class K>
void musicSettled(benchmark::State& state)
{
    quill_bench::runBank<K>(
        state, music(),
        [](K& k) {
            k.init(44100);
            quill_bench::warmUp(k, music(), 44100);
        },
        [](K&, long) {});
}

// The intensity moves to a new setting every 50 blocks: the smoother glides
// most of the time.
template <class K>
void musicGliding(benchmark::State& state)
{
    quill_bench::runBank<K>(
        state, music(), [](K& k) { k.init(44100); },
        [](K& k, long round) {
            const float settings[] = {0.3f, 0.8f, 0.05f, 1.0f, 0.5f};
            k.intensity = settings[(round / 50) % 5];
        });
}

}  // namespace

BENCHMARK_TEMPLATE(musicSettled, literal_leveler)->Name("leveler/literal/music")->Arg(1)->Arg(32);
BENCHMARK_TEMPLATE(musicSettled, leveler)->Name("leveler/shipped/music")->Arg(1)->Arg(32);
BENCHMARK_TEMPLATE(musicGliding, literal_leveler)->Name("leveler/literal/music_gliding")->Arg(1)->Arg(32);
BENCHMARK_TEMPLATE(musicGliding, leveler)->Name("leveler/shipped/music_gliding")->Arg(1)->Arg(32);

BENCHMARK_MAIN();
