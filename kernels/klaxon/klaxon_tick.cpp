// klaxon~: one sample of the siren: triggers, envelope, LFO, oscillator,
// lowpass and saturation.
#include <algorithm>
#include <cstdint>
#include <cmath>

#include "kernels/common/control_smoother.h"
#include "kernels/common/float_to_int.h"
#include "kernels/common/polyblep.h"
#include "kernels/common/wrapping_noise.h"
#include "kernels/klaxon/klaxon.h"

namespace {

// count + step for step >= 0, stopping at INT32_MAX instead of overflowing.
int32_t addSaturating(int32_t count, int32_t step)
{
    return count > INT32_MAX - step ? INT32_MAX : count + step;
}

// Positive part of a button's change since the previous sample.
float rise(float value, float previous)
{
    return std::max(0.0f, value - previous);
}

}  // namespace

float klaxon::envelope() const
{
    const float attack = std::min(1.0f, static_cast<float>(holdCount[0]) * attackStep);
    const float release = static_cast<float>(releaseCount[0]) / std::max(1.0f, decayLatched[0] * clampedRate);
    return std::max(0.0f, attack - release);
}

float klaxon::lfo(int32_t shape) const
{
    const float phase = lfoPhase[0];
    if (shape <= 0) return 4.0f * std::fabs(phase - 0.5f) - 1.0f;  // triangle
    if (shape == 1) return phase < 0.5f ? 1.0f : -1.0f;           // square
    if (shape == 2) return 2.0f * phase - 1.0f;                    // rising ramp
    if (shape == 3) return 1.0f - 2.0f * phase;                    // falling ramp
    return noiseHeld[0];                                           // random steps
}

// The window is judged with dt; the offset is scaled by period / m, so the
// division by m happens only inside a window. "Before a jump" wins.
float klaxon::polyBlep(float x, float dt, float period, float m)
{
    if (x > 1.0f - dt) return quill::blepBeforeJump((x - 1.0f) * period / m);
    if (x < dt) return quill::blepAfterJump(x * period / m);
    return 0.0f;
}

// Trapezoidal state-variable lowpass with damping 1.
float klaxon::svfLowpass(float x, float g)
{
    const float d = 1.0f / (1.0f + g * (g + 1.0f));
    const float a = filterState1[1] + g * (x - filterState2[1]);
    const float band = a * d;
    const float low = filterState2[1] + g * band;
    filterState1[0] = 2.0f * band - filterState1[1];
    filterState2[0] = 2.0f * low - filterState2[1];
    return low;
}

float klaxon::tick(const BlockControls& c)
{
    // Triggers: a rise from all released restarts the hold count.
    held[0] = c.anyHeld;
    holdCount[0] = c.anyHeld > held[1] ? c.anyHeld : addSaturating(holdCount[1], c.anyHeld);
    releaseCount[0] = c.noneHeld * addSaturating(releaseCount[1], 1);
    sawButton[0] = c.saw;
    squareButton[0] = c.square;
    revSawButton[0] = c.revSaw;
    randomButton[0] = c.random;
    triangleButton[0] = c.triangle;
    const float riseSaw = rise(c.saw, sawButton[1]);
    const float riseSquare = rise(c.square, squareButton[1]);
    const float riseRevSaw = rise(c.revSaw, revSawButton[1]);
    const float riseRandom = rise(c.random, randomButton[1]);
    const float riseTriangle = rise(c.triangle, triangleButton[1]);
    const float edge = riseSaw + riseSquare + riseRevSaw + riseRandom + riseTriangle;
    const bool pressed = quill::truncToInt(edge) != 0;

    // Control smoothing; decay is latched at a press.
    sweepSmooth[0] = quill::smoothStep(smoothPole, sweepSmooth[1], c.sweepIn);
    decaySmooth[0] = quill::smoothStep(smoothPole, decaySmooth[1], c.decayIn);
    decayLatched[0] = pressed ? decaySmooth[0] : decayLatched[1];
    depthSmooth[0] = quill::smoothStep(smoothPole, depthSmooth[1], c.depthIn);

    const float env = envelope();

    // Cutoff from 20 Hz up to 20 + 60 * 100^sweep at full envelope.
    const float fc = std::min(20.0f + 60.0f * env * std::exp(4.6051702f * sweepSmooth[0]), maxCutoff);
    const float g = std::tan(piOverRate * fc);

    // LFO: shape latched at a press, phase restarted by it.
    shapeLatched[0] = pressed ? riseSquare + 2.0f * riseSaw + 3.0f * riseRevSaw + 4.0f * riseRandom
                              : shapeLatched[1];
    speedSmooth[0] = quill::smoothStep(smoothPole, speedSmooth[1], c.speedIn);
    noiseState[0] = quill::noiseNext(noiseState[1]);
    const float q = speedSmooth[0] * invRate + (1.0f - edge) * lfoPhase[1];
    const float phase = q - std::floor(q);
    // An infinite edge (huge button values) leaves no phase: restart at 0.
    lfoPhase[0] = std::isfinite(phase) ? phase : 0.0f;
    noiseHeld[0] = lfoPhase[0] < lfoPhase[1] ? static_cast<float>(noiseState[0]) * 4.656613e-10f : noiseHeld[1];
    const float L = lfo(quill::truncToInt(shapeLatched[0]));

    // Oscillator: +-depth octaves of LFO, down by up to depth/2 octaves as env falls.
    const float m = std::exp2(depthSmooth[0] * (L + 0.5f * (env - 1.0f)));
    const float dt = c.pitchInc * m;
    float p = oscPhase[1] + dt;
    p = p - std::floor(p);
    oscPhase[0] = p;
    const float h = quill::halfCycleOn(p);
    const float s = quill::squareFromPhase(p);
    const float x = s + polyBlep(h, dt, c.pitchPeriod, m) - polyBlep(p, dt, c.pitchPeriod, m);

    const float low = svfLowpass(x, g);

    const float e = env * low;
    const float y = e / (1.0f + std::fabs(e));
    shiftState();
    return y;
}

void klaxon::shiftState()
{
    sweepSmooth[1] = sweepSmooth[0];
    randomButton[1] = randomButton[0];
    revSawButton[1] = revSawButton[0];
    sawButton[1] = sawButton[0];
    triangleButton[1] = triangleButton[0];
    squareButton[1] = squareButton[0];
    held[1] = held[0];
    holdCount[1] = holdCount[0];
    releaseCount[1] = releaseCount[0];
    decaySmooth[1] = decaySmooth[0];
    decayLatched[1] = decayLatched[0];
    depthSmooth[1] = depthSmooth[0];
    shapeLatched[1] = shapeLatched[0];
    speedSmooth[1] = speedSmooth[0];
    lfoPhase[1] = lfoPhase[0];
    noiseState[1] = noiseState[0];
    noiseHeld[1] = noiseHeld[0];
    oscPhase[1] = oscPhase[0];
    filterState1[1] = filterState1[0];
    filterState2[1] = filterState2[0];
}
