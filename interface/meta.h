// The sink into which a kernel declares its metadata, one key/value pair per
// call. Both strings are the kernel's static text.
#pragma once

class Meta {
public:
    virtual ~Meta() = default;
    virtual void declare(const char* key, const char* value) = 0;
};
