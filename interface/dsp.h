// The kernel interface: everything the host adapter knows about a
// signal-processing kernel. The adapter holds every kernel as a `dsp*`.
#pragma once

#include "interface/ui.h"
#include "interface/meta.h"

// The leveler plug-in is built against the later revision of this interface,
// which has two more (never called) operations, `control` and `frame`.
#ifndef QUILL_LEVELER_REVISION
#define QUILL_LEVELER_REVISION 0
#endif

class dsp {
public:
    dsp() = default;
    virtual ~dsp() = default;

    virtual int getNumInputs() = 0;
    virtual int getNumOutputs() = 0;
    // Describes every control to `ui`; called once, right after the first init.
    virtual void buildUserInterface(UI* ui) = 0;
    // The rate last given to instanceConstants, unclamped.
    virtual int getSampleRate() = 0;
    virtual void init(int sampleRate) = 0;
    virtual void instanceInit(int sampleRate) = 0;
    virtual void instanceConstants(int sampleRate) = 0;
    virtual void instanceResetUserInterface() = 0;
    virtual void instanceClear() = 0;
    // A new kernel of the same class, owned by the caller.
    virtual dsp* clone() = 0;
    virtual void metadata(Meta* m) = 0;
#if QUILL_LEVELER_REVISION
    virtual void control() {}
    virtual void frame(QUILLFLOAT* /*inputs*/, QUILLFLOAT* /*outputs*/) {}
#endif
    // Processes one block of `count` frames; reads each control once, at the start.
    virtual void compute(int count, QUILLFLOAT** inputs, QUILLFLOAT** outputs) = 0;
    // Timed form: the date plays no part.
    virtual void compute(double /*date*/, int count, QUILLFLOAT** inputs, QUILLFLOAT** outputs)
    {
        compute(count, inputs, outputs);
    }

    dsp(const dsp&) = default;
    dsp& operator=(const dsp&) = default;
};
