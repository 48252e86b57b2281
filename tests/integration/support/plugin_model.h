// The plug-in's block loop, modelled in the test: a kernel run block by block
// with flush-to-zero on, its output copied, crossfaded or replaced as the
// "active" switch and its crossfade of n_fade blocks say. Recordings made in
// Pd are compared with this bit for bit.
#pragma once

#include <functional>
#include <map>
#include <vector>

#include "adapter/flush_to_zero.h"
#include "interface/dsp.h"
#include "tests/integration/support/block_run.h"

namespace quill::pdtest {

struct ModelPlan {
    int blocks = 0;
    int nFade = 0;
    std::map<int, int> activeAt;  // block -> value of an "active" message before it
    // Input channel c for block b, kBlockSize samples.
    std::function<std::vector<float>(int block, int channel)> input;
};

// Output channels of `kernel` (already initialised) under `plan`, each
// blocks × kBlockSize samples long.
inline std::vector<std::vector<float>> runAsPlugin(dsp& kernel, const ModelPlan& plan)
{
    const int nIn = kernel.getNumInputs();
    const int nOut = kernel.getNumOutputs();
    const int n = kBlockSize;
    const std::vector<float> zeros(static_cast<size_t>(n), 0.0f);
    std::vector<std::vector<float>> in(static_cast<size_t>(nIn), zeros);
    std::vector<std::vector<float>> scratch(static_cast<size_t>(nOut), zeros);
    std::vector<float*> inPtr, scratchPtr;
    for (auto& v : scratch) scratchPtr.push_back(v.data());
    std::vector<std::vector<float>> out(static_cast<size_t>(nOut));

    int active = 1;
    int fade = 0;
    for (int b = 0; b < plan.blocks; ++b) {
        if (auto m = plan.activeAt.find(b); m != plan.activeAt.end()) {
            active = m->second;
            fade = plan.nFade;
        }
        inPtr.clear();
        for (int c = 0; c < nIn; ++c) {
            in[size_t(c)] = plan.input(b, c);
            in[size_t(c)].resize(size_t(n), 0.0f);
            inPtr.push_back(in[size_t(c)].data());
        }

        FlushToZeroScope ftz;
        std::vector<std::vector<float>> block(static_cast<size_t>(nOut), zeros);
        if (fade > 0) {
            const float d = 1.0f / float(plan.nFade);
            float w = float(fade) * d;
            const float s = d / float(n);
            --fade;
            kernel.compute(n, nIn ? inPtr.data() : nullptr, scratchPtr.data());
            for (int j = 0; j < n; ++j) {
                for (int i = 0; i < nOut; ++i) {
                    const float k = scratch[size_t(i)][size_t(j)];
                    float y;
                    if (nIn == nOut) {
                        const float x = in[size_t(i)][size_t(j)];
                        y = active ? w * x + (1.0f - w) * k : w * k + (1.0f - w) * x;
                    } else {
                        y = active ? (1.0f - w) * k : w * k;
                    }
                    block[size_t(i)][size_t(j)] = y;
                }
                w = w - s;
            }
        } else if (active) {
            kernel.compute(n, nIn ? inPtr.data() : nullptr, scratchPtr.data());
            for (int i = 0; i < nOut; ++i) block[size_t(i)] = scratch[size_t(i)];
        } else if (nIn == nOut) {
            for (int i = 0; i < nOut; ++i) block[size_t(i)] = in[size_t(i)];
        }
        for (int i = 0; i < nOut; ++i)
            out[size_t(i)].insert(out[size_t(i)].end(), block[size_t(i)].begin(), block[size_t(i)].end());
    }
    return out;
}

}  // namespace quill::pdtest
