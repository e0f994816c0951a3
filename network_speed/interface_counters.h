// The part of an interface row that rates are computed from, and the arithmetic that turns
// two snapshots of such rows into download and upload rates.
//
// Free of windows.h so the pairing and the rate arithmetic can be reasoned about (and
// benchmarked) apart from the table reading. Counters and the elapsed time are taken as
// already read; nothing here can fail.
#ifndef ORVANTA_NETWORK_SPEED_INTERFACE_COUNTERS_H_
#define ORVANTA_NETWORK_SPEED_INTERFACE_COUNTERS_H_

#include <cstdint>
#include <vector>

// Rates in kibibytes per second, summed over the paired interfaces.
struct NetworkSpeed {
  double download;
  double upload;
};

// One operational interface of a snapshot. The octet counters are the table's 32-bit
// counters, which wrap around at 2^32.
struct InterfaceCounters {
  uint32_t index;
  uint32_t inOctets;
  uint32_t outOctets;
};

// Sums, over the rows of `current` in their order, the growth of each row's counters since
// the first row of `previous` with the same index, divided by 1024 and by `elapsedSeconds`.
// Rows of `current` without a partner add nothing. Counter deltas are taken modulo 2^32, so
// one wrap between the snapshots still counts the bytes since then. `elapsedSeconds` must be
// positive; the caller guarantees a minimum interval.
//
// Pairing costs O(n log n) at most: a previous snapshot in index order (the table is read
// sorted) is searched as it is; any other order gets a sorted index built once per call.
NetworkSpeed MeasureRates(const std::vector<InterfaceCounters>& previous,
                          const std::vector<InterfaceCounters>& current, double elapsedSeconds);

#endif  // ORVANTA_NETWORK_SPEED_INTERFACE_COUNTERS_H_
