#pragma once
// Heap accounting for the benchmarks: linking AllocationCounter.cpp into a
// benchmark program replaces the global operator new and delete with
// versions that keep the bytes currently allocated and the peak since the
// last reset. Counts what goes through operator new only (not malloc called
// directly, not aligned new). Meant for single-threaded measurements; the
// counters are atomic but the peak is only exact while one thread allocates.

#include <cstdint>

namespace lanternwick::bench {

std::int64_t allocatedBytes();

// Starts a new peak at the current level and returns that level.
std::int64_t resetPeak();

std::int64_t peakBytes();

}  // namespace lanternwick::bench
