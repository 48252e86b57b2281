// exp10f where the C library lacks it. glibc has it (a GNU extension);
// mingw-w64's and macOS's C libraries do not, so there it is computed
// through the double-precision power, rounded once. A stopgap: the results
// may differ from glibc's in the last bit until the kernels compute their
// exponentials themselves.
#pragma once

#include <math.h>  // glibc: exp10f

#include <cmath>

#if !defined(__GLIBC__)
inline float exp10f(float x)
{
    return static_cast<float>(std::pow(10.0, static_cast<double>(x)));
}
#endif
