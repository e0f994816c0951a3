// Where a NetworkSpeedService gets its interface table and its clock from, and the one step
// that turns a table read into the list of interfaces whose traffic counts.
//
// The source is a pair of plain callables shaped like GetIfTable2 and GetTickCount. The service
// copies it at construction; System() hands in the real functions, tests and benchmarks hand
// in scripted tables of MIB_IF_ROW2 rows. Holding callables instead of a virtual interface
// keeps the service itself free of virtual operations.
#ifndef ORVANTA_NETWORK_SPEED_INTERFACE_TABLE_H_
#define ORVANTA_NETWORK_SPEED_INTERFACE_TABLE_H_

#include <winsock2.h>
#include <ws2ipdef.h>
#include <windows.h>
#include <iphlpapi.h>

#include <functional>
#include <memory>
#include <vector>

#include "network_speed/interface_counters.h"

// Releases a table with the function that matches its allocator: FreeMibTable for the system's
// tables, the script's own for a scripted one.
struct InterfaceTableRelease {
  void (*release)(MIB_IF_TABLE2* table) = nullptr;
  void operator()(MIB_IF_TABLE2* table) const { release(table); }
};
using OwnedInterfaceTable = std::unique_ptr<MIB_IF_TABLE2, InterfaceTableRelease>;

struct InterfaceTableSource {
  // Same contract as ::GetIfTable2, with the table handed over owned: one call allocates and
  // fills the whole table and answers NO_ERROR, or answers an error code.
  std::function<DWORD(OwnedInterfaceTable* table)> getIfTable2;
  // Same contract as ::GetTickCount: milliseconds since system start, wrapping at 2^32.
  std::function<DWORD()> getTickCount;

  // The system's iphlpapi (loaded from the system folder only) and kernel32 functions. Calls
  // neither.
  static InterfaceTableSource System();
};

// Reads the table once and replaces `*rows` with the counters of the interfaces that are up
// and are not filter interfaces, in table order. Windows lists each network filter bound to an
// adapter (QoS Packet Scheduler, WFP MAC layer filters, ...) as an interface of its own that
// is up and carries the adapter's counters, so counting it would count the adapter's traffic
// again. Loopback and other virtual adapters are kept. Returns false and leaves `*rows`
// untouched if the read answers an error or no table.
bool ReadOperationalRows(const InterfaceTableSource& source, std::vector<InterfaceCounters>* rows);

#endif  // ORVANTA_NETWORK_SPEED_INTERFACE_TABLE_H_
