// mellow~'s voices, four lanes at a time: the weights of a chunk are formed
// once (by the kernel, from the shared smoothers), then every group of four
// voices runs the recursion with them, two groups side by side. Each lane
// does the single-channel recursion's operations in its order.
#include "kernels/mellow/mellow_voices.h"

#include <algorithm>

#include "kernels/common/lanes.h"
#include "kernels/common/voices_bank.h"
#include "kernels/mellow/mellow.h"
#include "kernels/mellow/mellow_filter.h"

namespace {

using namespace quill::lanes;

enum Array { kOneBack, kTwoBack, kArrays };

constexpr int kChunk = 64;
// Four voices' delay lines.
struct Lines {
    f32x4 s1{}, s2{};

    // One sample with weights g, a1, a2: the input in, the output back.
    __attribute__((always_inline)) f32x4 step(f32x4 x, f32x4 g, f32x4 a1, f32x4 a2)
    {
        const f32x4 s0 = mellow_filter::lowpassFeedback(x, g, a1, a2, s1, s2);
        const f32x4 y = mellow_filter::lowpassFeedforward(g, s0, s1, s2);
        s2 = s1;
        s1 = s0;
        return y;
    }
};

// The recursion over one chunk of frames of one or two groups of voices, in
// place (inputs in, outputs out); two groups at a time overlap their
// recursions.
template <bool Two>
void recurse(f32x4* frameA, f32x4* frameB, int length, const float* g, const float* a1, const float* a2, bool resting,
             Lines& a, Lines& b)
{
    for (int i = 0; i < length; ++i) {
        const int w = resting ? 0 : i;
        const f32x4 gw = splat(g[w]), a1w = splat(a1[w]), a2w = splat(a2[w]);
        frameA[i] = a.step(frameA[i], gw, a1w, a2w);
        if (Two) frameB[i] = b.step(frameB[i], gw, a1w, a2w);
    }
}

}  // namespace

namespace mellow_voices {

int stride(int channels) { return quill::voices::stride(channels); }

std::size_t bankFloats(int channels) { return quill::voices::bankFloats(kArrays, channels); }

void compute(mellow& k, float* bank, int channels, int count, const float* const* in, float* const* out0,
             float* const* out1)
{
    if (count <= 0) return;
    const int n = stride(channels);
    const mellow::BlockInputs block = k.beginBlock();
    // A chunk's weights (1 entry when resting), and the chunk's frames.
    alignas(16) float g[kChunk], a1[kChunk], a2[kChunk];
    f32x4 frameA[kChunk], frameB[kChunk];
    if (block.settled) {
        const mellow_filter::Weights<float> w = k.restingWeights();
        g[0] = w.g, a1[0] = w.a1, a2[0] = w.a2;
    }
    for (int start = 0; start < count; start += kChunk) {
        const int length = std::min(kChunk, count - start);
        if (!block.settled) k.glidingWeights(length, block, g, a1, a2);
        quill::voices::inPairsOfGroups(channels, [&](int first, int lanesA, int lanesB) {
            Lines a{load(bank + kOneBack * n + first), load(bank + kTwoBack * n + first)}, b;
            gatherFrames(in + first, lanesA, start, length, frameA);
            if (lanesB > 0) {
                b = Lines{load(bank + kOneBack * n + first + kWidth), load(bank + kTwoBack * n + first + kWidth)};
                gatherFrames(in + first + kWidth, lanesB, start, length, frameB);
                recurse<true>(frameA, frameB, length, g, a1, a2, block.settled, a, b);
                scatterFrames(frameB, lanesB, start, length, out0 + first + kWidth, out1 + first + kWidth);
                store(bank + kOneBack * n + first + kWidth, b.s1);
                store(bank + kTwoBack * n + first + kWidth, b.s2);
            } else {
                recurse<false>(frameA, frameB, length, g, a1, a2, block.settled, a, b);
            }
            scatterFrames(frameA, lanesA, start, length, out0 + first, out1 + first);
            store(bank + kOneBack * n + first, a.s1);
            store(bank + kTwoBack * n + first, a.s2);
        });
    }
    // A poisoned delay line (a non-finite or absurd input) starts afresh next
    // block, voice by voice; so does everything when the smoothers left the
    // float range.
    const bool smoothersSane = k.smoothersSane();
    for (int c = 0; c < channels; ++c) {
        float& one = quill::voices::entry(bank, channels, kOneBack, c);
        float& two = quill::voices::entry(bank, channels, kTwoBack, c);
        if (!smoothersSane || !mellow::delayLineSane(one, two)) one = two = 0.0f;
    }
}

void carryOver(const float* from, int fromChannels, float* to, int toChannels)
{
    quill::voices::carryOver(kArrays, from, fromChannels, to, toChannels);
}

void toKernel(const float* bank, int channels, int voice, mellow& k)
{
    k.lowpassState[0] = k.lowpassState[1] = quill::voices::entry(bank, channels, kOneBack, voice);
    k.lowpassState[2] = quill::voices::entry(bank, channels, kTwoBack, voice);
}

void fromKernel(const mellow& k, float* bank, int channels, int voice)
{
    quill::voices::entry(bank, channels, kOneBack, voice) = k.lowpassState[1];
    quill::voices::entry(bank, channels, kTwoBack, voice) = k.lowpassState[2];
}

}  // namespace mellow_voices
