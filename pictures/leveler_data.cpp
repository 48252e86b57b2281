// Static level curve of leveler~: a 1 kHz sine at a fixed level goes
// through the kernel for 0.75 s; the output's level over the last 0.25 s is
// compared with the input's. Levels are those of a sine's peak, in dB
// (0 dB = amplitude 1). One block per intensity: "in_dB out_dB".
#include <cmath>
#include <cstdio>
#include <vector>

#include "kernels/leveler/leveler.h"

namespace {

constexpr int kRate = 44100;

double outputLevelDb(float intensity, double inDb)
{
    leveler k;
    k.init(kRate);
    k.intensity = intensity;
    const float amplitude = float(std::pow(10.0, inDb / 20.0));
    const int total = kRate * 3 / 4, measured = kRate / 4;
    std::vector<float> in(64), out(64);
    float* ins[1] = {in.data()};
    float* outs[1] = {out.data()};
    double energy = 0.0;
    for (int start = 0; start < total; start += 64) {
        for (int i = 0; i < 64; ++i)
            in[size_t(i)] = amplitude * std::sin(2.0f * 3.1415927f * 1000.0f * float(start + i) / float(kRate));
        k.compute(64, ins, outs);
        for (int i = 0; i < 64; ++i)
            if (start + i >= total - measured) energy += double(out[size_t(i)]) * out[size_t(i)];
    }
    const double rms = std::sqrt(energy / measured);
    return 20.0 * std::log10(rms * std::sqrt(2.0) + 1e-12);
}

}  // namespace

int main()
{
    const float intensities[] = {0.0f, 0.3f, 0.6f, 0.9f, 1.0f};
    for (float intensity : intensities) {
        std::printf("# intensity %g\n", double(intensity));
        for (int db = -72; db <= 0; db += 2) std::printf("%d %.3f\n", db, outputLevelDb(intensity, db));
        std::printf("\n\n");
    }
}
