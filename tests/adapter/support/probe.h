// A small kernel for the adapter tests. Its counts are chosen by the build
// (PROBE_INPUTS, PROBE_OUTPUTS). Output o is input o (or the last input) times
// "gain", plus "offset", plus o, plus the number of samples computed so far:
// every block differs, and a held kernel is easy to see.
#pragma once

#include <cstdint>

#include "interface/dsp.h"

#ifndef PROBE_INPUTS
#define PROBE_INPUTS 1
#endif
#ifndef PROBE_OUTPUTS
#define PROBE_OUTPUTS 2
#endif

class probe : public dsp {
public:
    int sampleRate = 0;
    float gain = 0.0f;
    float offset = 0.0f;
    float button = 0.0f;
    float counter = 0.0f;  // samples computed since the last clear
    int initCalls = 0;
    int computeCalls = 0;
    bool sawNullInputs = false;
    unsigned fpControlSeen = 0;  // the processor's float control word inside compute

    int getNumInputs() override { return PROBE_INPUTS; }
    int getNumOutputs() override { return PROBE_OUTPUTS; }
    void buildUserInterface(UI* ui) override
    {
        ui->openVerticalBox("probe");
        ui->addHorizontalSlider("gain", &gain, 1.0f, 0.0f, 10.0f, 0.1f);
        ui->openHorizontalBox("sub group");
        ui->addNumEntry("offset", &offset, 0.5f, -1.0f, 1.0f, 0.01f);
        ui->addButton("gain", &button);
        ui->closeBox();
        ui->closeBox();
    }
    int getSampleRate() override { return sampleRate; }
    void init(int rate) override { instanceInit(rate); }
    void instanceInit(int rate) override
    {
        ++initCalls;
        instanceConstants(rate);
        instanceResetUserInterface();
        instanceClear();
    }
    void instanceConstants(int rate) override { sampleRate = rate; }
    void instanceResetUserInterface() override
    {
        gain = 1.0f;
        offset = 0.5f;
        button = 0.0f;
    }
    void instanceClear() override { counter = 0.0f; }
    dsp* clone() override { return new probe(); }
    void metadata(Meta* m) override { m->declare("name", "probe"); }
    using dsp::compute;
    void compute(int count, float** inputs, float** outputs) override
    {
        ++computeCalls;
#if defined(__x86_64__)
        asm volatile("stmxcsr %0" : "=m"(fpControlSeen) : : "memory");
#elif defined(__aarch64__)
        uint64_t fpcr = 0;
        asm volatile("mrs %0, fpcr" : "=r"(fpcr) : : "memory");
        fpControlSeen = static_cast<unsigned>(fpcr);
#endif
        if (inputs == nullptr) sawNullInputs = true;
        const float g = gain;
        const float off = offset;
        for (int i = 0; i < count; ++i) {
            for (int o = 0; o < PROBE_OUTPUTS; ++o) {
                float in = 0.0f;
                if (PROBE_INPUTS > 0) in = inputs[o < PROBE_INPUTS ? o : PROBE_INPUTS - 1][i];
                outputs[o][i] = in * g + off + static_cast<float>(o) + counter;
            }
            counter += 1.0f;
        }
    }
};
