// Control messages at the leftmost inlet: set or read a control by any tail
// of its path, "bang" to list every control, "active" to switch processing
// with a crossfade.
#include <cstring>

#include "adapter/quill_object.h"
#include "kernels/common/float_to_int.h"

namespace {

// Pd's atom_getfloat gives 0 for a default-float atom, so the value is read
// from the atom itself.
bool is_float_atom(const t_atom& a) { return Revision::isFloat(a); }

// "/a/b/c" is matched by "/a/b/c" exactly, or by "c", "b/c", "a/b/c".
bool name_matches(const char* selector, const char* full_name)
{
    if (selector[0] == '/') return std::strcmp(full_name, selector) == 0;
    const std::size_t t = std::strlen(selector);
    const std::size_t f = std::strlen(full_name);
    return f > t && full_name[f - t - 1] == '/' && std::strcmp(full_name + (f - t), selector) == 0;
}

// The reply's selector, interned in the instance that asked; indexed by
// the control's kind.
t_symbol* report_word(ui_elem_type_t type)
{
    static const char* const kWords[] = {"button", "checkbox", "vslider", "hslider", "nentry", "vbargraph", "hbargraph"};
    const auto index = static_cast<unsigned>(type);
    return index < sizeof kWords / sizeof kWords[0] ? gensym(kWords[index]) : nullptr;
}

void describe_controls(t_quill* x)
{
    // The count is read again after each reply: a reply runs patch code.
    for (int i = 0; i < x->registry->n_elems; ++i) {
        const ui_elem_entry_t& e = x->registry->entries[i];
        t_symbol* word = report_word(e.type);
        if (e.full_name == nullptr || e.cell == nullptr || word == nullptr) continue;
        t_atom a[6];
        SETSYMBOL(&a[0], gensym(e.full_name));
        SETFLOAT(&a[1], *e.cell);
        SETFLOAT(&a[2], e.init_value);
        SETFLOAT(&a[3], e.min);
        SETFLOAT(&a[4], e.max);
        SETFLOAT(&a[5], e.step);
        outlet_anything(x->ctl_out, word, 6, a);
    }
}

// Reads or sets every control the selector names; returns how many it served.
int serve_controls(t_quill* x, const char* selector, int argc, t_atom* argv)
{
    int served = 0;
    for (int i = 0; i < x->registry->n_elems; ++i) {
        const ui_elem_entry_t& e = x->registry->entries[i];
        if (e.full_name == nullptr || !name_matches(selector, e.full_name)) continue;
        if (argc == 0) {
            if (e.cell != nullptr) {
                t_atom value;
                SETFLOAT(&value, *e.cell);
                outlet_anything(x->ctl_out, gensym(e.full_name), 1, &value);
            }
            ++served;
        } else if (argc == 1 && is_float_atom(argv[0]) && e.cell != nullptr) {
            *e.cell = static_cast<float>(argv[0].a_w.w_float);  // stored as sent; the kernel bounds what it reads
            ++served;
        } else {
            pd_error(x, "[quill] %s: bad control argument: %s", x->label, selector);
        }
    }
    return served;
}

void switch_processing(t_quill* x, float v)
{
    x->active = Revision::switchFrom(v);
    x->fade = x->n_fade;
}

}  // namespace

void quill_any(t_quill* x, t_symbol* s, int argc, t_atom* argv)
{
    if (x->kernel == nullptr) return;
    if (std::strcmp(s->s_name, "bang") == 0) {
        describe_controls(x);
        return;
    }
    const char* selector = s->s_name;
    if (selector[0] == '\0') return;  // the empty selector names no control
    if (serve_controls(x, selector, argc, argv) > 0) return;
    if (std::strcmp(selector, "active") != 0) return;
    if (argc == 0) {
        t_atom value;
        SETFLOAT(&value, static_cast<float>(x->active));
        outlet_anything(x->ctl_out, gensym("active"), 1, &value);
    } else if (argc == 1 && is_float_atom(argv[0])) {
        switch_processing(x, static_cast<float>(argv[0].a_w.w_float));
    }
}
