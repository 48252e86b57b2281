#include "adapter/pd_ui_names.h"

#include <cstring>

namespace quill {

namespace {

// ASCII letters and digits only, independent of the host's locale.
bool isAsciiAlnum(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

}  // namespace

std::string mangle(const char* name, int level, const char* label)
{
    if (label == nullptr) return std::string();
    const char* text = label;
    if (label[0] == '\0' || std::strcmp(label, "0x00") == 0) {
        if (level != 0) return std::string();
        if (name == nullptr || name[0] == '\0') return std::string();
        text = name;
    }
    std::string out;
    bool pendingDash = false;  // a run of other characters after some letter or digit
    for (const char* c = text; *c != '\0'; ++c) {
        if (isAsciiAlnum(*c)) {
            if (pendingDash) out += '-';
            pendingDash = false;
            out += *c;
        } else if (!out.empty()) {
            pendingDash = true;
        }
    }
    return out;
}

std::string normpath(std::string path)
{
    path.insert(path.begin(), '/');
    std::string::size_type at;
    while ((at = path.find("//")) != std::string::npos) path.erase(at, 1);
    if (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

std::string pathcat(const std::string& path, const std::string& name)
{
    if (path.empty()) return normpath(name);
    if (name.empty()) return normpath(path);
    return normpath(path + "/" + name);
}

}  // namespace quill
