// mellow~: the block loop. Once both smoothers have come to rest (a one-pole
// smoother in float reaches a fixed point and stays there), cotangent,
// damping and the filter's weights are the same for every sample: they are
// formed once, kept from block to block while the smoothed values stay, and
// the sample loop is the bare recursion. While a smoother glides, each sample
// forms them afresh: a chunk of samples at a time, the smoothers first, then
// tangents and weights several lanes at a time, then the recursion. Every
// value is computed by the same operations in the same order either way, so
// both paths give the same bits.
#include <cmath>
#include <cstdint>
#include <cstring>

#include "kernels/common/control_smoother.h"
#include "kernels/mellow/mellow.h"
#include "kernels/mellow/mellow_filter.h"

namespace {

// Beyond this the delay line is treated as poisoned.
constexpr float kStateLimit = 1e20f;

// Samples per pass of the gliding loop.
constexpr int kChunk = 64;

// From tangents t and Q values: c = 1/t, d = 1/Q, then g, a1 and a2 exactly
// as mellow_filter forms them, four lanes at a time and the rest one by one.
void formWeights(const float* t, const float* q, float* g, float* a1, float* a2, int n)
{
    using namespace mellow_filter;
    typedef float f32x4 __attribute__((vector_size(16)));
    int i = 0;
    for (; i + 4 <= n; i += 4) {
        f32x4 tv, qv;
        std::memcpy(&tv, t + i, sizeof tv);
        std::memcpy(&qv, q + i, sizeof qv);
        const f32x4 c = 1.0f / tv;
        const f32x4 d = 1.0f / qv;
        const f32x4 gv = lowpassNormaliser(c, d);
        const f32x4 a1v = lowpassA1(c);
        const f32x4 a2v = lowpassA2(c, d);
        std::memcpy(g + i, &gv, sizeof gv);
        std::memcpy(a1 + i, &a1v, sizeof a1v);
        std::memcpy(a2 + i, &a2v, sizeof a2v);
    }
    for (; i < n; ++i) {
        const float c = 1.0f / t[i];
        const float d = 1.0f / q[i];
        g[i] = lowpassNormaliser(c, d);
        a1[i] = lowpassA1(c);
        a2[i] = lowpassA2(c, d);
    }
}

uint32_t bitsOf(float v)
{
    uint32_t b;
    std::memcpy(&b, &v, sizeof b);
    return b;
}

}  // namespace

bool mellow::smoothersSettled(float cutoffIn, float qIn) const
{
    const float nextCutoff = quill::smoothStep(smoothPole, cutoffSmooth[1], cutoffIn);
    const float nextQ = quill::smoothStep(smoothPole, resonanceQSmooth[1], qIn);
    return bitsOf(nextCutoff) == bitsOf(cutoffSmooth[1]) && bitsOf(nextQ) == bitsOf(resonanceQSmooth[1]);
}

void mellow::filterSettled(int count, const float* in, float* out0, float* out1)
{
    using namespace mellow_filter;
    const float cs = cutoffSmooth[1];
    const float qs = resonanceQSmooth[1];
    // The weights depend on cs, qs and piOverRate alone: formed again only
    // when one of them changed since the last settled block.
    if (!settledValid || bitsOf(cs) != bitsOf(settledCutoff) || bitsOf(qs) != bitsOf(settledQ) ||
        bitsOf(piOverRate) != bitsOf(settledPiOverRate)) {
        const float c = prewarpedCotangent(piOverRate, cs);
        const float d = 1.0f / qs;
        settledG = lowpassNormaliser(c, d);
        settledA1 = lowpassA1(c);
        settledA2 = lowpassA2(c, d);
        settledCutoff = cs;
        settledQ = qs;
        settledPiOverRate = piOverRate;
        settledValid = true;
    }
    const float g = settledG;
    const float a1 = settledA1;
    const float a2 = settledA2;
    float s1 = lowpassState[1];
    float s2 = lowpassState[2];
    for (int i = 0; i < count; ++i) {
        const float s0 = lowpassFeedback(in[i], g, a1, a2, s1, s2);  // reads in[i] first: buffers may alias
        const float y = lowpassFeedforward(g, s0, s1, s2);
        out0[i] = y;
        out1[i] = y;
        s2 = s1;
        s1 = s0;
    }
    cutoffSmooth[0] = cs;
    resonanceQSmooth[0] = qs;
    lowpassState[0] = s1;
    lowpassState[1] = s1;
    lowpassState[2] = s2;
}

void mellow::filterGliding(int count, const float* in, float* out0, float* out1, float cutoffIn, float qIn)
{
    using namespace mellow_filter;
    const float pole = smoothPole;
    const float toAngle = piOverRate;
    float cs = cutoffSmooth[1];
    float qs = resonanceQSmooth[1];
    float s1 = lowpassState[1];
    float s2 = lowpassState[2];
    // A chunk's weights, formed before its recursion runs (they never depend
    // on the signal): 6 x 64 floats, 1.5 KiB of stack.
    alignas(16) float angle[kChunk], tangent[kChunk], q[kChunk];
    alignas(16) float g[kChunk], a1[kChunk], a2[kChunk];
    for (int start = 0; start < count; start += kChunk) {
        const int n = count - start < kChunk ? count - start : kChunk;
        // The smoothers: a serial one-pole each.
        for (int i = 0; i < n; ++i) {
            cs = quill::smoothStep(pole, cs, cutoffIn);
            angle[i] = toAngle * cs;
            qs = quill::smoothStep(pole, qs, qIn);
            q[i] = qs;
        }
        // Tangents, then the weights, several lanes at a time: each lane
        // does the scalar formulas' operations in their order.
        quill::tangents(angle, tangent, n);
        formWeights(tangent, q, g, a1, a2, n);
        // The recursion.
        for (int i = 0; i < n; ++i) {
            const float s0 = lowpassFeedback(in[start + i], g[i], a1[i], a2[i], s1, s2);
            const float y = lowpassFeedforward(g[i], s0, s1, s2);
            out0[start + i] = y;  // in[start + i] was read first: buffers may alias
            out1[start + i] = y;
            s2 = s1;
            s1 = s0;
        }
    }
    cutoffSmooth[0] = cutoffSmooth[1] = cs;
    resonanceQSmooth[0] = resonanceQSmooth[1] = qs;
    lowpassState[0] = s1;
    lowpassState[1] = s1;
    lowpassState[2] = s2;
}

void mellow::compute(int count, QUILLFLOAT** inputs, QUILLFLOAT** outputs)
{
    if (count <= 0) return;
    const float cutoffIn = smoothIn * blockCutoff();
    const float qIn = smoothIn * blockResonance();
    if (smoothersSettled(cutoffIn, qIn))
        filterSettled(count, inputs[0], outputs[0], outputs[1]);
    else
        filterGliding(count, inputs[0], outputs[0], outputs[1], cutoffIn, qIn);
    // A non-finite input poisons the delay line: start afresh next block. So
    // does an absurdly large one: a state beyond kStateLimit (inputs within
    // +-1e6 keep it below about 4e13) would ring up past the float range at a
    // low cutoff and high Q some blocks later.
    const bool sane = std::fabs(lowpassState[1]) <= kStateLimit && std::fabs(lowpassState[2]) <= kStateLimit &&
                      std::isfinite(cutoffSmooth[1]) && std::isfinite(resonanceQSmooth[1]);
    if (!sane) clearState();
}
