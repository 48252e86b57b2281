// Level stage of leveler~: a faint envelope-gated hiss, quantisation to
// 1/2048 steps, an 18 kHz Butterworth band limit, a soft-knee compressor with
// make-up gain, a soft clipper and a darkening one-pole lowpass, all governed
// by one control, "intensity" (0 to 1). One input, one output.
#pragma once

#include <cmath>
#include <cstdint>

#include "interface/dsp.h"
#include "kernels/common/maths/maths.h"
#include "kernels/common/remembered.h"

class leveler : public dsp {
public:
    int32_t sampleRate = 0;          // rate last given to instanceConstants, unclamped
    float clampedRate = 0.0f;        // fs: sampleRate clamped to [1, kMaxSampleRate]
    float piOverRate = 0.0f;         // pi / fs: hertz to bilinear prewarp angle
    float smoothIn = 0.0f;           // 44.1 / fs: input weight of the intensity smoother
    float intensity = 0.0f;          // cell of the "intensity" control
    float smoothPole = 0.0f;         // 1 - smoothIn: pole of the intensity smoother
    float intensitySmooth[2] = {};   // smoothed intensity k: [0] this sample, [1] previous
    float bandTan = 0.0f;            // tan(pi * 18000 / fs)
    float bandCot = 0.0f;            // 1 / bandTan
    float bandNorm = 0.0f;           // gain normalisation of the band-limit lowpass
    float hissCot = 0.0f;            // cot(pi * 8000 / fs)
    float hissNorm = 0.0f;           // 1 / (hissCot + 1): hiss lowpass normalisation
    int32_t noiseState[2] = {};      // noise generator: [0] this sample, [1] previous
    float noiseValue[2] = {};        // noiseState as float: [0] this sample, [1] previous
    float hissPole = 0.0f;           // 1 - hissCot: feedback of the hiss lowpass
    float hiss[2] = {};              // low-passed noise: [0] this sample, [1] previous
    float inputAttack = 0.0f;        // exp(-50 / fs): input envelope rising (20 ms)
    float inputAttackIn = 0.0f;      // 1 - inputAttack
    float release = 0.0f;            // exp(-10 / fs): both envelopes falling (100 ms)
    float inputReleaseStep = 0.0f;   // release - inputAttack
    float inputEnvelope[2] = {};     // envelope of |input|: [0] this sample, [1] previous
    float bandA2 = 0.0f;             // second feedback coefficient of the band limit
    float bandA1 = 0.0f;             // first feedback coefficient of the band limit
    float bandState[3] = {};         // band-limit delay line: [0] now, [1] and [2] samples back
    float bandSum[2] = {};           // unnormalised band-limit output: [0] now, [1] previous
    float detAttack = 0.0f;          // exp(-333.33334 / fs): detector rising (3 ms)
    float detAttackIn = 0.0f;        // 1 - detAttack
    float detReleaseStep = 0.0f;     // release - detAttack
    float detEnvelope[2] = {};       // compressor detector: [0] this sample, [1] previous
    float shaped[2] = {};            // soft-clipped signal over bandNorm: [0] now, [1] previous
    float tone[2] = {};              // tone lowpass output: [0] this sample, [1] previous

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
    float lastGoodIntensity = 0.3f;  // last finite intensity read, clamped to [0, 1]
    // Maths results while their arguments repeat (a settled intensity, a
    // level below the knee).
    quill::Remembered toneCot{0u, 1.0f / quill::tangent(0.0f)};  // 1 / tan(tone angle)
    quill::Remembered makeup{0u, quill::exponentialTen(0.0f)};   // 10^(1.5 - 1.5 r)
    quill::Remembered gain{0u, quill::exponentialTen(0.0f)};     // 10^(compressor exponent)

    // The intensity for this block: the cell clamped to [0, 1], or the last
    // good value when the cell holds no finite number.
    float readIntensity();
    // True when every state fed by the input is finite and within a sane bound.
    bool signalStateFinite() const;
    // Zeroes the state fed by the input (envelopes, filters, clipper).
    void clearSignalState();
};
