// klaxon~: control description, rate constants and resets.
#include "kernels/klaxon/klaxon.h"

#include <algorithm>
#include <initializer_list>

#include "kernels/common/control_smoother.h"
#include "kernels/common/rate_clamp.h"
#include "kernels/klaxon/klaxon_ranges.h"

using namespace klaxon_ranges;

// Four sliders under "Controls"; pitch and the five triggers under "Trigger".
void klaxon::buildUserInterface(UI* ui)
{
    ui->openVerticalBox("klaxon");
    ui->openHorizontalBox("Controls");
    ui->addHorizontalSlider("decay", &decay, kDecay.init, kDecay.min, kDecay.max, kDecay.step);
    ui->addHorizontalSlider("depth", &depth, kDepth.init, kDepth.min, kDepth.max, kDepth.step);
    ui->addHorizontalSlider("speed", &speed, kSpeed.init, kSpeed.min, kSpeed.max, kSpeed.step);
    ui->addHorizontalSlider("sweep", &sweep, kSweep.init, kSweep.min, kSweep.max, kSweep.step);
    ui->closeBox();
    ui->openHorizontalBox("Trigger");
    ui->declare(&pitch, "unit", "Hz");
    ui->addHorizontalSlider("pitch", &pitch, kPitch.init, kPitch.min, kPitch.max, kPitch.step);
    ui->addButton("triggerRandom", &triggerRandom);
    ui->addButton("triggerRevSaw", &triggerRevSaw);
    ui->addButton("triggerSaw", &triggerSaw);
    ui->addButton("triggerSquare", &triggerSquare);
    ui->addButton("triggerTriangle", &triggerTriangle);
    ui->closeBox();
    ui->closeBox();
}

void klaxon::instanceInit(int rate)
{
    instanceConstants(rate);
    instanceResetUserInterface();
    instanceClear();
}

void klaxon::instanceConstants(int rate)
{
    sampleRate = rate;
    clampedRate = quill::clampedSampleRate(rate);
    invRate = 1.0f / clampedRate;
    piOverRate = invRate * 3.1415927f;
    // Below 44.1 Hz a weight above 1 would make the smoothers ring or
    // diverge: there they follow the control at once.
    smoothIn = quill::smoothingWeight(invRate * 44.1f);
    smoothPole = 1.0f - smoothIn;
    // One millisecond of attack (999.99994 is the float just below 1000);
    // a single sample below 1000 Hz.
    attackStep = clampedRate > 999.99994f ? 999.99994f / clampedRate : 1.0f;
    // Keeps tan(piOverRate * fc) below pi/2 at low rates; in-range controls
    // never reach it (fc is at most about 6020 Hz) from 13378 Hz up.
    maxCutoff = 0.45f * clampedRate;
}

void klaxon::instanceResetUserInterface()
{
    sweep = kSweep.init;
    triggerRandom = triggerRevSaw = triggerSaw = triggerTriangle = triggerSquare = 0.0f;
    decay = kDecay.init;
    pitch = kPitch.init;
    depth = kDepth.init;
    speed = kSpeed.init;
    goodSweep = kSweep.init;
    goodDecay = kDecay.init;
    goodPitch = kPitch.init;
    goodDepth = kDepth.init;
    goodSpeed = kSpeed.init;
    goodRandom = goodRevSaw = goodSaw = goodTriangle = goodSquare = 0.0f;
}

void klaxon::instanceClear()
{
    for (float* pair : {sweepSmooth, randomButton, revSawButton, sawButton, triangleButton, squareButton, decaySmooth,
                        decayLatched, depthSmooth, shapeLatched, speedSmooth, lfoPhase, noiseHeld, oscPhase,
                        filterState1, filterState2})
        pair[0] = pair[1] = 0.0f;
    for (int32_t* pair : {held, holdCount, releaseCount, noiseState}) pair[0] = pair[1] = 0;
}
