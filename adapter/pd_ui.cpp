#include "adapter/pd_ui.h"

#include "adapter/memory.h"
#include "adapter/pd_ui_names.h"

PdUI::PdUI() : kernel_name("") {}

PdUI::PdUI(const char* name, const char* path)
    : kernel_name(name ? name : ""), group_path(path ? path : "")
{
}

PdUI::~PdUI()
{
    for (int i = 0; i < n_elems; ++i) quill::memRelease(entries[i].full_name);
    quill::memRelease(entries);
}

void PdUI::open_box(const char* label)
{
    if (!group_path.empty()) group_path += "/";
    group_path += quill::mangle(kernel_name, box_depth, label);
    ++box_depth;
}

void PdUI::closeBox()
{
    std::string::size_type slash = group_path.rfind('/');
    group_path.resize(slash == std::string::npos ? 0 : slash);
    --box_depth;
}

void PdUI::add_elem(ui_elem_type_t type, const char* label, float* cell, float init, float min, float max,
                    float step)
{
    // The table grows by exactly one entry; a failed growth drops this control.
    auto* grown = static_cast<ui_elem_entry_t*>(
        quill::memResize(entries, sizeof(ui_elem_entry_t) * static_cast<std::size_t>(n_elems + 1)));
    if (grown == nullptr) return;
    entries = grown;
    std::string full = quill::pathcat(group_path, quill::mangle(kernel_name, box_depth, label));
    ui_elem_entry_t& e = entries[n_elems];
    e.type = type;
    e.full_name = quill::memDupString(full.c_str());
    e.cell = cell;
    e.init_value = init;
    e.min = min;
    e.max = max;
    e.step = step;
    ++n_elems;
}
