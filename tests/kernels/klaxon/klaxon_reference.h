// The siren written out step by step, exactly as described, with nothing
// clamped: the kernel must match it bit for bit while the controls stay in
// their ranges at 44100 Hz and above.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <math.h>

struct LiteralKlaxon {
    // Controls.
    float sweep = 0.5f, decay = 0.4f, pitch = 220.0f, depth = 0.2f, speed = 4.0f;
    float random = 0.0f, revSaw = 0.0f, saw = 0.0f, triangle = 0.0f, square = 0.0f;
    // Constants.
    float fs = 0, inv = 0, piOver = 0, wIn = 0, pole = 0, attack = 0;
    // Previous-sample state.
    float swS = 0, dcS = 0, dcL = 0, dpS = 0, shape = 0, spS = 0, lfoP = 0, nH = 0, osc = 0, s1 = 0, s2 = 0;
    float bRandom = 0, bRevSaw = 0, bSaw = 0, bTriangle = 0, bSquare = 0;
    int held = 0, holdN = 0, relN = 0;
    uint32_t noise = 0;
    float lastEnv = 0;  // env of the latest sample, for the tests

    explicit LiteralKlaxon(int rate)
    {
        fs = std::min(192000.0f, std::max(1.0f, static_cast<float>(rate)));
        inv = 1.0f / fs;
        piOver = inv * 3.1415927f;
        wIn = inv * 44.1f;
        pole = 1.0f - wIn;
        attack = fs > 999.99994f ? 999.99994f / fs : 1.0f;
    }

    static float blep(float x, float dt, float period, float m)
    {
        if (x > 1.0f - dt) {
            const float v = (x - 1.0f) * period / m;
            return v * v + 2.0f * v + 1.0f;
        }
        if (x < dt) {
            const float u = x * period / m;
            return 2.0f * u - u * u - 1.0f;
        }
        return 0.0f;
    }

    void block(int count, float* out)
    {
        const float sweepIn = wIn * sweep, decayIn = wIn * decay, depthIn = wIn * depth, speedIn = wIn * speed;
        const float pitchInc = inv * pitch, pitchPeriod = fs / pitch;
        const float total = random + revSaw + saw + triangle + square;
        const int anyHeld = total > 0.0f ? 1 : 0, noneHeld = total <= 0.0f ? 1 : 0;
        for (int i = 0; i < count; ++i) {
            const int holdNow = anyHeld + (anyHeld > held ? 0 : holdN);
            const int relNow = noneHeld * (relN + 1);
            const float rSaw = std::max(0.0f, saw - bSaw), rSquare = std::max(0.0f, square - bSquare);
            const float rRevSaw = std::max(0.0f, revSaw - bRevSaw), rRandom = std::max(0.0f, random - bRandom);
            const float rTriangle = std::max(0.0f, triangle - bTriangle);
            const float edge = rSaw + rSquare + rRevSaw + rRandom + rTriangle;
            const bool pressed = static_cast<int>(edge) != 0;
            const float swNow = pole * swS + sweepIn;
            const float dcNow = pole * dcS + decayIn;
            const float dcLNow = pressed ? dcNow : dcL;
            const float dpNow = pole * dpS + depthIn;
            const float env = std::max(0.0f, std::min(1.0f, static_cast<float>(holdNow) * attack) -
                                                 static_cast<float>(relNow) / std::max(1.0f, dcLNow * fs));
            const float fc = 20.0f + 60.0f * env * expf(4.6051702f * swNow);
            const float g = tanf(piOver * fc);
            const float shapeNow = pressed ? rSquare + 2.0f * rSaw + 3.0f * rRevSaw + 4.0f * rRandom : shape;
            const float spNow = pole * spS + speedIn;
            const uint32_t noiseNow = noise * 1103515245u + 12345u;
            const float q = spNow * inv + (1.0f - edge) * lfoP;
            const float lfoNow = q - floorf(q);
            const float nHNow =
                lfoNow < lfoP ? static_cast<float>(static_cast<int32_t>(noiseNow)) * 4.656613e-10f : nH;
            const int sh = static_cast<int>(shapeNow);
            float L;
            if (sh <= 0) L = 4.0f * fabsf(lfoNow - 0.5f) - 1.0f;
            else if (sh == 1) L = lfoNow < 0.5f ? 1.0f : -1.0f;
            else if (sh == 2) L = 2.0f * lfoNow - 1.0f;
            else if (sh == 3) L = 1.0f - 2.0f * lfoNow;
            else L = nHNow;
            const float m = exp2f(dpNow * (L + 0.5f * (env - 1.0f)));
            const float dt = pitchInc * m;
            float p = osc + dt;
            p = p - floorf(p);
            const float h = fmodf(fmodf(p + 0.5f, 1.0f) + 1.0f, 1.0f);
            const float s = static_cast<float>(2 * static_cast<int>(2.0f * p) - 1);
            const float x = s + blep(h, dt, pitchPeriod, m) - blep(p, dt, pitchPeriod, m);
            const float d = 1.0f / (1.0f + g * (g + 1.0f));
            const float a = s1 + g * (x - s2);
            const float band = a * d;
            const float low = s2 + g * band;
            s1 = 2.0f * band - s1;
            s2 = 2.0f * low - s2;
            const float e = env * low;
            out[i] = e / (1.0f + fabsf(e));
            held = anyHeld;
            holdN = holdNow;
            relN = relNow;
            bRandom = random, bRevSaw = revSaw, bSaw = saw, bTriangle = triangle, bSquare = square;
            swS = swNow, dcS = dcNow, dcL = dcLNow, dpS = dpNow, shape = shapeNow, spS = spNow;
            noise = noiseNow, lfoP = lfoNow, nH = nHNow, osc = p;
            lastEnv = env;
        }
    }
};
