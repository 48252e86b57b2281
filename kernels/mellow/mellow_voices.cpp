// mellow~'s voices, four lanes at a time: the weights of a chunk are formed
// once (by the kernel, from the shared smoothers), then every group of four
// voices runs the recursion with them. Each lane does the single-channel
// recursion's operations in its order.
#include "kernels/mellow/mellow_voices.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "kernels/common/lanes.h"
#include "kernels/mellow/mellow.h"

namespace {

using namespace quill::lanes;

enum Array { kOneBack, kTwoBack, kArrays };

constexpr int kChunk = 64;
// Beyond this a voice's delay line is treated as poisoned, as compute does.
constexpr float kStateLimit = 1e20f;

// The recursion over one chunk of frames, in place: inputs in, outputs out.
void recurse(f4* frame, int length, const float* g, const float* a1, const float* a2, bool resting, f4& s1, f4& s2)
{
    for (int i = 0; i < length; ++i) {
        const int w = resting ? 0 : i;
        const f4 gw = splat(g[w]);
        const f4 s0 = frame[i] - gw * (splat(a1[w]) * s1 + splat(a2[w]) * s2);
        frame[i] = gw * (s0 + splat(2.0f) * s1 + s2);
        s2 = s1;
        s1 = s0;
    }
}

}  // namespace

namespace mellow_voices {

int stride(int channels) { return (std::max(channels, 0) + kWidth - 1) / kWidth * kWidth; }

std::size_t bankFloats(int channels) { return static_cast<std::size_t>(kArrays) * static_cast<std::size_t>(stride(channels)); }

void compute(mellow& k, float* bank, int channels, int count, const float* const* in, float* const* out0,
             float* const* out1)
{
    if (count <= 0) return;
    const int n = stride(channels);
    const mellow::BlockInputs block = k.beginBlock();
    // A chunk's weights (1 entry when resting), and the chunk's frames.
    alignas(16) float g[kChunk], a1[kChunk], a2[kChunk];
    f4 frame[kChunk];
    if (block.settled) k.restingWeights(g[0], a1[0], a2[0]);
    const int groups = (channels + kWidth - 1) / kWidth;
    for (int start = 0; start < count; start += kChunk) {
        const int length = std::min(kChunk, count - start);
        if (!block.settled) k.glidingWeights(length, block, g, a1, a2);
        for (int group = 0; group < groups; ++group) {
            const int first = group * kWidth;
            const int lanes = std::min(kWidth, channels - first);
            f4 s1 = load(bank + kOneBack * n + first);
            f4 s2 = load(bank + kTwoBack * n + first);
            gatherFrames(in + first, lanes, start, length, frame);
            recurse(frame, length, g, a1, a2, block.settled, s1, s2);
            scatterFrames(frame, lanes, start, length, out0 + first, out1 + first);
            store(bank + kOneBack * n + first, s1);
            store(bank + kTwoBack * n + first, s2);
        }
    }
    // A poisoned delay line (a non-finite or absurd input) starts afresh next
    // block, voice by voice; so does everything when the smoothers left the
    // float range.
    const bool smoothersSane = k.smoothersSane();
    for (int c = 0; c < channels; ++c) {
        float& one = bank[kOneBack * n + c];
        float& two = bank[kTwoBack * n + c];
        if (!smoothersSane || !(std::fabs(one) <= kStateLimit && std::fabs(two) <= kStateLimit)) one = two = 0.0f;
    }
}

void carryOver(const float* from, int fromChannels, float* to, int toChannels)
{
    const int kept = std::max(std::min(fromChannels, toChannels), 0);
    for (int a = 0; a < kArrays; ++a)
        std::memcpy(to + a * stride(toChannels), from + a * stride(fromChannels), sizeof(float) * static_cast<std::size_t>(kept));
}

void toKernel(const float* bank, int channels, int voice, mellow& k)
{
    const int n = stride(channels);
    k.lowpassState[0] = k.lowpassState[1] = bank[kOneBack * n + voice];
    k.lowpassState[2] = bank[kTwoBack * n + voice];
}

void fromKernel(const mellow& k, float* bank, int channels, int voice)
{
    const int n = stride(channels);
    bank[kOneBack * n + voice] = k.lowpassState[1];
    bank[kTwoBack * n + voice] = k.lowpassState[2];
}

}  // namespace mellow_voices
