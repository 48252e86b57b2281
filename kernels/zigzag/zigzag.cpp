// zigzag~: initialisation, rate constants and the oscillator.
#include "kernels/zigzag/zigzag.h"

#include <algorithm>
#include <cmath>

#include "kernels/common/exact_phase.h"
#include "kernels/common/rate_clamp.h"
#include "kernels/zigzag/zigzag_integrator.h"

// No controls: just the top-level group.
void zigzag::buildUserInterface(UI* ui)
{
    ui->openVerticalBox("RUD Aziziver");
    ui->closeBox();
}

void zigzag::instanceInit(int rate)
{
    instanceConstants(rate);
    instanceResetUserInterface();
    instanceClear();
}

void zigzag::instanceConstants(int rate)
{
    sampleRate = rate;
    clampedRate = quill::clampedSampleRate(rate);
    invRate = 1.0f / clampedRate;
    ampScale = invRate * 4.0f;
    // The largest frequency whose increment stays below half a cycle.
    maxFrequency = 0.5f * clampedRate;
    while (!(maxFrequency * invRate < 0.5f)) maxFrequency = std::nextafter(maxFrequency, 0.0f);
}

void zigzag::instanceClear()
{
    phase[0] = phase[1] = 0.0f;
    integrator[0] = integrator[1] = 0.0f;
    frequency[0] = frequency[1] = 0.0f;
    output[0] = output[1] = 0.0f;
    levelInOutputUnits = false;
}

// The output is f·ampScale·integrator, so a level integrated at one
// frequency would be scaled by the next: a rise from 55 to 1760 Hz would
// multiply it by 32. While the frequency changes, the level is therefore
// carried in output units, y = 0.999·y + f·ampScale·(square), which keeps the
// output continuous and, over any glide, on the triangle of the phase; once
// the frequency holds, the integrator takes over again from y / (f·ampScale).
// Leaving 0 Hz starts from rest, as a fresh oscillator does; at 0 Hz the
// integrator runs on as before, silent.
//
// Phase, integrator and output stay in locals for the block. With |dt| <
// 0.5 and p in [0, 1] (never -0), p + dt lies within (-0.5, 1.5) and is not
// -0, where the short phase helpers are exact. A constant frequency below
// half the rate takes none of the unlikely branches and gives the bits of
// the bare oscillator.
void zigzag::compute(int count, QUILLFLOAT** inputs, QUILLFLOAT** outputs)
{
    if (count <= 0) return;
    const float* in = inputs[0];
    float* out0 = outputs[0];
    float* out1 = outputs[1];
    const float toCycles = invRate;
    const float toUnit = ampScale;
    const float rate = clampedRate;  // a local: the output stores might otherwise alias it
    float p = phase[1];
    float integ = integrator[1];
    float previous = frequency[1];
    float y = output[1];
    bool gliding = levelInOutputUnits;
    for (int i = 0; i < count; ++i) {
        float f = in[i];  // read before writing: buffers may alias
        float dt = f * toCycles;
        if (__builtin_expect(!(std::fabs(dt) < 0.5f), 0)) {
            f = zigzag_integrator::playable(f, maxFrequency);
            dt = f * toCycles;
        }
        p = quill::wrapNearPhase(p + dt);
        if (__builtin_expect(f != previous || gliding, 0)) {
            const float unit = f * toUnit;
            if (f == previous) {
                // Held again: back to the integrator.
                integ = y / unit;
                if (!std::isfinite(integ)) integ = 0.0f;
                gliding = false;
            } else if (previous == 0.0f || f == 0.0f) {
                if (previous == 0.0f) integ = 0.0f;
                gliding = false;
            } else {
                gliding = true;
            }
            previous = f;
            if (gliding) {
                y = zigzag_integrator::leaked(y, unit * zigzag_integrator::advance(p, dt, f, 0.0f, rate));
                if (__builtin_expect(!(std::fabs(y) <= kMaxLevel), 0)) y = std::copysign(kMaxLevel, y);
                out0[i] = y;
                out1[i] = y;
                continue;
            }
        }
        integ = zigzag_integrator::advance(p, dt, f, integ, rate);
        y = f * toUnit * integ;
        if (__builtin_expect(!(std::fabs(y) <= kMaxLevel), 0)) {
            // A frequency that lands the phase exactly on a window's edge
            // each cycle can leave a jump unrounded every cycle, and the
            // integrator drifts: held at the limit instead.
            y = std::copysign(kMaxLevel, y);
            integ = y / (f * toUnit);
        }
        out0[i] = y;
        out1[i] = y;
    }
    phase[0] = phase[1] = p;
    integrator[0] = integrator[1] = integ;
    frequency[0] = frequency[1] = previous;
    output[0] = output[1] = y;
    levelInOutputUnits = gliding;
}
