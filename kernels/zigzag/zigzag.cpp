// zigzag~: initialisation, rate constants and the oscillator.
#include "kernels/zigzag/zigzag.h"

#include <algorithm>
#include <cmath>

#include "kernels/common/exact_phase.h"
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

// Offset of x into a correction window in samples, x·fs/f.
inline float zigzag::windowOffset(float x, float f) const
{
    const float recip = 1.0f / f;
    // A subnormal f has no finite reciprocal (its window is narrower than
    // float resolution): divide instead, which keeps the offset finite.
    if (std::isinf(recip)) return x * clampedRate / f;
    return x * clampedRate * recip;
}

// Rounds off a jump of the square: k = 1 just after a jump, k = 2 just before
// one; both windows at once (only when dt > 0.5) counts as before.
inline float zigzag::polyBlep(float x, float dt, float f) const
{
    const int k = (x < dt ? 1 : 0) + 2 * (x > 1.0f - dt ? 1 : 0);
    if (k == 0) return 0.0f;
    if (k == 1) return quill::blepAfterJump(windowOffset(x, f));
    return quill::blepBeforeJump(windowOffset(x - 1.0f, f));
}

// Leak 0.999 keeps the triangle centred. The corrections for the square's
// jumps are added to this, in that order, inside their windows.
inline float zigzag::leakyIntegrator(float previous, float square)
{
    return 0.999f * previous + square;
}

// One sample: advances phase p and integrator integ, returns the output.
// Outside the correction windows both corrections are +0, and adding and
// subtracting +0 leaves the integrator's bits alone (it is never -0:
// 0.999·i + s with s = ±1 or 3 is -0 for no i), so they are skipped there.
// `Wrapped` is true when p + dt is known to lie in [-1, 2) and not to be -0,
// and p to lie in [0, 1], so that the phase helpers need no range check.
template <bool Wrapped>
inline float zigzag::tick(float f, float dt, float toUnit, float& p, float& integ) const
{
    p = Wrapped ? quill::wrapNearPhase(p + dt) : quill::wrapPhase(p + dt);
    const float h = Wrapped ? quill::halfCycleOnWrapped(p) : quill::halfCycleOnFast(p);
    const float s = Wrapped ? quill::squareFromWrappedPhase(p) : quill::squareFromPhaseFast(p);
    integ = leakyIntegrator(integ, s);
    // Either phase in a window: the lower one after a jump or the higher one before.
    if (std::min(h, p) < dt || std::max(h, p) > 1.0f - dt) integ = integ + polyBlep(h, dt, f) - polyBlep(p, dt, f);
    return f * toUnit * integ;
}

// Phase and integrator stay in locals for the block. While |dt| < 0.5 and
// the phase is wrapped and not -0, p + dt lies within (-0.5, 1.5) and is not
// -0 (a sum is -0 only when both terms are), and the next phase is again in
// [0, 1] and not -0: the fast path. A sample outside it sends the rest of
// the block through the checked path.
void zigzag::compute(int count, QUILLFLOAT** inputs, QUILLFLOAT** outputs)
{
    if (count <= 0) return;
    const float* frequency = inputs[0];
    float* out0 = outputs[0];
    float* out1 = outputs[1];
    const float toCycles = invRate;
    const float toUnit = ampScale;
    float p = phase[1];
    float integ = integrator[1];
    int i = 0;
    if (!std::signbit(p) && p <= 1.0f) {
        for (; i < count; ++i) {
            const float f = frequency[i];  // read before writing: buffers may alias
            const float dt = f * toCycles;
            if (!(std::fabs(dt) < 0.5f)) break;
            const float y = tick<true>(f, dt, toUnit, p, integ);
            out0[i] = y;
            out1[i] = y;
        }
    }
    for (; i < count; ++i) {
        const float f = frequency[i];
        const float y = tick<false>(f, f * toCycles, toUnit, p, integ);
        out0[i] = y;
        out1[i] = y;
    }
    phase[0] = phase[1] = p;
    integrator[0] = integrator[1] = integ;
    // A non-finite frequency poisons phase and integrator: start afresh next block.
    if (!std::isfinite(phase[1]) || !std::isfinite(integrator[1])) clearState();
}
