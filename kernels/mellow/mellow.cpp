// mellow~: initialisation, rate constants and state.
#include "kernels/mellow/mellow.h"

#include <algorithm>
#include <cmath>

#include "kernels/common/control_smoother.h"
#include "kernels/common/rate_clamp.h"

void mellow::buildUserInterface(UI* ui)
{
    ui->openVerticalBox("mellow");
    ui->declare(&cutoff, "scale", "log");
    ui->declare(&cutoff, "unit", "Hz");
    ui->addHorizontalSlider("cutoff", &cutoff, 2000.0f, 20.0f, 20000.0f, 0.1f);
    ui->addHorizontalSlider("resonanceQ", &resonanceQ, 1.0f, 0.5f, 15.0f, 0.01f);
    ui->closeBox();
}

void mellow::instanceInit(int rate)
{
    instanceConstants(rate);
    instanceResetUserInterface();
    instanceClear();
}

void mellow::instanceConstants(int rate)
{
    sampleRate = rate;
    const float fs = quill::clampedSampleRate(rate);
    piOverRate = 3.1415927f / fs;
    // Below 44.1 Hz the smoother's weight would pass 1 and its pole leave
    // [0, 1): it would overshoot or diverge. There it follows at once.
    smoothIn = quill::smoothingWeight(44.1f / fs);
    smoothPole = 1.0f - smoothIn;
    cutoffCeiling = 0.49f * fs;
}

void mellow::instanceResetUserInterface()
{
    cutoff = 2000.0f;
    resonanceQ = 1.0f;
    lastGoodCutoff = cutoff;
    lastGoodQ = resonanceQ;
}

void mellow::clearState()
{
    cutoffSmooth[0] = cutoffSmooth[1] = 0.0f;
    resonanceQSmooth[0] = resonanceQSmooth[1] = 0.0f;
    lowpassState[0] = lowpassState[1] = lowpassState[2] = 0.0f;
}
