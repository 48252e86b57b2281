// Linear congruential noise generator shared by klaxon and leveler:
// state * 1103515245 + 12345, wrapping modulo 2^32 (done in unsigned
// arithmetic so that the wrap is defined behaviour).
#pragma once

#include <cstdint>

namespace quill {

inline int32_t noiseNext(int32_t state)
{
    uint32_t next = static_cast<uint32_t>(state) * 1103515245u + 12345u;
    return static_cast<int32_t>(next);
}

}  // namespace quill
