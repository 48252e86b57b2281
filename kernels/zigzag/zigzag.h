// Band-limited triangle oscillator of zigzag~: a square wave whose two jumps
// per cycle are rounded off by polyBLEP, integrated by a leaky integrator and
// scaled by 4·f/fs so that the peak stays near 1 at every frequency. When
// the frequency changes, the integrator's level is rescaled to it, so the
// output follows the triangle of the phase and never bursts; frequencies at
// or beyond half the rate play just below it.
// Input 0 is the frequency in hertz, sample by sample; both outputs carry the
// same triangle.
#pragma once

#include "interface/dsp.h"

class zigzag : public dsp {
public:
    int sampleRate = 0;        // rate last given to instanceConstants, unclamped
    float clampedRate = 0.0f;  // sampleRate as float, clamped to [1, kMaxSampleRate]
    float ampScale = 0.0f;     // 4 / clampedRate: integrator to unit triangle (times f)
    float invRate = 0.0f;      // 1 / clampedRate: hertz to cycles per sample
    float maxFrequency = 0.0f; // highest frequency played: the largest below half the rate
    float phase[2] = {};       // [0] this sample's phase in cycles, [1] the previous one
    float integrator[2] = {};  // [0] this sample's leaky integrator, [1] the previous one
    float frequency[2] = {};   // [0] this sample's frequency as played, [1] the previous one
    float output[2] = {};      // [0] this sample's output, [1] the previous one
    bool levelInOutputUnits = false;  // the frequency is changing: `output` carries the level

    using dsp::compute;

    int getNumInputs() override { return 1; }
    int getNumOutputs() override { return 2; }
    void buildUserInterface(UI* ui) override;
    int getSampleRate() override { return sampleRate; }
    void init(int rate) override { instanceInit(rate); }
    void instanceInit(int rate) override;
    void instanceConstants(int rate) override;
    void instanceResetUserInterface() override {}
    void instanceClear() override;
    dsp* clone() override { return new zigzag(); }
    void metadata(Meta* m) override;
    void compute(int count, QUILLFLOAT** inputs, QUILLFLOAT** outputs) override;

    // Largest output magnitude: a steady oscillator started from rest peaks at 1.93.
    static constexpr float kMaxLevel = 2.0f;
};
