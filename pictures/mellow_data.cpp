// Magnitude response of mellow~ for several resonanceQ values, measured on
// the kernel itself: once the control smoothers have settled (silence in),
// one impulse goes through and the response's spectrum is read at
// log-spaced frequencies. Output: one block per Q (gnuplot "index"), lines
// "frequency_Hz gain_dB".
#include <cmath>
#include <cstdio>
#include <vector>

#include "kernels/mellow/mellow.h"

namespace {

constexpr int kRate = 44100;
constexpr float kCutoff = 1000.0f;

// The kernel's response to a unit impulse, `length` samples long, after
// `settle` samples of silence with the given controls.
std::vector<float> impulseResponse(float q, int settle, int length)
{
    mellow k;
    k.init(kRate);
    k.cutoff = kCutoff;
    k.resonanceQ = q;
    float in = 0.0f, out0 = 0.0f, out1 = 0.0f;
    float* ins[1] = {&in};
    float* outs[2] = {&out0, &out1};
    for (int i = 0; i < settle; ++i) k.compute(1, ins, outs);
    std::vector<float> h(static_cast<size_t>(length));
    for (int i = 0; i < length; ++i) {
        in = i == 0 ? 1.0f : 0.0f;
        k.compute(1, ins, outs);
        h[static_cast<size_t>(i)] = out0;
    }
    return h;
}

// |H(f)| of a finite response, by direct summation.
double magnitudeAt(const std::vector<float>& h, double f)
{
    const double w = 2.0 * M_PI * f / kRate;
    double re = 0.0, im = 0.0;
    for (size_t n = 0; n < h.size(); ++n) {
        re += h[n] * std::cos(w * double(n));
        im -= h[n] * std::sin(w * double(n));
    }
    return std::sqrt(re * re + im * im);
}

}  // namespace

int main()
{
    const float qs[] = {0.5f, 1.0f, 2.0f, 4.0f, 8.0f, 15.0f};
    for (float q : qs) {
        const std::vector<float> h = impulseResponse(q, kRate / 2, 16384);
        std::printf("# resonanceQ %g, gain at the cutoff %.3f dB\n", double(q),
                    20.0 * std::log10(magnitudeAt(h, double(kCutoff))));
        for (int i = 0; i <= 300; ++i) {
            const double f = 20.0 * std::pow(1000.0, i / 300.0);  // 20 Hz to 20 kHz
            std::printf("%.3f %.4f\n", f, 20.0 * std::log10(magnitudeAt(h, f) + 1e-12));
        }
        std::printf("\n\n");
    }
}
