// zigzag's oscillator written out plainly, step by step, with no shortcut:
// the oracle the shipped kernel must match bit for bit and the baseline its
// speed is measured against. Field names and order follow the kernel's.
// With `unguarded` set it is the bare oscillator, without the clamp of
// frequencies to below half the rate, the level carried in output units
// while the frequency changes, the mirrored backwards phase and the output
// limit: for a constant frequency in (0, fs/2) both must give the same bits.
#pragma once

#include <algorithm>
#include <cmath>

#include "kernels/common/float_to_int.h"

struct literal_zigzag {
    int sampleRate = 0;
    float clampedRate = 0.0f;
    float ampScale = 0.0f;
    float invRate = 0.0f;
    float maxFrequency = 0.0f;
    float phase[2] = {};
    float integrator[2] = {};
    float frequency[2] = {};
    float output[2] = {};
    bool levelInOutputUnits = false;
    bool unguarded = false;

    void init(int rate)
    {
        instanceConstants(rate);
        instanceClear();
    }

    void instanceConstants(int rate)
    {
        sampleRate = rate;
        clampedRate = std::min(1536000.0f, std::max(1.0f, static_cast<float>(rate)));
        invRate = 1.0f / clampedRate;
        ampScale = invRate * 4.0f;
        maxFrequency = 0.5f * clampedRate;
        while (!(maxFrequency * invRate < 0.5f)) maxFrequency = std::nextafter(maxFrequency, 0.0f);
    }

    void instanceClear()
    {
        phase[0] = phase[1] = 0.0f;
        integrator[0] = integrator[1] = 0.0f;
        frequency[0] = frequency[1] = 0.0f;
        output[0] = output[1] = 0.0f;
        levelInOutputUnits = false;
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

    // 0.999·start plus the square of phase p, its jumps rounded off; a phase
    // running backwards is the forward phase 1 - p with the square negated.
    float integrate(float p, float dt, float f, float start) const
    {
        const bool backwards = !unguarded && dt < 0.0f;
        const float sign = backwards ? -1.0f : 1.0f;
        const float q = backwards ? (p == 0.0f ? 0.0f : 1.0f - p) : p;
        const float h = std::fmod(std::fmod(q + 0.5f, 1.0f) + 1.0f, 1.0f);
        // truncToInt is the plain conversion here (2q lies in [0, 2]).
        const float s = static_cast<float>(2 * quill::truncToInt(2.0f * q) - 1);
        return sign * (0.999f * (sign * start) + s + polyBlep(h, sign * dt, sign * f) - polyBlep(q, sign * dt, sign * f));
    }

    void compute(int count, float** inputs, float** outputs)
    {
        if (count <= 0) return;
        for (int i = 0; i < count; ++i) {
            float f = inputs[0][i];
            // At or beyond half the rate: just below it; NaN: 0.
            if (!unguarded && !(std::fabs(f * invRate) < 0.5f)) f = std::isnan(f) ? 0.0f : std::copysign(maxFrequency, f);
            const float dt = f * invRate;
            float p = phase[1] + dt;
            p = p - std::floor(p);
            phase[0] = p;
            const float unit = f * ampScale;
            float integ = integrator[1];
            bool gliding = false;
            if (!unguarded && f != frequency[1]) {
                // A new frequency: carried in output units unless leaving
                // 0 Hz (from rest) or entering it.
                if (frequency[1] == 0.0f) integ = 0.0f;
                gliding = frequency[1] != 0.0f && f != 0.0f;
                frequency[0] = f;
            } else if (!unguarded && levelInOutputUnits) {
                // Held again: back to the integrator.
                integ = output[1] / unit;
                if (!std::isfinite(integ)) integ = 0.0f;
                frequency[0] = frequency[1];
            } else {
                frequency[0] = frequency[1];
            }
            float y;
            if (gliding) {
                y = 0.999f * output[1] + unit * integrate(p, dt, f, 0.0f);
                if (!(std::fabs(y) <= 2.0f)) y = std::copysign(2.0f, y);
                integrator[0] = integ;
            } else {
                integrator[0] = integrate(p, dt, f, integ);
                y = f * ampScale * integrator[0];
                if (!unguarded && !(std::fabs(y) <= 2.0f)) {
                    y = std::copysign(2.0f, y);
                    integrator[0] = y / (f * ampScale);
                }
            }
            levelInOutputUnits = gliding;
            output[0] = y;
            outputs[0][i] = y;
            outputs[1][i] = y;
            phase[1] = phase[0];
            integrator[1] = integrator[0];
            frequency[1] = frequency[0];
            output[1] = output[0];
        }
    }
};
