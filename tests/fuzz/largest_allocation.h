// The largest single allocation while a fuzz target watches: every form of
// operator new and delete is replaced, so that none is left to a
// sanitizer's own.
#pragma once

#include <cstddef>

namespace fuzz {

// Forgets the largest so far and watches from now on.
void WatchAllocations();
// Stops watching; returns the largest allocation since WatchAllocations.
size_t LargestAllocation();

}  // namespace fuzz
