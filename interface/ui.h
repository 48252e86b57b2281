// The sink into which a kernel describes its controls. Labels are the
// kernel's static text; cells point at float fields inside the kernel.
#pragma once

#ifndef QUILLFLOAT
#define QUILLFLOAT float
#endif

struct Soundfile;  // opaque: only named by addSoundfile

template <typename REAL>
class UIReal {
public:
    UIReal() = default;
    virtual ~UIReal() = default;

    // Groups: the three kinds differ only in the layout they ask for.
    virtual void openTabBox(const char* label) = 0;
    virtual void openHorizontalBox(const char* label) = 0;
    virtual void openVerticalBox(const char* label) = 0;
    virtual void closeBox() = 0;

    // Active controls.
    virtual void addButton(const char* label, REAL* cell) = 0;
    virtual void addCheckButton(const char* label, REAL* cell) = 0;
    virtual void addVerticalSlider(const char* label, REAL* cell, REAL init, REAL min, REAL max, REAL step) = 0;
    virtual void addHorizontalSlider(const char* label, REAL* cell, REAL init, REAL min, REAL max, REAL step) = 0;
    virtual void addNumEntry(const char* label, REAL* cell, REAL init, REAL min, REAL max, REAL step) = 0;

    // Read-outs.
    virtual void addHorizontalBargraph(const char* label, REAL* cell, REAL min, REAL max) = 0;
    virtual void addVerticalBargraph(const char* label, REAL* cell, REAL min, REAL max) = 0;

    virtual void addSoundfile(const char* label, const char* file, Soundfile** slot) = 0;

    // Per-control metadata such as "unit"; ignored unless a sink wants it.
    virtual void declare(REAL* /*cell*/, const char* /*key*/, const char* /*value*/) {}

    virtual int sizeOfQUILLFLOAT() { return sizeof(QUILLFLOAT); }
};

class UI : public UIReal<QUILLFLOAT> {
public:
    UI() = default;
    ~UI() override = default;
};
