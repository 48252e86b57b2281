// Bit-for-bit comparison of a recording made in Pd with a model's output.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace quill::pdtest {

// What [tabwrite~] stores for sample x: Pd replaces a value whose exponent
// bits are both low or both high in their top two (zero, subnormal, tiny
// below about 2^-63, huge above about 2^65, infinite, NaN) by +0.
// Pd does this on x86 and 32-bit Arm only; on other processors (64-bit Arm
// among them) [tabwrite~] stores every sample as it is.
inline float asRecorded(float x)
{
#if defined(__i386__) || defined(__x86_64__) || defined(__arm__)
    uint32_t bits;
    std::memcpy(&bits, &x, 4);
    const uint32_t top = bits & 0x60000000u;
    return (top == 0 || top == 0x60000000u) ? 0.0f : x;
#else
    return x;
#endif
}

// Empty when `recorded` equals `model` (passed through asRecorded) bit for
// bit; otherwise a description of the first difference.
inline std::string bitDifference(const std::vector<float>& recorded, const std::vector<float>& model)
{
    if (recorded.size() != model.size())
        return "lengths differ: " + std::to_string(recorded.size()) + " recorded, " +
               std::to_string(model.size()) + " expected";
    for (size_t i = 0; i < model.size(); ++i) {
        const float want = asRecorded(model[i]);
        if (std::memcmp(&recorded[i], &want, 4) != 0)
        {
            char text[160];
            std::snprintf(text, sizeof text, "sample %zu (block %zu): recorded %.9g, expected %.9g", i,
                          i / 64, double(recorded[i]), double(want));
            return text;
        }
    }
    return "";
}

}  // namespace quill::pdtest
