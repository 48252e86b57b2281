// Signal hookup: binds an object to Pd's DSP chain, adopts the sample rate,
// sizes the one-block buffers, and runs the kernel once per block with the
// on/off crossfade.
#include <cstring>

#include "adapter/crossfade.h"
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

// New one-block buffers; on failure the object goes silent for good. Sized
// for Pd's samples: a bypass with crossed vectors parks Pd's inputs there.
void resize_scratch(t_quill* x, int n)
{
    if (x->scratch == nullptr) return;
    for (int32_t i = 0; i < x->n_out; ++i) {
        quill::memRelease(x->scratch[i]);
        x->scratch[i] = static_cast<float*>(quill::memAlloc(sizeof(t_sample) * static_cast<std::size_t>(n)));
        if (x->scratch[i] == nullptr) {
            release_scratch(x);
            return;
        }
    }
}

// Samples per kernel input or output in a block: n for each channel.
int block_length(const t_quill* x, int n) { return n * x->channels; }

// Pd's vectors for every kernel input and output. In "-m" they lie one block
// after another in the one inlet's and outlet's signals, and a channel the
// inlet lacks reads zeros.
void point_pd_vectors(t_quill* x, t_signal** sp, int n)
{
    const int first = Revision::kFirstSignal;
    if (x->multi) {
        const int channels = quill::signalChannels(sp[first]);
        for (int32_t i = 0; i < x->n_in; ++i)
            x->pd_in[i] = i < channels ? sp[first]->s_vec + i * n : x->silence;
        for (int32_t i = 0; i < x->n_out; ++i) x->pd_out[i] = sp[first + 1]->s_vec + i * n;
        return;
    }
    for (int32_t i = 0; i < x->n_in; ++i) x->pd_in[i] = sp[first + i]->s_vec;
    for (int32_t i = 0; i < x->n_out; ++i) x->pd_out[i] = sp[first + x->n_in + i]->s_vec;
}

// In a double-precision Pd the kernel reads and writes float copies, one
// block of every channel per input and output; false without memory.
bool point_staging(t_quill* x, int length)
{
    if (kPdSamplesAreFloats) return true;
    quill::memRelease(x->staging);
    const auto vectors = static_cast<std::size_t>(x->n_in + x->n_out);
    x->staging = static_cast<float*>(quill::memAlloc(sizeof(float) * vectors * static_cast<std::size_t>(length)));
    if (x->staging == nullptr) return false;
    for (int32_t i = 0; i < x->n_in; ++i) x->inputs[i] = x->staging + i * length;
    for (int32_t i = 0; i < x->n_out; ++i) x->outputs[i] = x->staging + (x->n_in + i) * length;
    return true;
}

// Each outlet's channel count, where Pd lets the object choose it.
void announce_channels(t_quill* x, t_signal** sp)
{
    if (g_signal_setmultiout == nullptr) return;
    const int first = Revision::kFirstSignal;
    const int in_signals = x->multi ? 1 : x->n_in;
    const int out_signals = x->multi ? 1 : x->n_out;
    const int channels = x->multi ? x->n_out : x->channels;
    for (int i = 0; i < out_signals; ++i) g_signal_setmultiout(&sp[first + in_signals + i], channels);
}

// Pd may hand an object an output vector that is one of its input vectors
// (with `other`: the input of another index).
template <typename Sample>
bool output_is_an_input(const t_quill* x, Sample* const* outputs, Sample* const* inputs, bool other = false)
{
    for (int32_t i = 0; i < x->n_out; ++i)
        for (int32_t k = 0; k < x->n_in; ++k)
            if ((!other || k != i) && outputs[i] == inputs[k]) return true;
    return false;
}

bool one_to_one(const t_quill* x) { return x->n_in == 1 && x->n_out == 1; }

// The switched-off block, for single channels and voices alike: with equal
// counts the inputs pass through unchanged, otherwise silence. Copies only,
// on Pd's own samples: no arithmetic, no float mode to set. (The perform
// routine copies a one-to-one block itself.)
__attribute__((noinline)) t_int* bypass_block(t_quill* x, int n, t_int* next)
{
    const int length = block_length(x, n);
    if (x->n_in != x->n_out) {
        for (int32_t i = 0; i < x->n_out; ++i) quill::zeroVector(x->pd_out[i], length);
    } else if (!output_is_an_input(x, x->pd_out, x->pd_in, true)) {
        for (int32_t i = 0; i < x->n_out; ++i) quill::copyVector(x->pd_out[i], x->pd_in[i], length);
    } else {
        // Through the scratch buffers, so that no input is overwritten before it is read.
        const std::size_t bytes = sizeof(t_sample) * static_cast<std::size_t>(length);
        for (int32_t i = 0; i < x->n_in; ++i) std::memcpy(x->scratch[i], x->pd_in[i], bytes);
        for (int32_t i = 0; i < x->n_out; ++i) std::memcpy(x->pd_out[i], x->scratch[i], bytes);
    }
    return next;
}

// One block of the kernel on float vectors, crossfading while a switch is
// under way. Voices run their own kernel loop with the same crossfade.
void process(t_quill* x, int n)
{
    quill::FlushToZeroScope flushToZero;
    if (Voices::kEnabled && x->channels > 1) {
        Voices::run(x, n);
        return;
    }
    if (x->fade > 0) {
        const quill::FadeRamp ramp = quill::fadeRamp(x->fade, x->n_fade, n);
        --x->fade;
        x->kernel->compute(n, x->inputs, x->scratch);
        quill::crossfade(is_on(x), ramp, x->n_out, x->scratch, x->n_in == x->n_out ? x->inputs : nullptr, x->outputs,
                         n);
    } else if (!output_is_an_input(x, x->outputs, x->inputs)) {
        x->kernel->compute(n, x->inputs, x->outputs);  // nothing to protect: no copy needed
    } else {
        // The kernel gets buffers of its own, so that it never writes over an
        // input it has still to read.
        x->kernel->compute(n, x->inputs, x->scratch);
        for (int32_t i = 0; i < x->n_out; ++i)
            std::memcpy(x->outputs[i], x->scratch[i], sizeof(float) * static_cast<std::size_t>(n));
    }
}

// A double-precision Pd: the block through float copies of Pd's vectors.
void process_copies(t_quill* x, int n)
{
    const int length = block_length(x, n);
    for (int32_t i = 0; i < x->n_in; ++i) quill::toFloats(x->pd_in[i], x->inputs[i], length);
    const bool keeps_input = x->fade > 0 && x->n_in == x->n_out;
    const quill::FadeRamp ramp = quill::fadeRamp(x->fade, x->n_fade, n);
    const bool on = is_on(x);
    process(x, n);
    if (keeps_input)
        quill::fromFloatsKeepingInput(on, ramp, x->n_out, x->outputs, x->pd_in, x->pd_out, length);
    else
        for (int32_t i = 0; i < x->n_out; ++i) quill::fromFloats(x->outputs[i], x->pd_out[i], length);
}

// Every block but the plain bypass: processing, crossfading, the silence of
// an object without buffers, and the bypass that a shortened crossfade ends
// in. Kept out of line, and reached by a tail call, so that the perform
// routine stays light.
__attribute__((noinline)) t_int* run_block(t_quill* x, int n, t_int* next)
{
    if (x->scratch == nullptr) {
        // Buffers could not be had: silent rather than stale samples.
        for (int32_t i = 0; i < x->n_out; ++i)
            if (x->pd_out[i] != nullptr) quill::zeroVector(x->pd_out[i], block_length(x, n));
        return next;
    }
    // A DSP restart at another block size can shorten the crossfade under a
    // running one; the weight must never leave [0, 1].
    if (x->fade > x->n_fade) x->fade = x->n_fade > 0 ? x->n_fade : 0;
    if (x->fade == 0 && !is_on(x)) return bypass_block(x, n, next);
    if (kPdSamplesAreFloats)
        process(x, n);
    else
        process_copies(x, n);
    return next;
}

}  // namespace

void quill_dsp(t_quill* x, t_signal** sp)
{
    if (x->kernel == nullptr) return;  // creation failed: nothing joins the chain
    const int n = sp[0]->s_n;
    const int block = n > 0 ? n : 1;
    const int32_t sr = quill::truncToInt(static_cast<float>(sp[0]->s_sr));

    const bool reinit = Revision::kFollowsRate ? sr != x->rate : x->rate <= 0;
    if (reinit) reinit_keeping_controls(x, sr);
    if (n > 0) x->n_fade = quill::truncToInt(quill::clampedSampleRate(x->rate) * 0.1f / static_cast<float>(n));

    if (x->multi && x->n_in > 0) {
        quill::memRelease(x->silence);
        x->silence = static_cast<t_sample*>(quill::memAllocZeroed(static_cast<std::size_t>(block), sizeof(t_sample)));
        // Without zeros to stand in for a missing channel the object stays
        // silent rather than hand the kernel a missing input.
        if (x->silence == nullptr && x->scratch != nullptr) release_scratch(x);
    }
    resize_scratch(x, block);

    if (Voices::kEnabled) {
        int channels = 1;
        if (g_signal_setmultiout != nullptr) channels = quill::signalChannels(sp[Revision::kFirstSignal]);
        if (!Voices::size(x, channels < 1 ? 1 : channels, block) && x->scratch != nullptr) release_scratch(x);
    }
    announce_channels(x, sp);
    point_pd_vectors(x, sp, n);
    if (!point_staging(x, block_length(x, block)) && x->scratch != nullptr) release_scratch(x);
    if (x->channels > 1 && x->voice_vectors != nullptr) Voices::point(x, n);
    dsp_add(quill_perform, 2, x, static_cast<t_int>(n));
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
        quill::copyVector(x->pd_out[0], x->pd_in[0], n);  // the input passes through
        return w + 3;
    }
    return run_block(x, n, w + 3);
}
