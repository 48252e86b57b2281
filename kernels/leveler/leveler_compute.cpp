// leveler~: the per-block control read and the per-sample chain.
#include <algorithm>
#include <cmath>

#include "kernels/common/control_smoother.h"
#include "kernels/common/wrapping_noise.h"
#include "kernels/leveler/leveler.h"
#include "kernels/leveler/leveler_stages.h"

namespace stage = quill::leveler_stages;

float leveler::readIntensity()
{
    const float value = intensity;
    if (std::isfinite(value)) lastGoodIntensity = std::min(std::max(value, 0.0f), 1.0f);
    return lastGoodIntensity;
}

float leveler::tick(float x, float intensityIn)
{
    intensitySmooth[0] = quill::smoothStep(smoothPole, intensitySmooth[1], intensityIn);
    const float k = intensitySmooth[0];
    // Tone cutoff 20000 - 13000 k Hz, as a prewarped cotangent.
    const float toneAngle = std::min((k * -13000.0f + 20000.0f) * piOverRate, stage::kMaxCutoffAngle);
    const float toneCot = 1.0f / std::tan(toneAngle);

    noiseState[0] = quill::noiseNext(noiseState[1]);
    noiseValue[0] = static_cast<float>(noiseState[0]);
    hiss[0] = stage::hissLowpass(hissNorm, hissPole, noiseValue[0], noiseValue[1], hiss[1]);

    inputEnvelope[0] =
        stage::envelopeFollower(inputAttack, inputAttackIn, inputReleaseStep, inputEnvelope[1], std::fabs(x));
    const float q = stage::quantise(x, inputEnvelope[0], hiss[0]);
    bandSum[0] = stage::bandLowpass(q, bandNorm, bandA1, bandA2, bandState);

    // The detector hears the previous band-limited sample.
    detEnvelope[0] = stage::envelopeFollower(detAttack, detAttackIn, detReleaseStep, detEnvelope[1],
                                             std::fabs(bandNorm * bandSum[1]));
    const float r = std::max(1.0f - k, 0.0001f);
    const float gain = stage::compressorGain(detEnvelope[0], r);
    const float makeup = exp10f(1.5f - 1.5f * r);
    shaped[0] = stage::softClip(makeup, bandSum[0], gain, bandNorm);
    tone[0] = stage::toneLowpass(bandNorm, shaped[0], shaped[1], toneCot, tone[1]);
    const float y = tone[0];
    shift();
    return y;
}

void leveler::shift()
{
    intensitySmooth[1] = intensitySmooth[0];
    noiseState[1] = noiseState[0];
    noiseValue[1] = noiseValue[0];
    hiss[1] = hiss[0];
    inputEnvelope[1] = inputEnvelope[0];
    bandState[2] = bandState[1];
    bandState[1] = bandState[0];
    bandSum[1] = bandSum[0];
    detEnvelope[1] = detEnvelope[0];
    shaped[1] = shaped[0];
    tone[1] = tone[0];
}

bool leveler::signalStateFinite() const
{
    return std::isfinite(inputEnvelope[1]) && std::isfinite(bandState[1]) && std::isfinite(bandState[2]) &&
           std::isfinite(bandSum[1]) && std::isfinite(detEnvelope[1]) && std::isfinite(shaped[1]) &&
           std::isfinite(tone[1]);
}

void leveler::compute(int count, QUILLFLOAT** inputs, QUILLFLOAT** outputs)
{
    if (count <= 0) return;
    const float intensityIn = smoothIn * readIntensity();
    const float* in = inputs[0];
    float* out = outputs[0];
    for (int i = 0; i < count; ++i) out[i] = tick(in[i], intensityIn);
    // A NaN or infinite input sample poisons the filters: start them afresh,
    // so that the next block is finite again. Smoother, noise and hiss never
    // see the input and keep running.
    if (!signalStateFinite()) clearSignalState();
}
