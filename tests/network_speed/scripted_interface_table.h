// Test helper: an interface table and tick count whose contents and failures a test scripts,
// handed to NetworkSpeedService through its table source. It records every call, so tests can
// check what was read, in which order and with which arguments.
#ifndef ORVANTA_TESTS_NETWORK_SPEED_SCRIPTED_INTERFACE_TABLE_H_
#define ORVANTA_TESTS_NETWORK_SPEED_SCRIPTED_INTERFACE_TABLE_H_

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "network_speed/interface_table.h"

class ScriptedInterfaceTable {
 public:
  struct Row {
    DWORD index;
    DWORD operStatus;
    DWORD inOctets;
    DWORD outOctets;
  };
  static constexpr DWORD kUp = static_cast<DWORD>(MIB_IF_OPER_STATUS_OPERATIONAL);
  static constexpr DWORD kDown = static_cast<DWORD>(MIB_IF_OPER_STATUS_NON_OPERATIONAL);

  std::vector<Row> rows;
  DWORD tick = 0;

  // Faults for the next reads (each read is a sizing call and a filling call).
  int failSizingCalls = 0;                         // the sizing call answers ERROR_NOT_SUPPORTED
  DWORD sizingAnswer = ERROR_INSUFFICIENT_BUFFER;  // what a working sizing call answers
  ULONG sizeShrink = 0;                            // reported size is this much smaller than needed
  int failFillingCalls = 0;                        // the filling call answers ERROR_GEN_FAILURE
  bool growBetweenCalls = false;                   // one more row appears after the sizing call
  DWORD claimExtraEntries = 0;  // dwNumEntries says this many more rows than were written

  // 'S' for a sizing call, 'F' for a filling call, 'K' for a tick read.
  std::string events;
  bool sawUnsortedRequest = false;
  bool sawDirtyBuffer = false;

  InterfaceTableSource Source() {
    InterfaceTableSource source;
    source.getIfTable = [this](PMIB_IFTABLE table, PULONG size, BOOL order) {
      return GetIfTable(table, size, order);
    };
    source.getTickCount = [this] {
      events += 'K';
      return tick;
    };
    return source;
  }

  size_t TableReads() const {
    size_t count = 0;
    for (char c : events) count += (c == 'S' || c == 'F') ? 1 : 0;
    return count;
  }

 private:
  static ULONG Needed(size_t count) {
    return static_cast<ULONG>(offsetof(MIB_IFTABLE, table) + count * sizeof(MIB_IFROW));
  }

  DWORD GetIfTable(PMIB_IFTABLE table, PULONG size, BOOL order) {
    if (order != TRUE) sawUnsortedRequest = true;
    if (table == nullptr) {
      events += 'S';
      if (failSizingCalls > 0) {
        --failSizingCalls;
        return ERROR_NOT_SUPPORTED;
      }
      *size = Needed(rows.size()) - sizeShrink;
      if (growBetweenCalls) rows.push_back({static_cast<DWORD>(rows.size()) + 100, kUp, 0, 0});
      return sizingAnswer;
    }
    events += 'F';
    if (failFillingCalls > 0) {
      --failFillingCalls;
      return ERROR_GEN_FAILURE;
    }
    const auto* bytes = reinterpret_cast<const unsigned char*>(table);
    for (ULONG i = 0; i < *size; ++i) sawDirtyBuffer |= bytes[i] != 0;
    if (*size < Needed(rows.size())) {
      *size = Needed(rows.size());
      return ERROR_INSUFFICIENT_BUFFER;
    }
    table->dwNumEntries = static_cast<DWORD>(rows.size()) + claimExtraEntries;
    for (size_t i = 0; i < rows.size(); ++i) {
      MIB_IFROW& out = *(table->table + i);
      std::memset(&out, 0xA5, sizeof(out));  // fields the service must not care about
      out.dwIndex = rows[i].index;
      out.dwOperStatus = static_cast<decltype(out.dwOperStatus)>(rows[i].operStatus);
      out.dwInOctets = rows[i].inOctets;
      out.dwOutOctets = rows[i].outOctets;
    }
    return NO_ERROR;
  }
};

#endif  // ORVANTA_TESTS_NETWORK_SPEED_SCRIPTED_INTERFACE_TABLE_H_
