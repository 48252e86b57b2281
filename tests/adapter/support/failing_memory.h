// Test control over the adapter's allocations: make the k-th one from now
// fail, and count what is still held.
#pragma once

namespace failing_memory {

void failAt(int k);        // the k-th allocation from now (1 = the next) fails; 0 disarms
int allocationsSinceArm();  // allocations attempted since the last failAt
long liveBlocks();          // raw blocks handed out and not yet released

}  // namespace failing_memory
