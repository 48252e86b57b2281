// The kernels' benchmark scenarios as one program, for instruction counts
// that do not depend on the machine's load:
//   valgrind --tool=callgrind --toggle-collect='*counted*' kernel_scenarios SCENARIO
// runs 2000 blocks of 64 samples of SCENARIO after a warm-up (not counted).
// Built by scripts/count_instructions.sh.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "kernels/klaxon/klaxon.h"
#include "kernels/leveler/leveler.h"
#include "kernels/mellow/mellow.h"
#include "kernels/zigzag/zigzag.h"
#include "kernels/zigzag/zigzag_voices.h"
#include "tests/literal/literal_leveler.h"

namespace {

constexpr int kBlock = 64, kBlocks = 2000;

// A new value in [0, 1) every 100 ms at 44100 Hz (69 blocks), as the Pd
// benchmark's [metro 100] and [random] send them.
float every100ms(int block)
{
    return static_cast<float>((static_cast<uint32_t>(block / 69 + 1) * 2654435761u) >> 8) / 16777216.0f;
}

std::vector<float> noise(uint32_t seed)
{
    std::vector<float> v(kBlock * 256);
    for (float& x : v) {
        seed = seed * 1664525u + 1013904223u;
        x = static_cast<float>(seed >> 8) * (2.0f / 16777216.0f) - 1.0f;
    }
    return v;
}

// Runs `count` blocks of k from block `first`, `control(k, block)` before each.
template <class K, class Control>
void blocks(K& k, int first, int count, Control control)
{
    static const std::vector<float> in = noise(7);
    static std::vector<float> a(kBlock), b(kBlock);
    for (int n = first; n < first + count; ++n) {
        control(k, n);
        float* ins[1] = {const_cast<float*>(in.data()) + (n % 256) * kBlock};
        float* outs[2] = {a.data(), b.data()};
        k.compute(kBlock, ins, outs);
    }
}

// 20 changes of the controls' values to warm up, then kBlocks counted.
template <class K, class Control>
__attribute__((noinline)) void warmUp(K& k, Control control)
{
    blocks(k, 0, 20 * 69, control);
}

template <class K, class Control>
__attribute__((noinline)) void counted(K& k, Control control)
{
    blocks(k, 20 * 69, kBlocks, control);
}

template <class K, class Control>
void measure(K& k, Control control)
{
    warmUp(k, control);
    counted(k, control);
}

// zigzag~ on `channels` channels at 220 + 55·c Hz, held or with a vibrato
// (every sample another frequency), driven as blocks() drives a kernel but
// on its own inputs: one channel is the single-channel kernel, as the
// adapter runs it; more are the voices.
struct ZigzagChannels {
    static constexpr int kLength = 4096;  // a vibrato cycle, about 10.8 Hz
    zigzag k;
    int channels, block = 0;
    std::vector<float> bank;
    std::vector<std::vector<float>> in, out;
    std::vector<float*> ins, outs;

    ZigzagChannels(int count, bool vibrato)
        : channels(count), bank(zigzag_voices::bankFloats(count)), in(size_t(count)), out(2 * size_t(count)),
          ins(size_t(count))
    {
        k.init(44100);
        for (int c = 0; c < channels; ++c) {
            const float base = 220.0f + 55.0f * static_cast<float>(c);
            in[size_t(c)].assign(kLength, base);
            if (vibrato)
                for (int i = 0; i < kLength; ++i)
                    in[size_t(c)][size_t(i)] = base * (1.0f + 0.006f * std::sin(6.2831853f * static_cast<float>(i) / kLength));
        }
        for (auto& o : out) outs.push_back((o.resize(kBlock), o.data()));
    }

    void compute(int count, float**, float**)
    {
        for (int c = 0; c < channels; ++c) ins[size_t(c)] = in[size_t(c)].data() + (block % (kLength / kBlock)) * kBlock;
        if (channels == 1)
            k.compute(count, ins.data(), outs.data());
        else
            zigzag_voices::compute(k, bank.data(), channels, count, ins.data(), outs.data(), outs.data() + channels);
    }
};

}  // namespace

int main(int argc, char** argv)
{
    const std::string s = argc > 1 ? argv[1] : "";
    if (s == "mellow_settled") {
        mellow k;
        k.init(44100);
        measure(k, [](mellow& m, int) { m.cutoff = 1000.0f; });
    } else if (s == "mellow_gliding") {
        mellow k;
        k.init(44100);
        measure(k, [](mellow& m, int n) { m.cutoff = 20.0f * std::pow(1000.0f, every100ms(n)); });
    } else if (s == "klaxon_held" || s == "klaxon_speed" || s == "klaxon_sweep") {
        klaxon k;
        k.init(44100);
        k.triggerTriangle = 1.0f;
        measure(k, [&s](klaxon& x, int n) {
            if (s == "klaxon_speed") x.speed = 0.1f + 19.9f * every100ms(n);
            if (s == "klaxon_sweep") x.sweep = every100ms(n);
        });
    } else if (s == "klaxon_held_square") {
        klaxon k;
        k.init(44100);
        k.triggerSquare = 1.0f;
        measure(k, [](klaxon&, int) {});
    } else if (s == "leveler_settled" || s == "leveler_intensity") {
        leveler k;
        k.init(44100);
        measure(k, [&s](leveler& x, int n) {
            if (s == "leveler_intensity") x.intensity = every100ms(n);
        });
    } else if (s == "leveler_literal") {
        literal_leveler k;
        k.init(44100);
        measure(k, [](literal_leveler&, int) {});
    } else if (s.rfind("zigzag_", 0) == 0) {
        // zigzag_held_C or zigzag_vibrato_C, C channels.
        const bool vibrato = s.rfind("zigzag_vibrato_", 0) == 0;
        ZigzagChannels z(std::stoi(s.substr(s.rfind('_') + 1)), vibrato);
        measure(z, [](ZigzagChannels& x, int n) { x.block = n; });
    } else {
        std::fprintf(stderr, "unknown scenario\n");
        return 1;
    }
    return 0;
}
