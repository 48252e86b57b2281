// zigzag's oscillator written out plainly, step by step, with no guard or
// shortcut: the oracle the shipped kernel must match bit for bit (for normal,
// finite frequencies) and the baseline its speed is measured against. Field
// names and order follow the kernel's.
#pragma once

#include <algorithm>
#include <cmath>

#include "kernels/common/float_to_int.h"

struct literal_zigzag {
    int sampleRate = 0;
    float clampedRate = 0.0f;
    float ampScale = 0.0f;
    float invRate = 0.0f;
    float phase[2] = {};
    float integrator[2] = {};

    void init(int rate)
    {
        instanceConstants(rate);
        instanceClear();
    }

    void instanceConstants(int rate)
    {
        sampleRate = rate;
        clampedRate = std::min(192000.0f, std::max(1.0f, static_cast<float>(rate)));
        invRate = 1.0f / clampedRate;
        ampScale = invRate * 4.0f;
    }

    void instanceClear()
    {
        phase[0] = phase[1] = 0.0f;
        integrator[0] = integrator[1] = 0.0f;
    }

    // The polyBLEP correction for phase x at increment dt and frequency f.
    float polyBlep(float x, float dt, float f) const
    {
        const int k = (x < dt ? 1 : 0) + 2 * (x > 1.0f - dt ? 1 : 0);
        if (k == 0) return 0.0f;
        if (k == 1) {
            const float u = x * clampedRate * (1.0f / f);
            return 2.0f * u - u * u - 1.0f;
        }
        const float v = (x - 1.0f) * clampedRate * (1.0f / f);
        return v * v + 2.0f * v + 1.0f;
    }

    void compute(int count, float** inputs, float** outputs)
    {
        if (count <= 0) return;
        for (int i = 0; i < count; ++i) {
            const float f = inputs[0][i];
            const float dt = f * invRate;
            float p = phase[1] + dt;
            p = p - std::floor(p);
            phase[0] = p;
            const float h = std::fmod(std::fmod(p + 0.5f, 1.0f) + 1.0f, 1.0f);
            // truncToInt is the plain conversion here (2p lies in [0, 2]).
            const float s = static_cast<float>(2 * quill::truncToInt(2.0f * p) - 1);
            integrator[0] = 0.999f * integrator[1] + s + polyBlep(h, dt, f) - polyBlep(p, dt, f);
            const float y = f * ampScale * integrator[0];
            outputs[0][i] = y;
            outputs[1][i] = y;
            phase[1] = phase[0];
            integrator[1] = integrator[0];
        }
    }
};
