// mellow~: the block loop, and the weights it shares with the voices of a
// multichannel mellow~. Once both smoothers have come to rest (a one-pole
// smoother in float reaches a fixed point and stays there), cotangent,
// damping and the filter's weights are the same for every sample: they are
// formed once, kept from block to block while the smoothed values stay, and
// the sample loop is the bare recursion. While a smoother glides, each sample
// forms them afresh, ahead of the recursion: a chunk of samples at a time,
// tangents and weights several lanes at a time. Every value is computed by
// the same operations in the same order either way, so both paths give the
// same bits.
#include <cmath>

#include "kernels/common/control_smoother.h"
#include "kernels/common/lanes.h"
#include "kernels/mellow/mellow.h"
#include "kernels/mellow/mellow_filter.h"

namespace {

// The gliding loop works in steps of kStep samples, three stages at once:
// the smoothers kLead samples ahead, the tangents and weights kStep ahead,
// and the recursion. Its arrays are rings of kRing samples.
constexpr int kStep = mellow_filter::kGlideStep;
constexpr int kLead = 2 * kStep;
constexpr int kRing = 4 * kStep;
static_assert((kRing & (kRing - 1)) == 0, "the ring's index is masked");

// Where sample `at` of the block sits in the ring.
inline int slot(int at) { return at & (kRing - 1); }

// The gliding loop's prewarp angles, Q values and weights.
struct Ring {
    alignas(32) float angle[kRing];
    alignas(32) float q[kRing];
    alignas(32) float g[kRing];
    alignas(32) float a1[kRing];
    alignas(32) float a2[kRing];
};

}  // namespace

using quill::bitsOf;

mellow::BlockInputs mellow::beginBlock()
{
    BlockInputs b;
    b.cutoffIn = smoothIn * blockCutoff();
    b.qIn = smoothIn * blockResonance();
    b.settled = smoothersSettled(b.cutoffIn, b.qIn);
    return b;
}

bool mellow::smoothersSettled(float cutoffIn, float qIn) const
{
    const float nextCutoff = quill::smoothStep(smoothPole, cutoffSmooth[1], cutoffIn);
    return bitsOf(nextCutoff) == bitsOf(cutoffSmooth[1]) && qRests(qIn);
}

bool mellow::qRests(float qIn) const
{
    return bitsOf(quill::smoothStep(smoothPole, resonanceQSmooth[1], qIn)) == bitsOf(resonanceQSmooth[1]);
}

const mellow_filter::Weights<float>& mellow::restingWeights()
{
    const float cs = cutoffSmooth[1];
    const float qs = resonanceQSmooth[1];
    if (!settledValid || bitsOf(cs) != bitsOf(settledCutoff) || bitsOf(qs) != bitsOf(settledQ) ||
        bitsOf(piOverRate) != bitsOf(settledPiOverRate)) {
        settled = mellow_filter::lowpassWeights(piOverRate * cs, 1.0f / qs);
        settledCutoff = cs;
        settledQ = qs;
        settledPiOverRate = piOverRate;
        settledValid = true;
    }
    return settled;
}

void mellow::glidingWeights(int count, const BlockInputs& b, float* g, float* a1, float* a2)
{
    using namespace mellow_filter;
    constexpr int kChunk = 64;
    alignas(32) float angle[kChunk], q[kChunk];
    float cs = cutoffSmooth[1];
    float qs = resonanceQSmooth[1];
    const bool heldQ = qRests(b.qIn);
    const float heldD = 1.0f / qs;
    for (int start = 0; start < count; start += kChunk) {
        const int n = count - start < kChunk ? count - start : kChunk;
        glideSmoothers(smoothPole, piOverRate, b.cutoffIn, b.qIn, heldQ, cs, qs, angle, q, n);
        for (int i = 0; i < n; i += kGlideStep) {
            const int k = n - i < kGlideStep ? n - i : kGlideStep;
            weighGlideStep(angle + i, q + i, heldQ, heldD, g + start + i, a1 + start + i, a2 + start + i, k);
        }
    }
    cutoffSmooth[0] = cutoffSmooth[1] = cs;
    resonanceQSmooth[0] = resonanceQSmooth[1] = qs;
}

bool mellow::smoothersSane()
{
    if (std::isfinite(cutoffSmooth[1]) && std::isfinite(resonanceQSmooth[1])) return true;
    cutoffSmooth[0] = cutoffSmooth[1] = 0.0f;
    resonanceQSmooth[0] = resonanceQSmooth[1] = 0.0f;
    return false;
}

void mellow::filterSettled(int count, const float* in, float* out0, float* out1)
{
    using namespace mellow_filter;
    const Weights<float> w = restingWeights();
    float s1 = lowpassState[1];
    float s2 = lowpassState[2];
    for (int i = 0; i < count; ++i) {
        const float s0 = lowpassFeedback(in[i], w.g, w.a1, w.a2, s1, s2);  // reads in[i] first: buffers may alias
        const float y = lowpassFeedforward(w.g, s0, s1, s2);
        out0[i] = y;
        out1[i] = y;
        s2 = s1;
        s1 = s0;
    }
    cutoffSmooth[0] = cutoffSmooth[1];
    resonanceQSmooth[0] = resonanceQSmooth[1];
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
    // The weights never depend on the signal, and the smoothers depend on
    // nothing but themselves: three chains that the processor overlaps when
    // each step hands it a little of every one. 640 bytes of stack.
    Ring r;
    // Most often only the cutoff moves: a resting Q smoother keeps its value,
    // and its damping is formed once.
    const bool heldQ = qRests(qIn);
    const float heldD = 1.0f / qs;
    // Samples from..from+k-1 of each stage (k <= kStep; a step never
    // straddles the ring's end, as kRing is a multiple of kStep).
    auto smooth = [&](int from, int k) {
        glideSmoothers(pole, toAngle, cutoffIn, qIn, heldQ, cs, qs, r.angle + slot(from), r.q + slot(from), k);
    };
    auto weigh = [&](int from, int k) {
        const int at = slot(from);
        weighGlideStep(r.angle + at, r.q + at, heldQ, heldD, r.g + at, r.a1 + at, r.a2 + at, k);
    };
    auto recurse = [&](int from, int k) {
        const int at = slot(from);
        const float* x = in + from;
        float* y0 = out0 + from;
        float* y1 = out1 + from;
#pragma GCC unroll 8
        for (int i = 0; i < k; ++i) {
            const float s0 = lowpassFeedback(x[i], r.g[at + i], r.a1[at + i], r.a2[at + i], s1, s2);
            const float y = lowpassFeedforward(r.g[at + i], s0, s1, s2);
            y0[i] = y;  // x[i] was read first: buffers may alias
            y1[i] = y;
            s2 = s1;
            s1 = s0;
        }
    };
    // A stage's step at `from`: a whole one (the usual case, which the
    // compiler unrolls), the block's last few samples, or nothing past its end.
    auto step = [count](auto stage, int from) {
        if (from + kStep <= count)
            stage(from, kStep);
        else if (from < count)
            stage(from, count - from);
    };
    for (int from = 0; from < kLead; from += kStep) step(smooth, from);
    step(weigh, 0);
    for (int from = 0; from < count; from += kStep) {
        step(smooth, from + kLead);
        step(weigh, from + kStep);
        step(recurse, from);
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
    const BlockInputs b = beginBlock();
    if (b.settled)
        filterSettled(count, inputs[0], outputs[0], outputs[1]);
    else
        filterGliding(count, inputs[0], outputs[0], outputs[1], b.cutoffIn, b.qIn);
    // A non-finite or absurdly large input poisons the delay line: start
    // afresh next block.
    if (!smoothersSane() || !delayLineSane(lowpassState[1], lowpassState[2])) clearState();
}
