// A kernel for the adapter on 64-bit Arm: it multiplies its input by `gain`
// (1) into both outputs and keeps the floating-point control register (FPCR) it ran under. Named
// `probe` so that the adapter tests' fixture drives it.
#pragma once

#include <cstdint>

#include "interface/dsp.h"

class probe : public dsp {
public:
    int sampleRate = 0;
    uint64_t fpcrSeen = 0;  // FPCR inside the last compute
    int computeCalls = 0;
    float gain = 1.0f;      // a multiplier the compiler cannot fold away

    int getNumInputs() override { return 1; }
    int getNumOutputs() override { return 2; }
    void buildUserInterface(UI*) override {}
    int getSampleRate() override { return sampleRate; }
    void init(int rate) override { instanceInit(rate); }
    void instanceInit(int rate) override
    {
        instanceConstants(rate);
        instanceResetUserInterface();
        instanceClear();
    }
    void instanceConstants(int rate) override { sampleRate = rate; }
    void instanceResetUserInterface() override {}
    void instanceClear() override {}
    dsp* clone() override { return new probe(); }
    void metadata(Meta* m) override { m->declare("name", "probe"); }
    using dsp::compute;
    void compute(int count, float** inputs, float** outputs) override
    {
        ++computeCalls;
#if defined(__aarch64__)
        asm volatile("mrs %0, fpcr" : "=r"(fpcrSeen) : : "memory");
#endif
        const float g = gain;
        for (int i = 0; i < count; ++i) {
            outputs[0][i] = inputs[0][i] * g;
            outputs[1][i] = inputs[0][i] * g;
        }
    }
};
