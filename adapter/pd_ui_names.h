// Name helpers of the control registry: how group and control labels become
// "/"-separated path components.
#pragma once

#include <string>

namespace quill {

// One path component from a label: letters and digits kept, every inner run
// of other characters made one "-", leading and trailing runs dropped. An
// empty or "0x00" label at the top level stands for the kernel's name.
std::string mangle(const char* name, int level, const char* label);

// The canonical form of a path: a leading "/", no "//", no trailing "/".
std::string normpath(std::string path);

// Joins a path and a name and normalises the result.
std::string pathcat(const std::string& path, const std::string& name);

}  // namespace quill
