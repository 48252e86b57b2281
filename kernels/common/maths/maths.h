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
using maths::decimalLogs;
using maths::exponentialE;
using maths::exponentialTen;
using maths::exponentialTwo;

// The exponentials over arrays (a float array in, a float array out).
inline void exponentialsE(const float* x, float* out, int n) { maths::exponentials(x, out, n, maths::kBaseE); }
inline void exponentialsTwo(const float* x, float* out, int n) { maths::exponentials(x, out, n, maths::kBaseTwo); }
inline void exponentialsTen(const float* x, float* out, int n) { maths::exponentials(x, out, n, maths::kBaseTen); }
using maths::tangent;

}  // namespace quill
