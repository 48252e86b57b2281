// Signal hookup: binds an object to Pd's DSP chain, adopts the sample rate,
// sizes the one-block buffers, and runs the kernel once per block with the
// on/off crossfade.
#include <cstring>

#include "adapter/flush_to_zero.h"
#include "adapter/memory.h"
#include "adapter/quill_object.h"
#include "adapter/vector_copy.h"
#include "kernels/common/float_to_int.h"
#include "kernels/common/rate_clamp.h"

namespace {

bool is_on(const t_quill* x) { return x->active != 0; }

// Re-initialises the kernel at `rate`, keeping every control value the patch
// has set (init resets the controls to their defaults).
void reinit_keeping_controls(t_quill* x, int32_t rate)
{
    const int count = x->registry->n_elems;
    float* saved = nullptr;
    if (count > 0) saved = static_cast<float*>(quill::memAlloc(sizeof(float) * static_cast<std::size_t>(count)));
    if (saved != nullptr) {
        for (int i = 0; i < count; ++i)
            if (x->registry->entries[i].cell != nullptr) saved[i] = *x->registry->entries[i].cell;
    }
    x->rate = rate;
    x->kernel->init(rate);
    if (saved != nullptr) {
        for (int i = 0; i < count; ++i)
            if (x->registry->entries[i].cell != nullptr) *x->registry->entries[i].cell = saved[i];
        quill::memRelease(saved);
    }
}

void release_scratch(t_quill* x)
{
    for (int32_t i = 0; i < x->n_out; ++i) quill::memRelease(x->scratch[i]);
    quill::memRelease(x->scratch);
    x->scratch = nullptr;
}

// New one-block buffers; on failure the object goes silent for good.
void resize_scratch(t_quill* x, int n)
{
    if (x->scratch == nullptr) return;
    for (int32_t i = 0; i < x->n_out; ++i) {
        quill::memRelease(x->scratch[i]);
        x->scratch[i] = static_cast<float*>(quill::memAlloc(sizeof(float) * static_cast<std::size_t>(n)));
        if (x->scratch[i] == nullptr) {
            release_scratch(x);
            return;
        }
    }
}

#if QUILL_LEVELER_REVISION
void point_vectors(t_quill* x, t_signal** sp, int n)
{
    if (x->multi) {
        const int channels = quill::signalChannels(sp[0]);
        for (int32_t i = 0; i < x->n_in; ++i)
            x->inputs[i] = i < channels ? sp[0]->s_vec + i * n : x->silence;
        for (int32_t i = 0; i < x->n_out; ++i) x->outputs[i] = sp[1]->s_vec + i * n;
        return;
    }
    for (int32_t i = 0; i < x->n_in; ++i) x->inputs[i] = sp[i]->s_vec;
    for (int32_t i = 0; i < x->n_out; ++i) x->outputs[i] = sp[x->n_in + i]->s_vec;
}
#else
void point_vectors(t_quill* x, t_signal** sp, int)
{
    // Entry 0 is the leftmost inlet's signal, never read.
    for (int32_t i = 0; i < x->n_in; ++i) x->inputs[i] = sp[1 + i]->s_vec;
    for (int32_t i = 0; i < x->n_out; ++i) x->outputs[i] = sp[1 + x->n_in + i]->s_vec;
}
#endif

void crossfade(t_quill* x, int n)
{
    const float d = 1.0f / static_cast<float>(x->n_fade);
    float w = static_cast<float>(x->fade) * d;  // weight of the state being left
    const float step = d / static_cast<float>(n);
    --x->fade;
    x->kernel->compute(n, x->inputs, x->scratch);
    const bool equal = x->n_in == x->n_out;
    const bool on = is_on(x);
    for (int j = 0; j < n; ++j) {
        for (int32_t i = 0; i < x->n_out; ++i) {
            const float wet = x->scratch[i][j];
            if (equal)
                x->outputs[i][j] = on ? w * x->inputs[i][j] + (1.0f - w) * wet : w * wet + (1.0f - w) * x->inputs[i][j];
            else
                x->outputs[i][j] = on ? (1.0f - w) * wet : w * wet;
        }
        w = w - step;
    }
}

// Pd may hand an object an output vector that is one of its input vectors.
bool output_is_an_input(const t_quill* x)
{
    for (int32_t i = 0; i < x->n_out; ++i)
        for (int32_t k = 0; k < x->n_in; ++k)
            if (x->outputs[i] == x->inputs[k]) return true;
    return false;
}

bool output_is_another_input(const t_quill* x)
{
    for (int32_t i = 0; i < x->n_out; ++i)
        for (int32_t k = 0; k < x->n_in; ++k)
            if (k != i && x->outputs[i] == x->inputs[k]) return true;
    return false;
}

bool one_to_one(const t_quill* x) { return x->n_in == 1 && x->n_out == 1; }

// Samples per outlet in a block: n for each channel the outlets carry.
#if QUILL_HAS_VOICES
int outlet_length(const t_quill* x, int n) { return n * x->channels; }
#else
int outlet_length(const t_quill*, int n) { return n; }
#endif

// Bypassed with equal counts of several channels ("-m"): the inputs pass
// through unchanged.
__attribute__((noinline)) void pass_channels(t_quill* x, int n)
{
    if (!output_is_another_input(x)) {
        for (int32_t i = 0; i < x->n_out; ++i) quill::copyVector(x->outputs[i], x->inputs[i], n);
        return;
    }
    // Through the scratch buffers, so that no input is overwritten before it is read.
    const std::size_t bytes = sizeof(float) * static_cast<std::size_t>(n);
    for (int32_t i = 0; i < x->n_in; ++i) std::memcpy(x->scratch[i], x->inputs[i], bytes);
    for (int32_t i = 0; i < x->n_out; ++i) std::memcpy(x->outputs[i], x->scratch[i], bytes);
}

}  // namespace

void quill_dsp(t_quill* x, t_signal** sp)
{
    if (x->kernel == nullptr) return;  // creation failed: nothing joins the chain
    const int n = sp[0]->s_n;
    const int32_t sr = quill::truncToInt(sp[0]->s_sr);

#if QUILL_LEVELER_REVISION
    const bool reinit = sr != x->rate;
#else
    const bool reinit = x->rate <= 0;
#endif
    if (reinit) reinit_keeping_controls(x, sr);

    if (n > 0) x->n_fade = quill::truncToInt(quill::clampedSampleRate(x->rate) * 0.1f / static_cast<float>(n));

#if QUILL_LEVELER_REVISION
    if (x->multi && x->n_in > 0) {
        quill::memRelease(x->silence);
        x->silence = static_cast<float*>(quill::memAllocZeroed(static_cast<std::size_t>(n > 0 ? n : 1), sizeof(float)));
        // Without zeros to stand in for a missing channel the object stays
        // silent rather than hand the kernel a missing input.
        if (x->silence == nullptr && x->scratch != nullptr) release_scratch(x);
    }
#endif
    resize_scratch(x, n > 0 ? n : 1);

#if QUILL_HAS_VOICES
    int channels = 1;
    if (g_signal_setmultiout != nullptr) {
        channels = quill::signalChannels(sp[1]);
        if (channels < 1) channels = 1;
        for (int32_t i = 0; i < x->n_out; ++i) g_signal_setmultiout(&sp[1 + x->n_in + i], channels);
    }
    if (!quill_size_voices(x, channels, n > 0 ? n : 1) && x->scratch != nullptr) release_scratch(x);
#endif

#if QUILL_LEVELER_REVISION
    if (g_signal_setmultiout != nullptr) {
        if (x->multi)
            g_signal_setmultiout(&sp[1], x->n_out);
        else
            for (int32_t i = 0; i < x->n_out; ++i) g_signal_setmultiout(&sp[x->n_in + i], 1);
    }
#endif
    point_vectors(x, sp, n);
#if QUILL_HAS_VOICES
    if (x->channels > 1 && x->voice_vectors != nullptr) quill_point_voices(x, sp, n);
#endif
    dsp_add(quill_perform, 2, x, static_cast<t_int>(n));
}

// The bypassed block: the input passes through when the counts are equal,
// silence otherwise. Copies only: no arithmetic, no float mode to set. (The
// perform routine copies a one-channel block itself.)
__attribute__((noinline)) static t_int* bypass_block(t_quill* x, int n, t_int* next)
{
    if (x->n_in != x->n_out) {
        for (int32_t i = 0; i < x->n_out; ++i) quill::zeroVector(x->outputs[i], outlet_length(x, n));
    } else {
        pass_channels(x, n);
    }
    return next;
}

// Every other block: processing, crossfading, the silence of an object
// without buffers, and the bypass that a shortened crossfade ends in. Kept
// out of line, and reached by a tail call, so that the perform routine
// stays light.
__attribute__((noinline)) static t_int* run_block(t_quill* x, int n, t_int* next)
{
    if (x->scratch == nullptr) {
        // Buffers could not be had: silent rather than stale samples.
        for (int32_t i = 0; i < x->n_out; ++i)
            if (x->outputs[i] != nullptr)
                std::memset(x->outputs[i], 0, sizeof(float) * static_cast<std::size_t>(outlet_length(x, n)));
        return next;
    }
    // A DSP restart at another block size can shorten the crossfade under a
    // running one; the weight must never leave [0, 1].
    if (x->fade > x->n_fade) x->fade = x->n_fade > 0 ? x->n_fade : 0;
    if (x->fade == 0 && !is_on(x)) return bypass_block(x, n, next);
    quill::FlushToZeroScope flushToZero;
#if QUILL_HAS_VOICES
    if (x->channels > 1) {
        quill_run_voices(x, n);
        return next;
    }
#endif
    if (x->fade > 0) {
        crossfade(x, n);
    } else if (!output_is_an_input(x)) {
        x->kernel->compute(n, x->inputs, x->outputs);  // nothing to protect: no copy needed
    } else {
        // The kernel gets buffers of its own, so that it never writes over an
        // input it has still to read.
        x->kernel->compute(n, x->inputs, x->scratch);
        for (int32_t i = 0; i < x->n_out; ++i)
            std::memcpy(x->outputs[i], x->scratch[i], sizeof(float) * static_cast<std::size_t>(n));
    }
    return next;
}

t_int* quill_perform(t_int* w)
{
    auto* x = reinterpret_cast<t_quill*>(w[1]);
    const int n = static_cast<int>(w[2]);
    if (x->kernel == nullptr) return w + 3;
    // Laid out so that a bypassed block runs straight through: a block that
    // runs the kernel has far more to do than one taken jump.
    if (__builtin_expect(x->fade == 0 && !is_on(x) && x->scratch != nullptr, 1)) {
        if (!one_to_one(x)) return bypass_block(x, n, w + 3);
        quill::copyVector(x->outputs[0], x->inputs[0], n);  // the input passes through
        return w + 3;
    }
    return run_block(x, n, w + 3);
}
