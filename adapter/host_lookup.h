// Functions of the running Pd found by name at run time, for those that only
// some versions of Pd have. host_lookup.cpp is the adapter's one
// platform-specific file.
#pragma once

namespace quill {

using AnyFunction = void (*)(void);  // any function pointer may pass through it

// The running Pd's function of that name, else nullptr.
AnyFunction hostFunction(const char* name);

}  // namespace quill
