// Measures the machine's download and upload rates from the byte counters of its network
// interfaces that are up, each adapter counted once (see ReadOperationalRows).
//
// The service keeps one snapshot of the counters. Initialize takes the first one; every
// GetSpeed at least 100 ms after the last snapshot takes a new one, reports the growth since
// the previous one in kibibytes per second and keeps the new one as the baseline. Calls closer
// than 100 ms answer zeros and keep the baseline, so the next call measures the whole time.
//
// Failure: a failed table read in Initialize logs "Failed to get initial network interfaces"
// and leaves the service uninitialized; one in GetSpeed is silent, answers zeros and makes the
// empty list the baseline, so rates resume on the call after next. Nothing throws.
//
// Owned uniquely by the UI window and used on its thread only; no locks. Log lines go to
// standard output, one per event, flushed at once.
#ifndef ORVANTA_NETWORK_SPEED_NETWORK_SPEED_SERVICE_H_
#define ORVANTA_NETWORK_SPEED_NETWORK_SPEED_SERVICE_H_

#include <cstdint>
#include <vector>

#include "network_speed/interface_counters.h"
#include "network_speed/interface_table.h"

class NetworkSpeedService {
 public:
  // Reads the system's interface table and tick count. Construction touches neither.
  NetworkSpeedService();
  explicit NetworkSpeedService(InterfaceTableSource source);
  // Runs Cleanup.
  ~NetworkSpeedService();

  NetworkSpeedService(const NetworkSpeedService&) = delete;
  NetworkSpeedService& operator=(const NetworkSpeedService&) = delete;

  // Takes the baseline snapshot unless one is held. True if the service is initialized
  // afterwards.
  bool Initialize();
  // The rates since the previous snapshot, and a new baseline. Zeros while uninitialized
  // (without reading the table) and for calls less than 100 ms after the last snapshot.
  NetworkSpeed GetSpeed();
  // Forgets the snapshot and leaves the initialized state; logs only if it was initialized.
  void Cleanup();

 private:
  InterfaceTableSource source_;
  bool initialized_ = false;
  // Only the index and the two counters of each counted row are ever read, so only they are
  // kept.
  std::vector<InterfaceCounters> lastRows_;
  uint32_t lastTick_ = 0;
};

#endif  // ORVANTA_NETWORK_SPEED_NETWORK_SPEED_SERVICE_H_
