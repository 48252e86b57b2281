// Resonant second-order lowpass of mellow~: the bilinear transform, with the
// cutoff prewarped, of 1 / (s² + s/Q + 1). Unity gain at 0 Hz, gain Q at the
// cutoff, a double zero at half the rate. Cutoff and Q glide towards their
// set values through one-pole smoothers, so the coefficients never jump.
#pragma once

#include <cmath>

#include "interface/dsp.h"
#include "kernels/mellow/mellow_filter.h"

class mellow : public dsp {
public:
    int sampleRate = 0;              // rate last given to instanceConstants, unclamped
    float piOverRate = 0.0f;         // π / fs: hertz to the prewarp angle
    float smoothIn = 0.0f;           // 44.1 / fs: input weight of both control smoothers
    float cutoff = 0.0f;             // cell of "cutoff", in hertz
    float smoothPole = 0.0f;         // 1 - smoothIn: feedback weight of both smoothers
    float cutoffSmooth[2] = {};      // smoothed cutoff: [0] this sample, [1] the previous one
    float resonanceQ = 0.0f;         // cell of "resonanceQ"
    float resonanceQSmooth[2] = {};  // smoothed Q: [0] this sample, [1] the previous one
    float lowpassState[3] = {};      // direct form II delay line: [0] now, [1] and [2] samples back

    using dsp::compute;

    int getNumInputs() override;
    int getNumOutputs() override;
    void buildUserInterface(UI* ui) override;
    int getSampleRate() override;
    void init(int rate) override;
    void instanceInit(int rate) override;
    void instanceConstants(int rate) override;
    void instanceResetUserInterface() override;
    void instanceClear() override;
    dsp* clone() override;
    void metadata(Meta* m) override;
    void compute(int count, QUILLFLOAT** inputs, QUILLFLOAT** outputs) override;

    // For the voices of a multichannel mellow~ (mellow_voices), which share
    // one set of controls: the block's smoother inputs, then either the
    // resting weights for the whole block or the gliding weights sample by
    // sample (advancing the smoothers), formed exactly as compute forms them.
    struct BlockInputs {
        float cutoffIn, qIn;  // the smoothers' weighted inputs
        bool settled;         // both smoothers rest: one set of weights for the block
    };
    BlockInputs beginBlock();
    // The weights while both smoothers rest, formed again only when the
    // smoothed values (or the rate) changed since they were last formed.
    const mellow_filter::Weights<float>& restingWeights();
    void glidingWeights(int count, const BlockInputs& b, float* g, float* a1, float* a2);
    // Zeroes the smoothers when they left the float range (they cannot,
    // short of a fault): compute's check of them, without the delay line.
    bool smoothersSane();
    // Whether a delay line's two older values are finite and within
    // kStateLimit: beyond it (inputs within +-1e6 keep it below about 4e13)
    // the line would ring up past the float range at a low cutoff and high Q
    // some blocks later, and starts afresh instead.
    static constexpr float kStateLimit = 1e20f;
    static bool delayLineSane(float one, float two)
    {
        return std::fabs(one) <= kStateLimit && std::fabs(two) <= kStateLimit;
    }

private:
    float cutoffCeiling = 0.0f;   // 0.49 · fs: keeps the prewarp angle below π/2
    float lastGoodCutoff = 0.0f;  // last finite "cutoff" read, stands in for a non-finite one
    float lastGoodQ = 0.0f;       // last finite "resonanceQ" read, likewise
    // The resting weights, and the smoothed values (and prewarp factor)
    // they were formed from.
    bool settledValid = false;
    float settledCutoff = 0.0f, settledQ = 0.0f, settledPiOverRate = 0.0f;
    mellow_filter::Weights<float> settled{};

    // The cutoff this block uses: finite, in [20, 20000] and below half the rate.
    float blockCutoff();
    // The Q this block uses: finite, in [0.5, 15].
    float blockResonance();
    // True when both smoothers sit at their fixed points for these inputs:
    // then every coefficient stays the same for the whole block.
    bool smoothersSettled(float cutoffIn, float qIn) const;
    // True when the Q smoother rests at this input: its damping is one value.
    bool qRests(float qIn) const;
    // The block with settled smoothers: coefficients formed once.
    void filterSettled(int count, const float* in, float* out0, float* out1);
    // The block with gliding smoothers; cutoffIn and qIn are their weighted inputs.
    void filterGliding(int count, const float* in, float* out0, float* out1, float cutoffIn, float qIn);
    // Zeroes smoothers and delay line.
    void clearState();
};
