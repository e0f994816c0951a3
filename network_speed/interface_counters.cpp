#include "network_speed/interface_counters.h"

#include <algorithm>
#include <utility>

namespace {

constexpr double kBytesToKibibytes = 0.0009765625;

// A 64-bit counter does not wrap in practice; one that dropped was reset (adapter re-enabled,
// driver restarted) or its index was reused, and what it counted since the last snapshot is
// unknown. Taking the difference modulo 2^64 would report exabytes instead.
uint64_t Growth(uint64_t before, uint64_t now) { return now >= before ? now - before : 0; }

bool IndexLess(const InterfaceCounters& a, const InterfaceCounters& b) { return a.index < b.index; }

// Finds, for an interface index, the earliest row of a snapshot that carries it. A snapshot
// in non-decreasing index order is binary-searched in place: its lower bound is the earliest
// occurrence. Otherwise (index, position) keys are sorted once, and the lower bound of
// (index, 0) is again the earliest occurrence, so duplicates resolve as a front-to-back scan
// would.
class PartnerFinder {
 public:
  explicit PartnerFinder(const std::vector<InterfaceCounters>& rows) : rows_(rows) {
    if (std::is_sorted(rows.begin(), rows.end(), IndexLess)) return;
    keys_.reserve(rows.size());
    for (size_t i = 0; i < rows.size(); ++i) keys_.emplace_back(rows[i].index, i);
    std::sort(keys_.begin(), keys_.end());
    sorted_in_place_ = false;
  }

  const InterfaceCounters* Find(uint32_t index) const {
    if (sorted_in_place_) {
      const InterfaceCounters probe{index, 0, 0};
      auto it = std::lower_bound(rows_.begin(), rows_.end(), probe, IndexLess);
      return (it != rows_.end() && it->index == index) ? &*it : nullptr;
    }
    auto it = std::lower_bound(keys_.begin(), keys_.end(), std::make_pair(index, size_t{0}));
    return (it != keys_.end() && it->first == index) ? &rows_[it->second] : nullptr;
  }

 private:
  const std::vector<InterfaceCounters>& rows_;
  std::vector<std::pair<uint32_t, size_t>> keys_;
  bool sorted_in_place_ = true;
};

}  // namespace

NetworkSpeed MeasureRates(const std::vector<InterfaceCounters>& previous,
                          const std::vector<InterfaceCounters>& current, double elapsedSeconds) {
  NetworkSpeed speed{0.0, 0.0};
  if (previous.empty() || current.empty()) return speed;
  const PartnerFinder finder(previous);
  for (const InterfaceCounters& row : current) {
    const InterfaceCounters* before = finder.Find(row.index);
    if (before == nullptr) continue;
    const uint64_t received = Growth(before->inOctets, row.inOctets);
    const uint64_t sent = Growth(before->outOctets, row.outOctets);
    speed.download += static_cast<double>(received) * kBytesToKibibytes / elapsedSeconds;
    speed.upload += static_cast<double>(sent) * kBytesToKibibytes / elapsedSeconds;
  }
  return speed;
}
