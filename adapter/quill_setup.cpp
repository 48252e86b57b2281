// The plug-in's setup entry: registers the Pd class and its methods once,
// when Pd loads the module.
#include "adapter/quill_object.h"

t_class* quill_class = nullptr;
quill_setmultiout_fn g_signal_setmultiout = nullptr;

// Pd keeps methods as untyped function pointers; void (*)(void) is the
// neutral type through which any function pointer may pass.
template <typename To, typename From>
static To pd_method(From f)
{
    return reinterpret_cast<To>(reinterpret_cast<void (*)(void)>(f));
}

extern "C" QUILL_EXPORT void QUILL_SETUP_ENTRY(void)
{
    int flags = 0;
    if (Revision::kTakesFlags || Voices::kEnabled) {
        g_signal_setmultiout = quill::findSetMultiOut();
        if (g_signal_setmultiout != nullptr) flags = CLASS_MULTICHANNEL;
    }
    quill_class = class_new(gensym(QUILL_CLASS_NAME), pd_method<t_newmethod>(quill_new),
                            pd_method<t_method>(quill_free), sizeof(t_quill), flags, A_GIMME, 0);
    // A_CANT: only Pd itself, with a signal array, may call "dsp".
    class_addmethod(quill_class, pd_method<t_method>(quill_dsp), gensym("dsp"), A_CANT, 0);
    class_addanything(quill_class, pd_method<t_method>(quill_any));
    // Lets the leftmost inlet take a signal connection; its samples are never
    // read. Pd finds a class's methods by name in every instance, so a symbol
    // of the loading instance names the selector for all of them.
    if (Revision::kFirstSignal == 1)
        class_addmethod(quill_class, pd_method<t_method>(nullfn), gensym("signal"), A_NULL);

    quill_kernel_t probe{};
    post("[quill] %s: %d inputs, %d outputs", QUILL_CLASS_NAME, probe.getNumInputs(), probe.getNumOutputs());
}
