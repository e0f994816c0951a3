// Where a NetworkSpeedService gets its interface table and its clock from, and the one step
// that turns a table read into the list of operational interfaces.
//
// The source is a pair of plain callables with the signatures of GetIfTable and
// GetTickCount. The service copies it at construction; System() hands in the real functions,
// tests and benchmarks hand in scripted ones. Holding callables instead of a virtual
// interface keeps the service itself free of virtual operations.
#ifndef ORVANTA_NETWORK_SPEED_INTERFACE_TABLE_H_
#define ORVANTA_NETWORK_SPEED_INTERFACE_TABLE_H_

#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>

#include <functional>
#include <vector>

#include "network_speed/interface_counters.h"

struct InterfaceTableSource {
  // Same contract as ::GetIfTable: with a null or too small buffer it stores the needed size
  // and answers ERROR_INSUFFICIENT_BUFFER; with a large enough one it fills the table and
  // answers NO_ERROR.
  std::function<DWORD(PMIB_IFTABLE table, PULONG size, BOOL order)> getIfTable;
  // Same contract as ::GetTickCount: milliseconds since system start, wrapping at 2^32.
  std::function<DWORD()> getTickCount;

  // The system's iphlpapi and kernel32 functions. Calls neither.
  static InterfaceTableSource System();
};

// Reads the table sorted by interface index in two calls (size, then contents, no retry if
// the table grew in between) and replaces `*rows` with the counters of the operational
// interfaces, in table order. Returns false and leaves `*rows` untouched if either call does
// not answer as expected, if the buffer cannot be allocated, or if the table claims more
// entries than the buffer it was read into can hold.
bool ReadOperationalRows(const InterfaceTableSource& source, std::vector<InterfaceCounters>* rows);

#endif  // ORVANTA_NETWORK_SPEED_INTERFACE_TABLE_H_
