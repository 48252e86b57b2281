// A kernel that does nothing at all, so that a benchmark of the adapter
// around it measures the adapter alone. Its counts come from the build
// (IDLE_INPUTS, IDLE_OUTPUTS); it has one control so that the registry is
// not empty.
#pragma once

#include "interface/dsp.h"

#ifndef IDLE_INPUTS
#define IDLE_INPUTS 1
#endif
#ifndef IDLE_OUTPUTS
#define IDLE_OUTPUTS 2
#endif

class idle : public dsp {
public:
    int sampleRate = 0;  // rate last given to instanceConstants
    float level = 0.0f;  // cell of "level", never read

    using dsp::compute;

    int getNumInputs() override { return IDLE_INPUTS; }
    int getNumOutputs() override { return IDLE_OUTPUTS; }
    void buildUserInterface(UI* ui) override
    {
        ui->openVerticalBox("idle");
        ui->addHorizontalSlider("level", &level, 0.0f, 0.0f, 1.0f, 0.01f);
        ui->closeBox();
    }
    int getSampleRate() override { return sampleRate; }
    void init(int rate) override { instanceInit(rate); }
    void instanceInit(int rate) override
    {
        instanceConstants(rate);
        instanceResetUserInterface();
        instanceClear();
    }
    void instanceConstants(int rate) override { sampleRate = rate; }
    void instanceResetUserInterface() override { level = 0.0f; }
    void instanceClear() override {}
    dsp* clone() override { return new idle(); }
    void metadata(Meta* m) override { m->declare("name", "idle"); }
    void compute(int, QUILLFLOAT**, QUILLFLOAT**) override {}
};
