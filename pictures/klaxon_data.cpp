// Data for the klaxon~ pictures, from the kernel itself, one sample per
// compute call so that its state can be read after every sample.
//   klaxon_data lfo       oscillator pitch over time for each of the five
//                         trigger buttons (one block per button): "t_s Hz"
//   klaxon_data envelope  a note held 0.5 s and released, for two "decay"
//                         values (one block each): "t_s output envelope"
#include <cmath>
#include <cstdio>
#include <cstring>

#include "kernels/klaxon/klaxon.h"

namespace {

constexpr int kRate = 44100;

struct Runner {
    klaxon k;
    float out0 = 0.0f, out1 = 0.0f;

    Runner()
    {
        k.init(kRate);
        k.depth = 1.0f;
        k.speed = 2.0f;
        k.pitch = 220.0f;
    }
    // One sample; returns the output.
    float step()
    {
        float* outs[2] = {&out0, &out1};
        k.compute(1, nullptr, outs);
        return out0;
    }
    // Envelope level from the kernel's counters, as the kernel forms it.
    float envelope() const
    {
        const float attack = std::fmin(1.0f, float(k.holdCount[1]) * k.attackStep);
        const float release = float(k.releaseCount[1]) / std::fmax(1.0f, k.decayLatched[1] * k.clampedRate);
        return std::fmax(0.0f, attack - release);
    }
};

void lfoShapes()
{
    struct Button {
        const char* name;
        float klaxon::*cell;
    };
    const Button buttons[] = {{"triggerTriangle", &klaxon::triggerTriangle},
                              {"triggerSquare", &klaxon::triggerSquare},
                              {"triggerSaw", &klaxon::triggerSaw},
                              {"triggerRevSaw", &klaxon::triggerRevSaw},
                              {"triggerRandom", &klaxon::triggerRandom}};
    for (const Button& b : buttons) {
        Runner r;
        for (int i = 0; i < kRate * 3 / 10; ++i) r.step();  // let the smoothers settle
        r.k.*(b.cell) = 1.0f;
        std::printf("# %s (speed 2 Hz, depth 1 octave, pitch 220 Hz)\n", b.name);
        float previous = r.k.oscPhase[1];
        for (int i = 0; i < kRate * 3 / 2; ++i) {
            r.step();
            const float phase = r.k.oscPhase[1];
            float advance = phase - previous;
            advance -= std::floor(advance);
            previous = phase;
            if (i % 20 == 0) std::printf("%.5f %.3f\n", double(i) / kRate, double(advance * float(kRate)));
        }
        std::printf("\n\n");
    }
}

void envelopes()
{
    const float decays[] = {0.4f, 1.0f};
    for (float decay : decays) {
        Runner r;
        r.k.depth = 0.0f;
        r.k.decay = decay;
        for (int i = 0; i < kRate * 3 / 10; ++i) r.step();
        std::printf("# decay %g s: held 0.5 s, then released\n", double(decay));
        r.k.triggerSaw = 1.0f;
        for (int i = 0; i < kRate * 17 / 10; ++i) {
            if (i == kRate / 2) r.k.triggerSaw = 0.0f;
            const float y = r.step();
            std::printf("%.5f %.5f %.5f\n", double(i) / kRate, double(y), double(r.envelope()));
        }
        std::printf("\n\n");
    }
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "envelope") == 0)
        envelopes();
    else
        lfoShapes();
}
