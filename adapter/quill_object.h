// The Pd object record shared by every plug-in, and the adapter's entry
// points. One source serves all plug-ins; plugin_config.h picks the kernel
// and the adapter revision at build time.
#pragma once

#include <cstdint>
#include <type_traits>

#include "m_pd.h"

#include "adapter/pd_multichannel.h"
#include "adapter/pd_ui.h"
#include "adapter/plugin_config.h"
#include "interface/dsp.h"

#include "adapter/revision.h"

// The setup entry is the one symbol a module exports.
#ifdef _WIN32
#define QUILL_EXPORT __declspec(dllexport)
#else
#define QUILL_EXPORT __attribute__((visibility("default")))
#endif

// Pd's samples: floats, or doubles in a double-precision Pd (Pd64).
constexpr bool kPdSamplesAreFloats = std::is_same<t_sample, float>::value;

struct t_quill {
    t_object x_obj;
    dsp* kernel;
    PdUI* registry;
    char* label;  // class name, plus " " and the instance id when one was given
    Revision::Switch active;
    bool multi;      // "-m" (later revision): one inlet and one outlet carrying every channel
    int32_t fade;    // crossfade blocks still to run
    int32_t n_fade;  // crossfade length in blocks
    int32_t rate;    // the rate the kernel was last initialised with
    int32_t n_in;
    int32_t n_out;
    t_sample** pd_in;   // Pd's vectors this block: whole blocks of every channel
    t_sample** pd_out;
    float** inputs;     // the kernel's: Pd's own vectors (the same arrays) when Pd's
    float** outputs;    // samples are floats, float copies in `staging` otherwise
    float* staging;
    float** scratch;    // one-block buffers the kernel writes into
    t_sample* silence;  // one block of zeros for channels a multichannel input lacks
    // A multichannel signal at the inlet of a kernel with voices: one voice
    // per channel, sharing the kernel's controls. With one channel the
    // kernel's own state is the voice.
    int32_t channels;       // channels of the signal inlet
    float* bank;            // every voice's signal state, when channels > 1
    float** voice_vectors;  // per channel: input, outlet 1, outlet 2, and their crossfade buffers
    float* voice_scratch;   // 2 x channels blocks the voices write into while crossfading
    t_outlet* ctl_out;
};

// Kernels with a voices header beside them take multichannel signals in
// Pd 0.54 and later; the others are single-channel objects.
#ifdef QUILL_VOICES_HEADER
#include QUILL_VOICES_HEADER
namespace quill_voices = QUILL_PASTE(QUILL_PLUGIN, _voices);
struct Voices {
    static constexpr bool kEnabled = true;
    // Sized in "dsp" (false: no memory, the object stays silent), run by the
    // perform routine (quill_voices.cpp).
    static bool size(t_quill* x, int channels, int n);
    static void point(t_quill* x, int n);
    static void run(t_quill* x, int n);
    static void release(t_quill* x);  // frees; the caller clears the pointers
};
#else
struct Voices {
    static constexpr bool kEnabled = false;
    static bool size(t_quill*, int, int) { return true; }
    static void point(t_quill*, int) {}
    static void run(t_quill*, int) {}
    static void release(t_quill*) {}
};
#endif

using quill_setmultiout_fn = quill::SetMultiOut;

// Written once by the setup entry and shared by every Pd instance in the
// process: the class list is global. Symbols are not: a multi-instance Pd
// interns them per instance, so the adapter keeps none and looks each up in
// the instance that uses it.
extern t_class* quill_class;
// The running Pd's signal_setmultiout, looked up by objects that can take
// multichannel signals; null in older Pd.
extern quill_setmultiout_fn g_signal_setmultiout;

void* quill_new(t_symbol* s, int argc, t_atom* argv);
void quill_free(t_quill* x);
void quill_dsp(t_quill* x, t_signal** sp);
t_int* quill_perform(t_int* w);
void quill_any(t_quill* x, t_symbol* s, int argc, t_atom* argv);
