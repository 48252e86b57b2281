// leveler~: the per-block control read and the block loop.
//
// The running state lives in locals for the whole block and goes back into
// the pairs at the end. Every value is formed by the same operations in the
// same order as the plain chain, so the bits are the same. What changes is
// only the order in which independent work is done: the recursive filters
// of a run of samples first, then the compressor's gains, which need no
// recursion, then the clipper and tone filter. A maths call runs again only
// when its argument changed (the tone cotangent and the make-up once the
// intensity has settled, the compressor's gain below its knee), and the
// quantiser's floor is an exact integer conversion.
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "kernels/common/control_smoother.h"
#include "kernels/common/lanes.h"
#include "kernels/common/wrapping_noise.h"
#include "kernels/leveler/leveler.h"
#include "kernels/leveler/leveler_stages.h"
#include "kernels/common/maths/maths.h"

namespace stage = quill::leveler_stages;
using quill::bitsOf;

namespace {

// Samples per pass: the passes hand values on through arrays of this size.
constexpr int kChunk = 64;

// Beyond this a state fed by the input is treated as poisoned.
constexpr float kStateLimit = 1e20f;

// The compressor's r = max(1 - k, 0.0001): 1 over its ratio.
float ratioOf(float k)
{
    return std::max(1.0f - k, 0.0001f);
}

// The tone filter's cotangents for n smoothed intensities k, in the widest
// lanes this processor runs and the rest one by one.
void toneCotangents(const float* k, int n, float piOverRate, float* cots)
{
    using namespace quill::lanes;
    widest([=](auto lanes) __attribute__((always_inline)) {
        using V = decltype(lanes);
        int i = 0;
        for (; i + widthOf<V> <= n; i += widthOf<V>)
            store(cots + i, stage::toneCotangent(stage::toneAngle(load<V>(k + i), piOverRate)));
        for (; i < n; ++i) cots[i] = stage::toneCotangent(stage::toneAngle(k[i], piOverRate));
    });
}

}  // namespace

float leveler::readIntensity()
{
    const float value = intensity;
    if (std::isfinite(value)) lastGoodIntensity = std::min(std::max(value, 0.0f), 1.0f);
    return lastGoodIntensity;
}

// Finite, and within kStateLimit: inputs within +-1e6 keep every state far
// below it at any rate, while a state beyond it (left by an absurd input,
// 1e35 say) can ring up past the float range later, the sooner the higher
// the rate (the band limit's delay line grows with the square of its cotangent).
bool leveler::signalStateFinite() const
{
    for (float v : {inputEnvelope[1], bandState[1], bandState[2], bandSum[1], detEnvelope[1], shaped[1], tone[1]})
        if (!(std::fabs(v) <= kStateLimit)) return false;
    return true;
}

void leveler::compute(int count, QUILLFLOAT** inputs, QUILLFLOAT** outputs)
{
    if (count <= 0) return;
    const float intensityIn = smoothIn * readIntensity();
    const float* in = inputs[0];
    float* out = outputs[0];

    // The previous sample's values, kept in locals for the whole block.
    float k = intensitySmooth[1];
    int32_t noise = noiseState[1];
    float noisePrev = noiseValue[1], hissPrev = hiss[1], inEnv = inputEnvelope[1];
    float band[3] = {bandState[0], bandState[1], bandState[2]};
    float sumPrev = bandSum[1], det = detEnvelope[1], shapedPrev = shaped[1], tonePrev = tone[1];
    quill::Remembered cot = toneCot, up = makeup, down = gain;
    const float pole = smoothPole, norm = bandNorm;

    // Per-sample values handed from one pass to the next.
    // Seven arrays of 64 floats: 1.75 KiB of stack.
    float smoothed[kChunk], sums[kChunk], levels[kChunk], gains[kChunk];
    float ratios[kChunk], cots[kChunk], ups[kChunk];

    for (int start = 0; start < count; start += kChunk) {
        const int n = std::min(kChunk, count - start);

        // Smoother, hiss, input envelope, quantiser, band limit and detector:
        // the recursions that run on the input.
        for (int i = 0; i < n; ++i) {
            const float x = in[start + i];
            k = quill::smoothStep(pole, k, intensityIn);
            smoothed[i] = k;
            noise = quill::noiseNext(noise);
            const float noiseNow = static_cast<float>(noise);
            hissPrev = stage::hissLowpass(hissNorm, hissPole, noiseNow, noisePrev, hissPrev);
            noisePrev = noiseNow;
            inEnv = stage::envelopeFollower(inputAttack, inputAttackIn, inputReleaseStep, inEnv, std::fabs(x));
            const float q = stage::quantise(x, inEnv, hissPrev);
            const float sum = stage::bandLowpass(q, norm, bandA1, bandA2, band);
            band[2] = band[1];
            band[1] = band[0];
            // The detector hears the previous band-limited sample.
            det = stage::envelopeFollower(detAttack, detAttackIn, detReleaseStep, det, std::fabs(norm * sumPrev));
            levels[i] = det;
            sums[i] = sum;
            sumPrev = sum;
        }

        // A smoother that gives its own value again has come to rest and
        // gives it for the rest of the block: the intensity glides through
        // this chunk exactly when its first two values differ.
        const bool gliding = n > 1 && bitsOf(smoothed[1]) != bitsOf(smoothed[0]);

        // The compressor's gain: no recursion, so the logarithms and
        // exponentials of consecutive samples overlap.
        for (int i = 0; i < n; ++i) levels[i] = stage::compressorLogArgument(levels[i]);
        quill::decimalLogs(levels, levels, n);
        if (gliding) {
            for (int i = 0; i < n; ++i) ratios[i] = ratioOf(smoothed[i]);
            for (int i = 0; i < n; ++i) levels[i] = stage::compressorExponentOfLog(levels[i], ratios[i]);
        } else {
            const float r = ratioOf(smoothed[0]);
            for (int i = 0; i < n; ++i) levels[i] = stage::compressorExponentOfLog(levels[i], r);
        }
        // Below the knee the exponent stays +-0: its gain is remembered.
        int moving = 0;
        for (int i = 0; i < n; ++i) moving += bitsOf(levels[i]) != down.key;
        if (moving) {
            quill::exponentialsTen(levels, gains, n);
            down = {bitsOf(levels[n - 1]), gains[n - 1]};
        } else {
            for (int i = 0; i < n; ++i) gains[i] = down.value;
        }

        // The tone filter's cotangent and the make-up gain of each sample:
        // while the intensity glides, every sample's differ, and the
        // tangents are formed several lanes at a time.
        if (gliding) {
            toneCotangents(smoothed, n, piOverRate, cots);
            for (int i = 0; i < n; ++i) ups[i] = stage::makeupExponent(ratios[i]);
            up.key = bitsOf(ups[n - 1]);
            quill::exponentialsTen(ups, ups, n);
            up.value = ups[n - 1];
            cot = {bitsOf(stage::toneAngle(smoothed[n - 1], piOverRate)), cots[n - 1]};
        } else {
            cot.of(stage::toneAngle(smoothed[0], piOverRate), stage::toneCotangent<float>);
            up.of(stage::makeupExponent(ratioOf(smoothed[0])), quill::exponentialTen);
            for (int i = 0; i < n; ++i) cots[i] = cot.value, ups[i] = up.value;
        }

        // Soft clipper and tone lowpass.
        for (int i = 0; i < n; ++i) {
            const float shapedNow = stage::softClip(ups[i], sums[i], gains[i], norm);
            tonePrev = stage::toneLowpass(norm, shapedNow, shapedPrev, cots[i], tonePrev);
            shapedPrev = shapedNow;
            out[start + i] = tonePrev;  // every input sample of the chunk was read before
        }
    }

    // Back into the pairs: after the last shift both elements hold the last sample.
    intensitySmooth[0] = intensitySmooth[1] = k;
    noiseState[0] = noiseState[1] = noise;
    noiseValue[0] = noiseValue[1] = noisePrev;
    hiss[0] = hiss[1] = hissPrev;
    inputEnvelope[0] = inputEnvelope[1] = inEnv;
    bandState[0] = band[0];
    bandState[1] = band[1];
    bandState[2] = band[2];
    bandSum[0] = bandSum[1] = sumPrev;
    detEnvelope[0] = detEnvelope[1] = det;
    shaped[0] = shaped[1] = shapedPrev;
    tone[0] = tone[1] = tonePrev;
    toneCot = cot, makeup = up, gain = down;

    // A NaN or infinite input sample poisons the filters: start them afresh,
    // so that the next block is finite again. Smoother, noise and hiss never
    // see the input and keep running.
    if (!signalStateFinite()) clearSignalState();
}
