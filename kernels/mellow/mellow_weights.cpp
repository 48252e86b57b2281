// mellow's filter weights for a block, formed once for every voice of a
// multichannel mellow~, by the operations compute uses, in its order.
#include <cmath>

#include "kernels/common/control_smoother.h"
#include "kernels/mellow/mellow.h"
#include "kernels/mellow/mellow_filter.h"

mellow::BlockInputs mellow::beginBlock()
{
    BlockInputs b;
    b.cutoffIn = smoothIn * blockCutoff();
    b.qIn = smoothIn * blockResonance();
    b.settled = smoothersSettled(b.cutoffIn, b.qIn);
    return b;
}

void mellow::restingWeights(float& g, float& a1, float& a2) const
{
    using namespace mellow_filter;
    const float c = prewarpedCotangent(piOverRate, cutoffSmooth[1]);
    const float d = 1.0f / resonanceQSmooth[1];
    g = lowpassNormaliser(c, d);
    a1 = lowpassA1(c);
    a2 = lowpassA2(c, d);
}

void mellow::glidingWeights(int count, const BlockInputs& b, float* g, float* a1, float* a2)
{
    using namespace mellow_filter;
    float cs = cutoffSmooth[1];
    float qs = resonanceQSmooth[1];
    for (int i = 0; i < count; ++i) {
        cs = quill::smoothStep(smoothPole, cs, b.cutoffIn);
        const float c = prewarpedCotangent(piOverRate, cs);
        qs = quill::smoothStep(smoothPole, qs, b.qIn);
        const float d = 1.0f / qs;
        g[i] = lowpassNormaliser(c, d);
        a1[i] = lowpassA1(c);
        a2[i] = lowpassA2(c, d);
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
