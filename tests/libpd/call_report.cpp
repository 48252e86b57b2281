#include "tests/libpd/call_report.h"

#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>

#include <sstream>

namespace quill_libpd {
namespace {

std::string realPath(const char* path)
{
    char resolved[PATH_MAX];
    return realpath(path, resolved) != nullptr ? resolved : path;
}

}  // namespace

CallReport attribute(const CallLog& log, const std::string& pluginDir)
{
    const std::string folder = realPath(pluginDir.c_str()) + "/";
    CallReport report;
    report.dropped = log.dropped;
    std::ostringstream text;
    for (int i = 0; i < log.used; ++i) {
        const CallSite& site = log.sites[i];
        Dl_info info{};
        const bool found = dladdr(site.caller, &info) != 0 && info.dli_fname != nullptr;
        const std::string module = found ? realPath(info.dli_fname) : "unknown";
        const bool quill = module.compare(0, folder.size(), folder) == 0;
        (quill ? report.quillCalls : report.otherCalls) += site.count;
        text << "  " << site.count << " x " << site.function << " (" << site.kind << ") from " << module
             << (quill ? "  <- quill" : "") << "\n";
    }
    report.text = text.str();
    return report;
}

}  // namespace quill_libpd
