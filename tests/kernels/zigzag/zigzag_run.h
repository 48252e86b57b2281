// Runs a zigzag kernel over a frequency signal, block by block.
#pragma once

#include <vector>

#include "kernels/zigzag/zigzag.h"

struct ZigzagRun {
    std::vector<float> out0, out1;
};

// Feeds `frequency` through `k` in blocks of `block` samples.
inline ZigzagRun runZigzag(zigzag& k, std::vector<float> frequency, int block = 64)
{
    ZigzagRun r;
    r.out0.assign(frequency.size(), 0.0f);
    r.out1.assign(frequency.size(), 0.0f);
    for (size_t start = 0; start < frequency.size(); start += static_cast<size_t>(block)) {
        const size_t n = std::min(frequency.size() - start, static_cast<size_t>(block));
        float* in[1] = {frequency.data() + start};
        float* out[2] = {r.out0.data() + start, r.out1.data() + start};
        k.compute(static_cast<int>(n), in, out);
    }
    return r;
}
