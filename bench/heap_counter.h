// Counts the bytes the program holds on the heap through operator new, so that the benchmark can
// say how much memory the backup index takes per entry. The counts are of bytes requested; the
// heap's own bookkeeping per block comes on top.
#pragma once
#include <cstdint>

namespace vestrand::bench {

int64_t HeapLiveBytes(); // bytes allocated and not yet freed
int64_t HeapPeakBytes(); // the highest HeapLiveBytes since the start or the last ResetHeapPeak
int64_t HeapBlocks();    // blocks allocated and not yet freed
void ResetHeapPeak();    // the peak starts again from the present live count

} // namespace vestrand::bench
