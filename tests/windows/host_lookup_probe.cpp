// Pd object [host_lookup_probe]: at load, looks up by name a function every
// Pd has, one only Pd 0.54 and later have, and one no Pd has, and prints
// whether each was found and whether it is the very function Pd linked us to.
#include "adapter/host_lookup.h"

#include "m_pd.h"

namespace {

void report(const char* name, quill::AnyFunction expected)
{
    const quill::AnyFunction found = quill::hostFunction(name);
    post("host_lookup_probe: %s %s", name,
         found == nullptr ? "missing" : (expected == nullptr || found == expected ? "found" : "found elsewhere"));
}

}  // namespace

extern "C" __declspec(dllexport) void host_lookup_probe_setup(void)
{
    report("class_new", reinterpret_cast<quill::AnyFunction>(&class_new));
    report("post", reinterpret_cast<quill::AnyFunction>(&post));
    report("signal_setmultiout", nullptr);
    report("no_such_pd_function", nullptr);
}
