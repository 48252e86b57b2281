// The kernels' maths: tangent, base-10 logarithm and the three exponentials,
// computed by this module's own code in plain IEEE double arithmetic and
// rounded once to float. No kernel result depends on the platform's maths
// library, so every processor and C runtime (glibc on x86-64 and arm64,
// Windows', macOS') gives the same bits by construction.
// tests/differential/exact_maths_sweeps.cpp proves them over every argument
// the kernels can form: tangent and logarithm equal to the double library
// functions rounded to float (the kernels' earlier definition), the
// exponentials correctly rounded.
#pragma once

#include "kernels/common/maths/decimal_log.h"
#include "kernels/common/maths/exponentials.h"
#include "kernels/common/maths/tangent.h"

namespace quill {

using maths::decimalLog;
using maths::exponentialE;
using maths::exponentialTen;
using maths::exponentialTwo;
using maths::tangent;
using maths::tangents;

}  // namespace quill
