// mellow's lowpass written out plainly, step by step, with no clamp, guard or
// shortcut: the oracle the shipped kernel must match bit for bit (within the
// declared control ranges, at 44100 Hz and above) and the baseline its speed
// is measured against. Field names and order follow the kernel's.
#pragma once

#include <algorithm>
#include <cmath>
#include "kernels/common/maths/maths.h"

struct literal_mellow {
    int sampleRate = 0;
    float piOverRate = 0.0f;
    float smoothIn = 0.0f;
    float cutoff = 0.0f;
    float smoothPole = 0.0f;
    float cutoffSmooth[2] = {};
    float resonanceQ = 0.0f;
    float resonanceQSmooth[2] = {};
    float lowpassState[3] = {};

    void init(int rate)
    {
        instanceConstants(rate);
        instanceResetUserInterface();
        instanceClear();
    }

    void instanceConstants(int rate)
    {
        sampleRate = rate;
        const float fs = std::min(1536000.0f, std::max(1.0f, static_cast<float>(rate)));
        piOverRate = 3.1415927f / fs;
        smoothIn = 44.1f / fs;
        smoothPole = 1.0f - smoothIn;
    }

    void instanceResetUserInterface()
    {
        cutoff = 2000.0f;
        resonanceQ = 1.0f;
    }

    void instanceClear()
    {
        cutoffSmooth[0] = cutoffSmooth[1] = 0.0f;
        resonanceQSmooth[0] = resonanceQSmooth[1] = 0.0f;
        lowpassState[0] = lowpassState[1] = lowpassState[2] = 0.0f;
    }

    void compute(int count, float** inputs, float** outputs)
    {
        if (count <= 0) return;
        const float cutoffIn = smoothIn * cutoff;
        const float qIn = smoothIn * resonanceQ;
        for (int i = 0; i < count; ++i) {
            const float x = inputs[0][i];
            cutoffSmooth[0] = smoothPole * cutoffSmooth[1] + cutoffIn;
            const float c = 1.0f / quill::tangent(piOverRate * cutoffSmooth[0]);
            resonanceQSmooth[0] = smoothPole * resonanceQSmooth[1] + qIn;
            const float d = 1.0f / resonanceQSmooth[0];
            const float g = 1.0f / ((d + c) * c + 1.0f);
            lowpassState[0] = x - g * (2.0f * (1.0f - c * c) * lowpassState[1] + ((c - d) * c + 1.0f) * lowpassState[2]);
            const float y = g * (lowpassState[0] + 2.0f * lowpassState[1] + lowpassState[2]);
            outputs[0][i] = y;
            outputs[1][i] = y;
            cutoffSmooth[1] = cutoffSmooth[0];
            resonanceQSmooth[1] = resonanceQSmooth[0];
            lowpassState[2] = lowpassState[1];
            lowpassState[1] = lowpassState[0];
        }
    }
};
