// leveler~: counts, control description, initialisation and rate constants.
#include "kernels/leveler/leveler.h"

#include <algorithm>
#include <cmath>

#include "kernels/common/control_smoother.h"
#include "kernels/common/maths/maths.h"
#include "kernels/common/rate_clamp.h"
#include "kernels/leveler/leveler_stages.h"

using quill::leveler_stages::cappedAngle;

int leveler::getNumInputs() { return 1; }
int leveler::getNumOutputs() { return 1; }

void leveler::buildUserInterface(UI* ui)
{
    ui->openVerticalBox("leveler");
    ui->addHorizontalSlider("intensity", &intensity, 0.3f, 0.0f, 1.0f, 0.01f);
    ui->closeBox();
}

int leveler::getSampleRate() { return sampleRate; }

void leveler::init(int rate) { instanceInit(rate); }

void leveler::instanceInit(int rate)
{
    instanceConstants(rate);
    instanceResetUserInterface();
    instanceClear();
}

// Cutoff angles are capped (cappedAngle) and the smoother's step at 1,
// which only matters far below 44100 Hz: there the band limit, hiss and tone
// filters would otherwise sit above half the rate and the smoother overshoot.
void leveler::instanceConstants(int rate)
{
    sampleRate = rate;
    const float fs = quill::clampedSampleRate(rate);
    clampedRate = fs;
    const float u = 1.0f / fs;
    piOverRate = 3.1415927f * u;
    smoothIn = quill::smoothingWeight(44.1f * u);
    smoothPole = 1.0f - smoothIn;
    bandTan = quill::tangent(cappedAngle(56548.668f * u));
    bandCot = 1.0f / bandTan;
    bandNorm = 1.0f / ((1.4142135f + bandCot) * bandCot + 1.0f);
    hissCot = 1.0f / quill::tangent(cappedAngle(25132.742f * u));
    hissPole = 1.0f - hissCot;
    hissNorm = 1.0f / (hissCot + 1.0f);
    inputAttack = quill::exponentialE(-50.0f * u);
    inputAttackIn = 1.0f - inputAttack;
    release = quill::exponentialE(-10.0f * u);
    inputReleaseStep = release - inputAttack;
    bandA2 = (bandCot - 1.4142135f) / bandTan + 1.0f;
    bandA1 = 2.0f - 2.0f / (bandTan * bandTan);
    detAttack = quill::exponentialE(-333.33334f * u);
    detAttackIn = 1.0f - detAttack;
    detReleaseStep = release - detAttack;
}

void leveler::instanceResetUserInterface()
{
    intensity = 0.3f;
    lastGoodIntensity = 0.3f;
}

void leveler::instanceClear()
{
    intensitySmooth[0] = intensitySmooth[1] = 0.0f;
    noiseState[0] = noiseState[1] = 0;
    noiseValue[0] = noiseValue[1] = 0.0f;
    hiss[0] = hiss[1] = 0.0f;
    clearSignalState();
}

void leveler::clearSignalState()
{
    inputEnvelope[0] = inputEnvelope[1] = 0.0f;
    bandState[0] = bandState[1] = bandState[2] = 0.0f;
    bandSum[0] = bandSum[1] = 0.0f;
    detEnvelope[0] = detEnvelope[1] = 0.0f;
    shaped[0] = shaped[1] = 0.0f;
    tone[0] = tone[1] = 0.0f;
}

// A full copy: it carries on exactly where this one stands.
dsp* leveler::clone() { return new leveler(*this); }
