#pragma once

#include <cstdint>

namespace kestrow::bench {

// Resets the process's peak resident size (Linux clear_refs 5) so that the next reading covers
// only what follows.
void ResetPeakMemory();
// Peak resident size since the last reset, in MiB (VmHWM).
double PeakMemoryMiB();

} // namespace kestrow::bench
