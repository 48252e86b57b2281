// The last argument (as bits) and result of a costly call: while the
// argument repeats (a control at rest), the result is the same and the call
// is skipped.
#pragma once

#include <cstdint>

#include "kernels/common/lanes.h"

namespace quill {

struct Remembered {
    uint32_t key;  // bits of the argument
    float value;   // the call's result for it

    bool differs(float argument) const { return bitsOf(argument) != key; }

    // call(argument), called only when the argument differs from the last.
    template <class Call>
    float of(float argument, Call call)
    {
        if (differs(argument)) *this = {bitsOf(argument), call(argument)};
        return value;
    }
};

}  // namespace quill
