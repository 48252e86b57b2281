// Finding a function of the running Pd by name: the adapter's one
// platform-specific file.
#include "adapter/host_lookup.h"

#include "m_pd.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace quill {

AnyFunction hostFunction(const char* name)
{
#ifdef _WIN32
    // Pd's functions live in pd.dll (or in pd.exe in a static build): the
    // module that holds class_new is the host.
    HMODULE host = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCSTR>(&class_new), &host))
        return nullptr;
    return reinterpret_cast<AnyFunction>(GetProcAddress(host, name));
#else
    // Pd's functions are global symbols of the running program.
    void* self = dlopen(nullptr, RTLD_NOW);
    if (self == nullptr) return nullptr;
    return reinterpret_cast<AnyFunction>(dlsym(self, name));
#endif
}

}  // namespace quill
