// The Pd object record shared by every plug-in, and the adapter's entry
// points. One source serves all plug-ins; plugin_config.h picks the kernel
// and the adapter revision at build time.
#pragma once

#include <cstdint>

#include "m_pd.h"

#include "adapter/pd_multichannel.h"
#include "adapter/pd_ui.h"
#include "adapter/plugin_config.h"
#include "interface/dsp.h"

// Kernels with voices (a voices header beside the kernel) take multichannel
// signals in Pd 0.54 and later.
#ifdef QUILL_VOICES_HEADER
#include QUILL_VOICES_HEADER
#define QUILL_HAS_VOICES 1
namespace quill_voices = QUILL_PASTE(QUILL_PLUGIN, _voices);
#else
#define QUILL_HAS_VOICES 0
#endif

// The setup entry is the one symbol a module exports.
#ifdef _WIN32
#define QUILL_EXPORT __declspec(dllexport)
#else
#define QUILL_EXPORT __attribute__((visibility("default")))
#endif

struct t_quill {
    t_object x_obj;
    dsp* kernel;
    PdUI* registry;
    char* label;  // class name, plus " " and the instance id when one was given
#if QUILL_LEVELER_REVISION
    bool active;
    bool multi;  // "-m": one inlet and one outlet carrying every channel
#else
    int32_t active;  // nonzero means on
#endif
    int32_t fade;    // crossfade blocks still to run
    int32_t n_fade;  // crossfade length in blocks
    int32_t rate;    // the rate the kernel was last initialised with
    int32_t n_in;
    int32_t n_out;
    float** inputs;   // this block's input vectors
    float** outputs;  // this block's output vectors
    float** scratch;  // one-block buffers the kernel writes into
#if QUILL_LEVELER_REVISION
    float* silence;  // one block of zeros for channels a multichannel input lacks
#endif
#if QUILL_HAS_VOICES
    // A multichannel signal at the inlet: one voice per channel, sharing the
    // kernel's controls. With one channel the kernel's own state is the voice.
    int32_t channels;       // channels of the signal inlet
    float* bank;            // every voice's signal state, when channels > 1
    float** voice_vectors;  // per channel: input, outlet 1, outlet 2, and their crossfade buffers
    float* voice_scratch;   // 2 x channels blocks the voices write into while crossfading
#endif
    t_outlet* ctl_out;
};

using quill_setmultiout_fn = quill::SetMultiOut;

// Written once by the setup entry and shared by every Pd instance in the
// process: the class list is global. Symbols are not: a multi-instance Pd
// interns them per instance, so the adapter keeps none and looks each up in
// the instance that uses it.
extern t_class* quill_class;
#if QUILL_LEVELER_REVISION || QUILL_HAS_VOICES
extern quill_setmultiout_fn g_signal_setmultiout;
#endif

void* quill_new(t_symbol* s, int argc, t_atom* argv);
#if QUILL_HAS_VOICES
// Voices (quill_voices.cpp): sized in "dsp", run by the perform routine.
bool quill_size_voices(t_quill* x, int channels, int n);
void quill_point_voices(t_quill* x, t_signal** sp, int n);
void quill_run_voices(t_quill* x, int n);
void quill_release_voices(t_quill* x);
#endif
void quill_free(t_quill* x);
void quill_dsp(t_quill* x, t_signal** sp);
t_int* quill_perform(t_int* w);
void quill_any(t_quill* x, t_symbol* s, int argc, t_atom* argv);
