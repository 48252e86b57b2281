// mellow~: the block loop. Once both smoothers have come to rest (a one-pole
// smoother in float reaches a fixed point and stays there), cotangent,
// damping and the filter's weights are the same for every sample: they are
// formed once, kept from block to block while the smoothed values stay, and
// the sample loop is the bare recursion. While a smoother glides, each sample
// forms them afresh, ahead of the recursion: a chunk of samples at a time,
// tangents and weights several lanes at a time. Every
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

// The gliding loop works in steps of kStep samples, three stages at once:
// the smoothers kLead samples ahead, the tangents and weights kStep ahead,
// and the recursion. Its arrays are rings of kRing samples.
constexpr int kStep = 8;  // two of the widest tangent's vectors
constexpr int kLead = 2 * kStep;
constexpr int kRing = 4 * kStep;
static_assert((kRing & (kRing - 1)) == 0, "the ring's index is masked");

// Where sample `at` of the block sits in the ring.
inline int slot(int at) { return at & (kRing - 1); }

// The gliding loop's prewarp angles (then their tangents), Q values and weights.
struct Ring {
    alignas(32) float angle[kRing];
    alignas(32) float q[kRing];
    alignas(32) float g[kRing];
    alignas(32) float a1[kRing];
    alignas(32) float a2[kRing];
};

// From tangents t and Q values: c = 1/t, d = 1/Q, then g, a1 and a2 exactly
// as mellow_filter forms them, four lanes at a time and the rest one by one.
// With kHeldQ the Q smoother rests: every d is `heldD`, and q is not read.
template <bool kHeldQ>
inline void formWeights(const float* t, const float* q, float heldD, float* g, float* a1, float* a2, int n)
{
    using namespace mellow_filter;
    typedef float f32x4 __attribute__((vector_size(16)));
    int i = 0;
    for (; i + 4 <= n; i += 4) {
        f32x4 tv, d = f32x4{} + heldD;
        std::memcpy(&tv, t + i, sizeof tv);
        if (!kHeldQ) {
            f32x4 qv;
            std::memcpy(&qv, q + i, sizeof qv);
            d = 1.0f / qv;
        }
        const f32x4 c = 1.0f / tv;
        const f32x4 gv = lowpassNormaliser(c, d);
        const f32x4 a1v = lowpassA1(c);
        const f32x4 a2v = lowpassA2(c, d);
        std::memcpy(g + i, &gv, sizeof gv);
        std::memcpy(a1 + i, &a1v, sizeof a1v);
        std::memcpy(a2 + i, &a2v, sizeof a2v);
    }
    for (; i < n; ++i) {
        const float c = 1.0f / t[i];
        const float d = kHeldQ ? heldD : 1.0f / q[i];
        g[i] = lowpassNormaliser(c, d);
        a1[i] = lowpassA1(c);
        a2[i] = lowpassA2(c, d);
    }
}

#ifdef QUILL_MATHS_AVX2
// A whole step's tangents and weights on a processor with AVX2: the tangents
// in two vectors of four doubles, the weights eight float lanes at a time
// (the same operations, lane by lane, as formWeights).
template <bool kHeldQ>
__attribute__((target("avx2"), noinline)) void weighStepAvx2(const float* angle, const float* q, float heldD, float* g,
                                                             float* a1, float* a2)
{
    using namespace mellow_filter;
    using namespace quill::maths;
    static_assert(kStep == 8, "a step is one vector of eight");
    f32x8 angles;
    std::memcpy(&angles, angle, sizeof angles);
    const f32x8 t = tangentsOfEight(angles);
    f32x8 d = f32x8{} + heldD;
    if (!kHeldQ) {
        f32x8 qv;
        std::memcpy(&qv, q, sizeof qv);
        d = 1.0f / qv;
    }
    const f32x8 c = 1.0f / t;
    const f32x8 gv = lowpassNormaliser(c, d), a1v = lowpassA1(c), a2v = lowpassA2(c, d);
    std::memcpy(g, &gv, sizeof gv);
    std::memcpy(a1, &a1v, sizeof a1v);
    std::memcpy(a2, &a2v, sizeof a2v);
}
#endif

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
    // The weights never depend on the signal, and the smoothers depend on
    // nothing but themselves: three chains that the processor overlaps when
    // each step hands it a little of every one. 640 bytes of stack.
    Ring r;
    // Most often only the cutoff moves: a resting Q smoother keeps its value,
    // and its damping is formed once.
    const bool heldQ = bitsOf(quill::smoothStep(pole, qs, qIn)) == bitsOf(qs);
    const float heldD = 1.0f / qs;
    // Samples from..from+k-1 of each stage (k <= kStep; a step never
    // straddles the ring's end, as kRing is a multiple of kStep).
    auto smooth = [&](int from, int k) {
        float* angle = r.angle + slot(from);
#pragma GCC unroll 8
        for (int i = 0; i < k; ++i) {
            cs = quill::smoothStep(pole, cs, cutoffIn);
            angle[i] = toAngle * cs;
        }
        if (heldQ) return;
        float* q = r.q + slot(from);
        for (int i = 0; i < k; ++i) {
            qs = quill::smoothStep(pole, qs, qIn);
            q[i] = qs;
        }
    };
    auto weigh = [&](int from, int k) {
        const int at = slot(from);
#ifdef QUILL_MATHS_AVX2
        if (k == kStep && quill::maths::kHasAvx2) {
            if (heldQ)
                weighStepAvx2<true>(r.angle + at, r.q + at, heldD, r.g + at, r.a1 + at, r.a2 + at);
            else
                weighStepAvx2<false>(r.angle + at, r.q + at, heldD, r.g + at, r.a1 + at, r.a2 + at);
            return;
        }
#endif
        quill::tangents(r.angle + at, r.angle + at, k);
        if (heldQ)
            formWeights<true>(r.angle + at, r.q + at, heldD, r.g + at, r.a1 + at, r.a2 + at, k);
        else
            formWeights<false>(r.angle + at, r.q + at, heldD, r.g + at, r.a1 + at, r.a2 + at, k);
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
