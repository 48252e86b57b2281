// Multichannel signals for kernels with voices (Pd 0.54 and later): a
// C-channel signal at the inlet is C voices of the kernel, which share its
// controls; each signal outlet carries C channels. One channel is the plain
// single-channel object. Memory is taken only in "dsp"; when it cannot be
// had, the object is silent.
#include "adapter/quill_object.h"

#ifdef QUILL_VOICES_HEADER

#include "adapter/crossfade.h"
#include "adapter/memory.h"

namespace {

// Input, outlet 1, outlet 2, and the two outlets' crossfade buffers.
constexpr int kVectorsPerVoice = 5;

}  // namespace

// The object's release clears the pointers after.
void Voices::release(t_quill* x)
{
    quill::memRelease(x->bank);
    quill::memRelease(x->voice_vectors);
    quill::memRelease(x->voice_scratch);
}

// New voices start cleared, those of channels that remain keep their state,
// and the kernel's own state is voice 0 whenever there is one channel.
bool Voices::size(t_quill* x, int channels, int n)
{
    auto& kernel = *static_cast<quill_kernel_t*>(x->kernel);
    if (channels != x->channels || (channels > 1 && x->bank == nullptr)) {
        float* bank = nullptr;
        if (channels > 1) {
            bank = static_cast<float*>(quill::memAllocZeroed(quill_voices::bankFloats(channels), sizeof(float)));
            if (bank != nullptr) {
                if (x->bank != nullptr)
                    quill_voices::carryOver(x->bank, x->channels, bank, channels);
                else if (x->channels == 1)
                    quill_voices::fromKernel(kernel, bank, channels, 0);
            }
        } else if (x->bank != nullptr) {
            quill_voices::toKernel(x->bank, x->channels, 0, kernel);
        }
        quill::memRelease(x->bank);
        x->bank = bank;
        x->channels = channels;  // what the outlets carry, even when the bank is missing
    }
    quill::memRelease(x->voice_vectors);
    quill::memRelease(x->voice_scratch);
    x->voice_vectors = nullptr;
    x->voice_scratch = nullptr;
    if (channels == 1) return true;
    if (x->bank == nullptr) return false;
    const auto count = static_cast<std::size_t>(channels);
    x->voice_vectors = static_cast<float**>(quill::memAllocZeroed(kVectorsPerVoice * count, sizeof(float*)));
    x->voice_scratch = static_cast<float*>(quill::memAlloc(sizeof(float) * 2 * count * static_cast<std::size_t>(n)));
    if (x->voice_vectors == nullptr || x->voice_scratch == nullptr) return false;
    for (int v = 0; v < 2 * channels; ++v) x->voice_vectors[3 * channels + v] = x->voice_scratch + v * n;
    return true;
}

// Each channel's vectors within the whole blocks the kernel reads and writes.
void Voices::point(t_quill* x, int n)
{
    const int c = x->channels;
    for (int v = 0; v < c; ++v) {
        x->voice_vectors[v] = x->inputs[0] + v * n;
        x->voice_vectors[c + v] = x->outputs[0] + v * n;
        x->voice_vectors[2 * c + v] = x->outputs[1] + v * n;
    }
}

// One block of every voice; while crossfading, each channel is weighted
// exactly as the single-channel object weights its block.
void Voices::run(t_quill* x, int n)
{
    auto& kernel = *static_cast<quill_kernel_t*>(x->kernel);
    const int c = x->channels;
    float** v = x->voice_vectors;
    if (x->fade == 0) {
        quill_voices::compute(kernel, x->bank, c, n, v, v + c, v + 2 * c);
        return;
    }
    const quill::FadeRamp ramp = quill::fadeRamp(x->fade, x->n_fade, n);
    --x->fade;
    quill_voices::compute(kernel, x->bank, c, n, v, v + 3 * c, v + 4 * c);
    quill::crossfade(x->active != 0, ramp, 2 * c, v + 3 * c, nullptr, v + c, n);
}

#endif
