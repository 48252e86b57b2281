// Siren synthesizer of klaxon~: a polyBLEP square wave whose pitch is swept
// by a five-shape LFO, through a two-pole lowpass whose cutoff follows an
// attack/release envelope, shaped by that envelope and a soft saturation.
// Five trigger buttons start a note and pick the LFO shape. No inputs; both
// outputs carry the same signal.
#pragma once

#include <cstdint>

#include "interface/dsp.h"
#include "kernels/common/remembered.h"

class klaxon : public dsp {
public:
    int32_t sampleRate = 0;           // rate last given to instanceConstants, unclamped
    float clampedRate = 0.0f;         // sampleRate as float, clamped to [1, kMaxSampleRate]
    float piOverRate = 0.0f;          // pi / clampedRate: hertz to the filter's tangent argument
    float smoothIn = 0.0f;            // 44.1 / clampedRate: input weight of the control smoothers
    float sweep = 0.0f;               // control "sweep": cutoff range grows as 100^sweep
    float smoothPole = 0.0f;          // 1 - smoothIn: feedback weight of the control smoothers
    float sweepSmooth[2] = {};        // smoothed sweep
    float attackStep = 0.0f;          // per-sample rise of the envelope's attack
    float triggerRandom = 0.0f;       // control "triggerRandom"
    float randomButton[2] = {};       // history of triggerRandom
    float triggerRevSaw = 0.0f;       // control "triggerRevSaw"
    float revSawButton[2] = {};       // history of triggerRevSaw
    float triggerSaw = 0.0f;          // control "triggerSaw"
    float sawButton[2] = {};          // history of triggerSaw
    float triggerTriangle = 0.0f;     // control "triggerTriangle"
    float triangleButton[2] = {};     // history of triggerTriangle
    float triggerSquare = 0.0f;       // control "triggerSquare"
    float squareButton[2] = {};       // history of triggerSquare
    int32_t held[2] = {};             // 1 while at least one trigger is held
    int32_t holdCount[2] = {};        // samples since the last press, frozen after release
    int32_t releaseCount[2] = {};     // samples since release, 0 while held
    float decay = 0.0f;               // control "decay": release time, seconds
    float decaySmooth[2] = {};        // smoothed decay
    float decayLatched[2] = {};       // decaySmooth taken at the last press
    float invRate = 0.0f;             // 1 / clampedRate
    float pitch = 0.0f;               // control "pitch": base frequency, hertz
    float depth = 0.0f;               // control "depth": pitch modulation, octaves
    float depthSmooth[2] = {};        // smoothed depth
    float shapeLatched[2] = {};       // LFO shape code taken at the last press
    float speed = 0.0f;               // control "speed": LFO rate, hertz
    float speedSmooth[2] = {};        // smoothed speed
    float lfoPhase[2] = {};           // LFO phase in cycles
    int32_t noiseState[2] = {};       // pseudo-random generator state
    float noiseHeld[2] = {};          // random LFO value, held for one LFO cycle
    float oscPhase[2] = {};           // oscillator phase in cycles
    float filterState1[2] = {};       // first integrator of the lowpass
    float filterState2[2] = {};       // second integrator of the lowpass
    float maxCutoff = 0.0f;           // 0.45 * clampedRate: the cutoff stays below half the rate

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

private:
    // Everything that depends only on the controls, formed once per block.
    struct BlockControls {
        float sweepIn, decayIn, depthIn, speedIn;  // smoother inputs, smoothIn * control
        float pitchInc;                            // cycles per sample at the base pitch
        float pitchPeriod;                         // samples per cycle at the base pitch
        float random, revSaw, saw, triangle, square;  // the five button values
        int32_t anyHeld, noneHeld;                 // 1/0: some button held, none held
    };

    // Last usable value of each control: a non-finite cell falls back to it.
    float goodDecay = 0.0f, goodDepth = 0.0f, goodSpeed = 0.0f, goodSweep = 0.0f, goodPitch = 0.0f;
    float goodRandom = 0.0f, goodRevSaw = 0.0f, goodSaw = 0.0f, goodTriangle = 0.0f, goodSquare = 0.0f;

    // Maths calls are skipped while their arguments repeat (settled
    // smoothers, a held envelope, a square or random LFO between its steps).
    quill::Remembered sweepRange{0u, 1.0f};  // exp(4.6051702 * sweepSmooth): exp(+0) = 1
    quill::Remembered cutoffTan{0u, 0.0f};   // tan(piOverRate * fc): tan(+0) = +0
    float cutoffDamping = 1.0f;              // 1 / (1 + g (g + 1)) for g = cutoffTan.value
    quill::Remembered pitchFactor{0u, 1.0f}; // exp2 of the pitch exponent: exp2(+0) = 1

    // The running state, in locals for the length of a block: loaded from
    // the pairs' second elements, and stored back into both elements (after
    // a block's last shift both hold its last sample).
    struct Running {
        int32_t held, holdCount, releaseCount;
        float saw, square, revSaw, random, triangle;  // the buttons at the previous sample
        float sweepS, decayS, decayL, depthS, shape, speedS, lfoP;
        int32_t noise;
        float noiseH, osc, s1, s2;
        quill::Remembered range, tangent, factor;  // sweepRange, cutoffTan, pitchFactor
        float damping;                             // cutoffDamping
    };
    Running load() const;
    void store(const Running& r);

    // Reads every control cell once: sliders clamped to their ranges, non-finite values ignored.
    BlockControls readControls();
    // True when the whole block is the middle of a held note: no press, none
    // released, the envelope at full level.
    bool heldNote(const BlockControls& c) const;
    // The sweep filter's tangent and damping for a smoothed sweep and an
    // envelope level, each maths call made only when its argument changed.
    void sweepFilter(float sweepS, float env, quill::Remembered& range, quill::Remembered& tangent, float& d) const;
    // The block loop for a held note: the envelope stays at 1.
    void computeHeld(const BlockControls& c, int count, float* out0, float* out1);
    // The block loop for every other case: each step of the plain description.
    void computeMoving(const BlockControls& c, int count, float* out0, float* out1);
};
