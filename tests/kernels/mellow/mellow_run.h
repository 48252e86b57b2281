// Runs a mellow kernel over a signal, block by block.
#pragma once

#include <algorithm>
#include <vector>

#include "kernels/mellow/mellow.h"

struct MellowRun {
    std::vector<float> out0, out1;
};

inline MellowRun runMellow(mellow& k, std::vector<float> input, int block = 64)
{
    MellowRun r;
    r.out0.assign(input.size(), 0.0f);
    r.out1.assign(input.size(), 0.0f);
    for (size_t start = 0; start < input.size(); start += static_cast<size_t>(block)) {
        const size_t n = std::min(input.size() - start, static_cast<size_t>(block));
        float* in[1] = {input.data() + start};
        float* out[2] = {r.out0.data() + start, r.out1.data() + start};
        k.compute(static_cast<int>(n), in, out);
    }
    return r;
}

// A reproducible test signal in [-1, 1].
inline std::vector<float> noise(size_t n, unsigned seed = 1)
{
    std::vector<float> v(n);
    for (auto& x : v) {
        seed = seed * 1664525u + 1013904223u;
        x = static_cast<float>(seed >> 8) / 8388608.0f - 1.0f;
    }
    return v;
}
