// mellow~: the control values a block uses. Cells keep whatever a message
// stored; the filter is given only values in which it stays stable and finite.
#include <algorithm>
#include <cmath>

#include "kernels/mellow/mellow.h"

float mellow::blockCutoff()
{
    if (std::isfinite(cutoff)) lastGoodCutoff = cutoff;
    const float declared = std::min(20000.0f, std::max(20.0f, lastGoodCutoff));
    return std::min(declared, cutoffCeiling);
}

float mellow::blockResonance()
{
    if (std::isfinite(resonanceQ)) lastGoodQ = resonanceQ;
    return std::min(15.0f, std::max(0.5f, lastGoodQ));
}
