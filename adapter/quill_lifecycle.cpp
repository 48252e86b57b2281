// Creation and destruction of a plug-in object: creation arguments, kernel,
// registry, buffers, inlets and outlets.
#include <cassert>
#include <cstring>
#include <new>

#include "adapter/memory.h"
#include "adapter/quill_object.h"
#include "adapter/vector_copy.h"
#include "kernels/common/float_to_int.h"
#include "kernels/common/rate_clamp.h"

namespace {

// Crossfade length in blocks at a 64-sample block: rate * 0.1 / 64, from
// the rate the kernel runs at, so [mellow~ 1e10] does not fade for an hour.
int32_t initial_fade(int32_t rate)
{
    return quill::truncToInt(quill::clampedSampleRate(rate) * 0.0015625f);
}

// Float atoms set the rate (truncated), symbol atoms the instance id; the
// last of each wins. `rate` keeps its value when no float is given.
void parse_rate_and_id(int argc, const t_atom* argv, int32_t& rate, t_symbol*& id)
{
    for (int i = 0; i < argc; ++i) {
        if (Revision::isFloat(argv[i]))
            rate = quill::truncToInt(static_cast<float>(argv[i].a_w.w_float));
        else if (Revision::isSymbol(argv[i]))
            id = argv[i].a_w.w_symbol;
    }
}

char* make_label(t_symbol* id)
{
    const char* base = QUILL_CLASS_NAME;
    std::size_t length = std::strlen(base) + (id ? 1 + std::strlen(id->s_name) : 0);
    auto* label = static_cast<char*>(quill::memAlloc(length + 1));
    if (label == nullptr) return nullptr;
    std::strcpy(label, base);
    if (id != nullptr) {
        std::strcat(label, " ");
        std::strcat(label, id->s_name);
    }
    return label;
}

// Nothing owned: the state of a new object, and of one whose creation failed.
void clear_owned(t_quill* x)
{
    x->label = nullptr;
    x->kernel = nullptr;
    x->registry = nullptr;
    x->pd_in = nullptr;
    x->pd_out = nullptr;
    x->inputs = nullptr;
    x->outputs = nullptr;
    x->staging = nullptr;
    x->scratch = nullptr;
    x->silence = nullptr;
    x->bank = nullptr;
    x->voice_vectors = nullptr;
    x->voice_scratch = nullptr;
    x->channels = 1;
}

// Releases everything the object owns and leaves every owned pointer null.
void release_owned(t_quill* x)
{
    quill::memRelease(x->label);
    delete x->kernel;
    delete x->registry;
    if (!kPdSamplesAreFloats) {
        quill::memRelease(x->pd_in);
        quill::memRelease(x->pd_out);
    }
    quill::memRelease(x->inputs);
    quill::memRelease(x->outputs);
    quill::memRelease(x->staging);
    if (x->scratch != nullptr) {
        for (int32_t i = 0; i < x->n_out; ++i) quill::memRelease(x->scratch[i]);
        quill::memRelease(x->scratch);
    }
    quill::memRelease(x->silence);
    Voices::release(x);
    clear_owned(x);
}

// An array of `count` null pointers; none is needed for no entries.
template <typename T>
bool allocate_array(T**& array, int32_t count)
{
    if (count > 0) array = static_cast<T**>(quill::memAllocZeroed(static_cast<std::size_t>(count), sizeof(T*)));
    return count <= 0 || array != nullptr;
}

// Kernel, registry, label and pointer arrays; false when any is missing.
bool create_owned(t_quill* x, t_symbol* id)
{
    try {
        x->label = make_label(id);
        x->kernel = new (std::nothrow) quill_kernel_t();
        x->registry = new (std::nothrow) PdUI(QUILL_KERNEL_NAME, id ? id->s_name : "");
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (x->kernel == nullptr || x->registry == nullptr || x->label == nullptr) return false;
    x->n_in = x->kernel->getNumInputs();
    x->n_out = x->kernel->getNumOutputs();
    if (!allocate_array(x->inputs, x->n_in) || !allocate_array(x->outputs, x->n_out) ||
        !allocate_array(x->scratch, x->n_out))
        return false;
    // Pd's vectors: the kernel's own arrays when Pd's samples are floats.
    x->pd_in = quill::sameVectors<t_sample>(x->inputs);
    x->pd_out = quill::sameVectors<t_sample>(x->outputs);
    return kPdSamplesAreFloats || (allocate_array(x->pd_in, x->n_in) && allocate_array(x->pd_out, x->n_out));
}

// The kernel starts at `rate` and describes its controls into the registry.
bool start_kernel(t_quill* x, int32_t rate)
{
    try {
        x->kernel->init(rate);
        x->kernel->buildUserInterface(x->registry);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

void create_signal_ports(t_quill* x, int32_t inlets, int32_t outlets)
{
    t_symbol* signal = gensym("signal");  // this instance's own
    for (int32_t i = 0; i < inlets; ++i) inlet_new(&x->x_obj, &x->x_obj.ob_pd, signal, signal);
    x->ctl_out = outlet_new(&x->x_obj, nullptr);
    for (int32_t i = 0; i < outlets; ++i) outlet_new(&x->x_obj, signal);
}

}  // namespace

void* quill_new(t_symbol*, int argc, t_atom* argv)
{
    auto* x = reinterpret_cast<t_quill*>(pd_new(quill_class));
    clear_owned(x);
    x->active = 1;
    x->multi = false;
    x->fade = 0;
    x->n_in = 0;
    x->n_out = 0;
    x->ctl_out = nullptr;

    bool wants_multi = false;
    // Leading flags. "-m" consumes only itself.
    while (Revision::kTakesFlags && argc > 0 && argv->a_type == A_SYMBOL && argv->a_w.w_symbol->s_name[0] == '-') {
        if (std::strcmp(argv->a_w.w_symbol->s_name, "-m") == 0)
            wants_multi = true;
        else
            pd_error(x, "%s: ignore unknown flag '%s", class_getname(quill_class), argv->a_w.w_symbol->s_name);
        ++argv;
        --argc;
    }
    // Without signal_setmultiout the host has no multichannel signals, and
    // "-m" leaves an ordinary single-channel object.
    x->multi = wants_multi && g_signal_setmultiout != nullptr;

    int32_t parsed = -1;
    t_symbol* id = nullptr;
    parse_rate_and_id(argc, argv, parsed, id);
    x->rate = Revision::rateFrom(parsed);
    // Until Pd's rate is known the kernel starts at 44100 Hz.
    const int32_t start_rate = x->rate > 0 ? x->rate : 44100;
    x->n_fade = initial_fade(start_rate);

    if (!create_owned(x, id) || !start_kernel(x, start_rate)) {
        release_owned(x);
        x->n_in = 0;
        x->n_out = 0;
        return x;  // an inert object: every entry point finds no kernel
    }

    assert((x->n_in + x->n_out) > 0);
    if (x->multi)
        create_signal_ports(x, 1, 1);
    else
        create_signal_ports(x, x->n_in, x->n_out);
    return x;
}

void quill_free(t_quill* x)
{
    release_owned(x);
}
