// Which module made the calls a CallLog recorded: each call site's return
// address resolved with dladdr, and counted for quill when it lies in a
// module of the plug-in folder.
#pragma once

#include <cstdint>
#include <string>

#include "tests/libpd/call_log.h"

namespace quill_libpd {

struct CallReport {
    std::uint64_t quillCalls = 0;  // from quill's modules
    std::uint64_t otherCalls = 0;  // from Pd, the host, the C++ runtime ...
    std::uint64_t dropped = 0;
    std::string text;  // one line per call site: count, function, kind, module
};

CallReport attribute(const CallLog& log, const std::string& pluginDir);

}  // namespace quill_libpd
