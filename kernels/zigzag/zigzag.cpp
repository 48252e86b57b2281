// zigzag~: initialisation, rate constants and the per-sample oscillator.
#include "kernels/zigzag/zigzag.h"

#include <algorithm>
#include <cmath>

#include "kernels/common/polyblep.h"

int zigzag::getNumInputs() { return 1; }
int zigzag::getNumOutputs() { return 2; }

// No controls: just the top-level group.
void zigzag::buildUserInterface(UI* ui)
{
    ui->openVerticalBox("RUD Aziziver");
    ui->closeBox();
}

int zigzag::getSampleRate() { return sampleRate; }

void zigzag::init(int rate) { instanceInit(rate); }

void zigzag::instanceInit(int rate)
{
    instanceConstants(rate);
    instanceResetUserInterface();
    instanceClear();
}

void zigzag::instanceConstants(int rate)
{
    sampleRate = rate;
    clampedRate = std::min(192000.0f, std::max(1.0f, static_cast<float>(rate)));
    invRate = 1.0f / clampedRate;
    ampScale = invRate * 4.0f;
}

void zigzag::instanceResetUserInterface() {}

void zigzag::instanceClear() { clearState(); }

void zigzag::clearState()
{
    phase[0] = 0.0f;
    phase[1] = 0.0f;
    integrator[0] = 0.0f;
    integrator[1] = 0.0f;
}

dsp* zigzag::clone() { return new zigzag(); }

float zigzag::windowOffset(float x, float f) const
{
    const float recip = 1.0f / f;
    // A subnormal f has no finite reciprocal (its window is narrower than
    // float resolution): divide instead, which keeps the offset finite.
    if (std::isinf(recip)) return x * clampedRate / f;
    return x * clampedRate * recip;
}

// Rounds off a jump of the square: k = 1 just after a jump, k = 2 just before
// one; both windows at once (only when dt > 0.5) counts as before.
float zigzag::polyBlep(float x, float dt, float f) const
{
    const int k = (x < dt ? 1 : 0) + 2 * (x > 1.0f - dt ? 1 : 0);
    if (k == 0) return 0.0f;
    if (k == 1) return quill::blepAfterJump(windowOffset(x, f));
    return quill::blepBeforeJump(windowOffset(x - 1.0f, f));
}

// Leak 0.999 keeps the triangle centred; `rise` smooths the upward jump at
// phase 0.5, `fall` the downward one at the wrap.
float zigzag::leakyIntegrator(float square, float rise, float fall) const
{
    return 0.999f * integrator[1] + square + rise - fall;
}

float zigzag::tick(float f)
{
    const float dt = f * invRate;
    float p = phase[1] + dt;
    p = p - std::floor(p);
    phase[0] = p;
    const float h = quill::halfCycleOn(p);
    const float s = quill::squareFromPhase(p);
    integrator[0] = leakyIntegrator(s, polyBlep(h, dt, f), polyBlep(p, dt, f));
    const float y = f * ampScale * integrator[0];
    phase[1] = phase[0];
    integrator[1] = integrator[0];
    return y;
}

void zigzag::compute(int count, QUILLFLOAT** inputs, QUILLFLOAT** outputs)
{
    if (count <= 0) return;
    const float* frequency = inputs[0];
    float* out0 = outputs[0];
    float* out1 = outputs[1];
    for (int i = 0; i < count; ++i) {
        const float y = tick(frequency[i]);
        out0[i] = y;
        out1[i] = y;
    }
    // A non-finite frequency poisons phase and integrator: start afresh next block.
    if (!std::isfinite(phase[1]) || !std::isfinite(integrator[1])) clearState();
}
