#include "tests/libpd/patch_instance.h"

#include <cstdio>

#include "tests/libpd/patch_driver.h"

namespace quill_libpd {
namespace {

void appendAtoms(std::string& line, int argc, t_atom* argv)
{
    char text[40];
    for (t_atom* a = argv; argc-- > 0; a = libpd_next_atom(a)) {
        if (libpd_is_float(a))
            std::snprintf(text, sizeof text, " %.17g", static_cast<double>(libpd_get_double(a)));
        else if (libpd_is_symbol(a))
            std::snprintf(text, sizeof text, " %.38s", libpd_get_symbol(a));
        else
            std::snprintf(text, sizeof text, " ?");
        line += text;
    }
}

}  // namespace

void startLibpd() { libpd_init(); }

PatchInstance::PatchInstance(const std::string& pluginDir, const std::string& patchDir, const std::string& patchName)
{
    replies_.reserve(1 << 16);
    pd_ = libpd_new_instance();
    libpd_set_instance(pd_);
    libpd_set_instancedata(this, nullptr);
    libpd_set_printhook(onPrint);
    libpd_set_listhook(onList);
    libpd_set_messagehook(onMessage);
    libpd_add_to_search_path(pluginDir.c_str());
    binding_ = libpd_bind("replies");
    libpd_init_audio(kInputs, kOutputs, kRate);
    t_atom on;
    libpd_set_float(&on, 1.0f);
    libpd_message("pd", "dsp", 1, &on);
    patch_ = libpd_openfile(patchName.c_str(), patchDir.c_str());
}

PatchInstance::~PatchInstance()
{
    libpd_set_instance(pd_);
    libpd_unbind(binding_);
    if (patch_ != nullptr) libpd_closefile(patch_);
    libpd_free_instance(pd_);
}

void PatchInstance::makeCurrent() const { libpd_set_instance(pd_); }

void PatchInstance::process(const t_sample* in, t_sample* out) const
{
#if PD_FLOATSIZE == 64
    libpd_process_double(1, in, out);
#else
    libpd_process_float(1, in, out);
#endif
}

PatchInstance* PatchInstance::current() { return static_cast<PatchInstance*>(libpd_get_instancedata()); }

void PatchInstance::onList(const char*, int argc, t_atom* argv)
{
    PatchInstance* self = current();
    appendAtoms(self->replies_, argc, argv);
    self->replies_ += '\n';
}

void PatchInstance::onMessage(const char*, const char* selector, int argc, t_atom* argv)
{
    PatchInstance* self = current();
    self->replies_ += "message ";
    self->replies_ += selector;
    appendAtoms(self->replies_, argc, argv);
    self->replies_ += '\n';
}

void PatchInstance::onPrint(const char* text) { current()->console_ += text; }

}  // namespace quill_libpd
