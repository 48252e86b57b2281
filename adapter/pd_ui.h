// The control registry: a flat table of the kernel's controls, each with its
// full "/"-separated name, its cell and its declared range. The groups a
// kernel opens survive only inside the names.
#pragma once

#include <string>

#include "interface/ui.h"

enum ui_elem_type_t {
    ELEM_BUTTON = 0,
    ELEM_CHECKBOX = 1,
    ELEM_VSLIDER = 2,
    ELEM_HSLIDER = 3,
    ELEM_NENTRY = 4,
    ELEM_VBARGRAPH = 5,
    ELEM_HBARGRAPH = 6,
};

struct ui_elem_entry_t {
    ui_elem_type_t type;
    char* full_name;  // owned; null when the copy failed
    float* cell;      // the kernel's; not owned
    float init_value;
    float min;
    float max;
    float step;
};

class PdUI : public UI {
public:
    const char* kernel_name;  // stands in for an unnamed top-level group
    int n_elems = 0;
    int box_depth = 0;
    ui_elem_entry_t* entries = nullptr;  // exactly n_elems entries
    std::string group_path;

    PdUI();
    PdUI(const char* name, const char* path);
    ~PdUI() override;
    PdUI(const PdUI&) = delete;
    PdUI& operator=(const PdUI&) = delete;

    // Groups only name their controls; every control kind lands in the table.
    void openTabBox(const char* label) override { open_box(label); }
    void openHorizontalBox(const char* label) override { open_box(label); }
    void openVerticalBox(const char* label) override { open_box(label); }
    void closeBox() override;
    void addButton(const char* label, float* cell) override { add_elem(ELEM_BUTTON, label, cell, 0.0f, 0.0f, 1.0f, 1.0f); }
    void addCheckButton(const char* label, float* cell) override
    {
        add_elem(ELEM_CHECKBOX, label, cell, 0.0f, 0.0f, 1.0f, 1.0f);
    }
    void addVerticalSlider(const char* label, float* cell, float init, float min, float max, float step) override
    {
        add_elem(ELEM_VSLIDER, label, cell, init, min, max, step);
    }
    void addHorizontalSlider(const char* label, float* cell, float init, float min, float max, float step) override
    {
        add_elem(ELEM_HSLIDER, label, cell, init, min, max, step);
    }
    void addNumEntry(const char* label, float* cell, float init, float min, float max, float step) override
    {
        add_elem(ELEM_NENTRY, label, cell, init, min, max, step);
    }
    void addHorizontalBargraph(const char* label, float* cell, float min, float max) override
    {
        add_elem(ELEM_HBARGRAPH, label, cell, 0.0f, min, max, 0.0f);
    }
    void addVerticalBargraph(const char* label, float* cell, float min, float max) override
    {
        add_elem(ELEM_VBARGRAPH, label, cell, 0.0f, min, max, 0.0f);
    }
    void addSoundfile(const char*, const char*, Soundfile**) override {}
    virtual void run() {}

private:
    void open_box(const char* label);
    void add_elem(ui_elem_type_t type, const char* label, float* cell, float init, float min, float max, float step);
};
