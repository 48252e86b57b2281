// mellow~: initialisation, rate constants and the per-sample filter.
#include "kernels/mellow/mellow.h"

#include <algorithm>
#include <cmath>

#include "kernels/common/control_smoother.h"
#include "kernels/mellow/mellow_filter.h"

int mellow::getNumInputs() { return 1; }
int mellow::getNumOutputs() { return 2; }

void mellow::buildUserInterface(UI* ui)
{
    ui->openVerticalBox("mellow");
    ui->declare(&cutoff, "scale", "log");
    ui->declare(&cutoff, "unit", "Hz");
    ui->addHorizontalSlider("cutoff", &cutoff, 2000.0f, 20.0f, 20000.0f, 0.1f);
    ui->addHorizontalSlider("resonanceQ", &resonanceQ, 1.0f, 0.5f, 15.0f, 0.01f);
    ui->closeBox();
}

int mellow::getSampleRate() { return sampleRate; }

void mellow::init(int rate) { instanceInit(rate); }

void mellow::instanceInit(int rate)
{
    instanceConstants(rate);
    instanceResetUserInterface();
    instanceClear();
}

void mellow::instanceConstants(int rate)
{
    sampleRate = rate;
    const float fs = std::min(192000.0f, std::max(1.0f, static_cast<float>(rate)));
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

void mellow::instanceClear() { clearState(); }

void mellow::clearState()
{
    cutoffSmooth[0] = cutoffSmooth[1] = 0.0f;
    resonanceQSmooth[0] = resonanceQSmooth[1] = 0.0f;
    lowpassState[0] = lowpassState[1] = lowpassState[2] = 0.0f;
}

dsp* mellow::clone() { return new mellow(); }

float mellow::tick(float x, float cutoffIn, float qIn)
{
    using namespace mellow_filter;
    cutoffSmooth[0] = quill::smoothStep(smoothPole, cutoffSmooth[1], cutoffIn);
    const float c = prewarpedCotangent(piOverRate, cutoffSmooth[0]);
    resonanceQSmooth[0] = quill::smoothStep(smoothPole, resonanceQSmooth[1], qIn);
    const float d = 1.0f / resonanceQSmooth[0];
    const float g = lowpassNormaliser(c, d);
    lowpassState[0] = lowpassFeedback(x, g, c, d, lowpassState[1], lowpassState[2]);
    const float y = lowpassFeedforward(g, lowpassState[0], lowpassState[1], lowpassState[2]);
    cutoffSmooth[1] = cutoffSmooth[0];
    resonanceQSmooth[1] = resonanceQSmooth[0];
    lowpassState[2] = lowpassState[1];
    lowpassState[1] = lowpassState[0];
    return y;
}

void mellow::compute(int count, QUILLFLOAT** inputs, QUILLFLOAT** outputs)
{
    if (count <= 0) return;
    const float cutoffIn = smoothIn * blockCutoff();
    const float qIn = smoothIn * blockResonance();
    const float* in = inputs[0];
    float* out0 = outputs[0];
    float* out1 = outputs[1];
    for (int i = 0; i < count; ++i) {
        const float y = tick(in[i], cutoffIn, qIn);  // reads in[i] before writing: buffers may alias
        out0[i] = y;
        out1[i] = y;
    }
    // A non-finite input poisons the delay line: start afresh next block.
    const bool finite = std::isfinite(lowpassState[1]) && std::isfinite(lowpassState[2]) &&
                        std::isfinite(cutoffSmooth[1]) && std::isfinite(resonanceQSmooth[1]);
    if (!finite) clearState();
}
