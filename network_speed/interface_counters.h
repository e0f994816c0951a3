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

// One counted interface of a snapshot, with the table's 64-bit octet counters. Even a 100 Gbit/s
// link takes decades to wrap them, so a counter lower than before means it was reset or the
// index now belongs to another interface, never that it wrapped.
struct InterfaceCounters {
  uint32_t index;
  uint64_t inOctets;
  uint64_t outOctets;
};

// Sums, over the rows of `current` in their order, the growth of each row's counters since
// the first row of `previous` with the same index, divided by 1024 and by `elapsedSeconds`.
// Rows of `current` without a partner add nothing, and so does a counter that went backwards
// (that interval is lost rather than shown as a spike). `elapsedSeconds` must be positive; the
// caller guarantees a minimum interval.
//
// Pairing costs O(n log n) at most: a previous snapshot in index order is searched as it is;
// any other order (GetIfTable2 promises none) gets a sorted index built once per call.
NetworkSpeed MeasureRates(const std::vector<InterfaceCounters>& previous,
                          const std::vector<InterfaceCounters>& current, double elapsedSeconds);

#endif  // ORVANTA_NETWORK_SPEED_INTERFACE_COUNTERS_H_
