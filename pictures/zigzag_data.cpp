// Spectrum of zigzag~ at a high pitch next to a naive triangle of the same
// pitch. Both run at 44100 Hz; after one second of settling, 32768 samples
// are taken through a Blackman-Harris window. Output: block 0 zigzag~,
// block 1 the naive triangle, lines "frequency_Hz level_dB" relative to
// each signal's strongest bin.
#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "kernels/zigzag/zigzag.h"

namespace {

constexpr int kRate = 44100;
constexpr int kSize = 32768;

std::vector<float> zigzagTone(float freq)
{
    zigzag k;
    k.init(kRate);
    std::vector<float> in(64, freq), out0(64), out1(64), all;
    float* ins[1] = {in.data()};
    float* outs[2] = {out0.data(), out1.data()};
    const int blocks = (kRate + kSize) / 64 + 1;
    for (int b = 0; b < blocks; ++b) {
        k.compute(64, ins, outs);
        all.insert(all.end(), out0.begin(), out0.end());
    }
    return std::vector<float>(all.end() - kSize, all.end());
}

// The textbook triangle 1 - 4 |phase - 0.5| on a running phase: every
// corner is a sharp kink, so its harmonics fold back around half the rate.
std::vector<float> naiveTone(float freq)
{
    std::vector<float> out;
    float phase = 0.0f;
    const float step = freq / float(kRate);
    for (int i = 0; i < kRate + kSize; ++i) {
        phase += step;
        phase -= std::floor(phase);
        out.push_back(1.0f - 4.0f * std::fabs(phase - 0.5f));
    }
    return std::vector<float>(out.end() - kSize, out.end());
}

void fft(std::vector<std::complex<double>>& a)
{
    const size_t n = a.size();
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1) j ^= bit;
        j ^= bit;
        if (i < j) std::swap(a[i], a[j]);
    }
    for (size_t len = 2; len <= n; len <<= 1) {
        const std::complex<double> w = std::polar(1.0, -2.0 * M_PI / double(len));
        for (size_t i = 0; i < n; i += len) {
            std::complex<double> wn(1.0);
            for (size_t k = 0; k < len / 2; ++k) {
                const std::complex<double> u = a[i + k], v = a[i + k + len / 2] * wn;
                a[i + k] = u + v;
                a[i + k + len / 2] = u - v;
                wn *= w;
            }
        }
    }
}

void printSpectrum(const std::vector<float>& x, const char* name)
{
    std::vector<std::complex<double>> a(kSize);
    for (int i = 0; i < kSize; ++i) {
        const double t = 2.0 * M_PI * i / (kSize - 1);
        const double w = 0.35875 - 0.48829 * std::cos(t) + 0.14128 * std::cos(2 * t) - 0.01168 * std::cos(3 * t);
        a[size_t(i)] = x[size_t(i)] * w;
    }
    fft(a);
    double peak = 0.0;
    for (int i = 0; i <= kSize / 2; ++i) peak = std::max(peak, std::abs(a[size_t(i)]));
    std::printf("# %s\n", name);
    for (int i = 0; i <= kSize / 2; ++i) {
        const double db = 20.0 * std::log10(std::abs(a[size_t(i)]) / peak + 1e-12);
        std::printf("%.2f %.2f\n", double(i) * kRate / kSize, std::max(db, -160.0));
    }
    std::printf("\n\n");
}

}  // namespace

int main(int argc, char** argv)
{
    const float freq = argc > 1 ? std::strtof(argv[1], nullptr) : 5000.0f;
    printSpectrum(zigzagTone(freq), "zigzag~");
    printSpectrum(naiveTone(freq), "naive triangle");
}
