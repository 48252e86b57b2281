// Runs a klaxon kernel block by block and checks that both outputs agree.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "kernels/klaxon/klaxon.h"

// `samples` samples in blocks of `block`; returns output 0.
inline std::vector<float> runKlaxon(klaxon& k, int samples, int block = 64)
{
    std::vector<float> out0(static_cast<size_t>(samples)), out1(static_cast<size_t>(samples), -7.0f);
    for (int start = 0; start < samples; start += block) {
        const int n = std::min(block, samples - start);
        float* outs[2] = {out0.data() + start, out1.data() + start};
        k.compute(n, nullptr, outs);
    }
    for (size_t i = 0; i < out0.size(); ++i)
        if (!(out0[i] == out1[i]) && !(out0[i] != out0[i] && out1[i] != out1[i])) {
            ADD_FAILURE() << "outputs differ at sample " << i;
            break;
        }
    return out0;
}

// One single-sample block.
inline float stepKlaxon(klaxon& k) { return runKlaxon(k, 1, 1)[0]; }

inline void releaseAll(klaxon& k)
{
    k.triggerRandom = k.triggerRevSaw = k.triggerSaw = k.triggerTriangle = k.triggerSquare = 0.0f;
}
