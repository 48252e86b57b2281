// Collects a kernel's metadata pairs. Keys are compared by address, not text:
// a kernel passes the same static strings every time, so declaring twice
// leaves the map unchanged, while two equal texts at different addresses
// stay two entries.
#pragma once

#include <map>

#include "interface/meta.h"

class MY_Meta : public Meta {
public:
    std::map<const char*, const char*> pairs;

    void declare(const char* key, const char* value) override { pairs[key] = value; }
};
