// Which plug-in this copy of the adapter serves. The build chooses it:
//   QUILL_PLUGIN            the kernel class, e.g. zigzag (the Pd class is "zigzag~")
//   QUILL_KERNEL_HEADER     the kernel's header, e.g. "kernels/zigzag/zigzag.h"
//   QUILL_LEVELER_REVISION  1 for the later adapter revision (flags, "-m",
//                           rate following), 0 for the earlier one
#pragma once

#ifndef QUILL_PLUGIN
#error "QUILL_PLUGIN must name the kernel class"
#endif
#ifndef QUILL_LEVELER_REVISION
#error "QUILL_LEVELER_REVISION must be 0 or 1"
#endif

#define QUILL_STRINGIFY2(x) #x
#define QUILL_STRINGIFY(x) QUILL_STRINGIFY2(x)
#define QUILL_PASTE2(a, b) a##b
#define QUILL_PASTE(a, b) QUILL_PASTE2(a, b)

#define QUILL_KERNEL_NAME QUILL_STRINGIFY(QUILL_PLUGIN)
#define QUILL_CLASS_NAME QUILL_KERNEL_NAME "~"
#define QUILL_SETUP_ENTRY QUILL_PASTE(QUILL_PLUGIN, _tilde_setup)

#include QUILL_KERNEL_HEADER

using quill_kernel_t = QUILL_PLUGIN;
