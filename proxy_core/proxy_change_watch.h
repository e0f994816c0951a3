// While a set is in effect: hears of every change to the per-user proxy (the plain values under
// Internet Settings and the connections' settings in its Connections subkey) and reports, once,
// a change by anyone else that leaves a view no longer ours (the LAN, the plain values, or a
// dial-up or VPN entry the set reached), as a warning in the log: such traffic bypasses the core.
// Nothing is re-applied; the other program's or the user's choice stands. Every view ours again
// (the user set it back) re-arms the report.
//
// It costs nothing while nothing changes: a registry notice and a registered wait, heard on the
// thread that starts the watch, from its message loop. Not thread-safe.
#ifndef ORVANTA_PROXY_CORE_PROXY_CHANGE_WATCH_H_
#define ORVANTA_PROXY_CORE_PROXY_CHANGE_WATCH_H_

#include <optional>
#include <string>
#include <vector>

#include "proxy_core/service_log.h"
#include "support/registry_key.h"
#include "support/signal_watch.h"
#include "support/unique_handle.h"

class ProxyChangeWatch {
 public:
  // `address` ("host:port") is the proxy that counts as ours.
  ProxyChangeWatch(ServiceLog log, const std::string& address);

  ProxyChangeWatch(const ProxyChangeWatch&) = delete;
  ProxyChangeWatch& operator=(const ProxyChangeWatch&) = delete;

  // Starts (or restarts) the watch. `connections` are those the set made ours (the LAN as ""),
  // judged beside the plain values. Every view is read once right after arming, so a change
  // made since our own writes, which had no notice to fire, is reported as well.
  void Start(std::vector<std::wstring> connections);
  // Stops the watch, so that our own writes that follow are never reported.
  void Stop();

 private:
  // Arms the next notice of a change; false, after a warning, when it cannot be had.
  bool Arm();
  void OnChanged();
  // Reports, once, a view that is no longer ours since every view last was.
  void Check();
  // The warning for the first view found no longer ours; empty while every view is ours, and
  // none when the plain values cannot be read (then nothing is judged).
  std::optional<std::string> Departure() const;

  ServiceLog log_;
  std::wstring address_;
  std::vector<std::wstring> connections_;
  // Whether the values have been reported as no longer ours since they last were.
  bool reported_ = false;
  // The key the notice is armed on and the event the registry sets. The wait is declared last,
  // so it has ended before the key and the event close.
  orvanta::RegistryKey key_;
  orvanta::UniqueHandle event_;
  orvanta::SignalWatch wait_;
};

#endif  // ORVANTA_PROXY_CORE_PROXY_CHANGE_WATCH_H_
