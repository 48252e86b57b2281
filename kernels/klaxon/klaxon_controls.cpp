// klaxon~: reading the control cells once at the start of a block.
#include <algorithm>
#include <cmath>

#include "kernels/klaxon/klaxon.h"
#include "kernels/klaxon/klaxon_ranges.h"

namespace {

// A finite value, clamped to the slider's range, becomes the new last good one.
float sliderValue(float cell, const klaxon_ranges::Slider& range, float& good)
{
    if (std::isfinite(cell)) good = std::min(range.max, std::max(range.min, cell));
    return good;
}

// Buttons keep any finite value: their sums choose the LFO shape.
float buttonValue(float cell, float& good)
{
    if (std::isfinite(cell)) good = cell;
    return good;
}

}  // namespace

klaxon::BlockControls klaxon::readControls()
{
    using namespace klaxon_ranges;
    BlockControls c{};
    const float sweepValue = sliderValue(sweep, kSweep, goodSweep);
    const float decayValue = sliderValue(decay, kDecay, goodDecay);
    const float depthValue = sliderValue(depth, kDepth, goodDepth);
    const float speedValue = sliderValue(speed, kSpeed, goodSpeed);
    const float pitchValue = sliderValue(pitch, kPitch, goodPitch);
    c.sweepIn = smoothIn * sweepValue;
    c.decayIn = smoothIn * decayValue;
    c.depthIn = smoothIn * depthValue;
    c.speedIn = smoothIn * speedValue;
    c.pitchInc = invRate * pitchValue;
    c.pitchPeriod = clampedRate / pitchValue;
    c.random = buttonValue(triggerRandom, goodRandom);
    c.revSaw = buttonValue(triggerRevSaw, goodRevSaw);
    c.saw = buttonValue(triggerSaw, goodSaw);
    c.triangle = buttonValue(triggerTriangle, goodTriangle);
    c.square = buttonValue(triggerSquare, goodSquare);
    const float total = c.random + c.revSaw + c.saw + c.triangle + c.square;
    c.anyHeld = total > 0.0f ? 1 : 0;
    c.noneHeld = total <= 0.0f ? 1 : 0;
    return c;
}
