// Test helper: an interface table and tick count whose contents and failures a test scripts,
// handed to NetworkSpeedService through its table source. It records every read, so tests can
// check what was read and in which order, and counts the tables it handed out that are still
// unreleased.
#ifndef ORVANTA_TESTS_NETWORK_SPEED_SCRIPTED_INTERFACE_TABLE_H_
#define ORVANTA_TESTS_NETWORK_SPEED_SCRIPTED_INTERFACE_TABLE_H_

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "network_speed/interface_table.h"

class ScriptedInterfaceTable {
 public:
  struct Row {
    NET_IFINDEX index;
    IF_OPER_STATUS operStatus;
    uint64_t inOctets;
    uint64_t outOctets;
    bool filter = false;  // a filter interface listed beside its adapter
  };
  static constexpr IF_OPER_STATUS kUp = IfOperStatusUp;
  static constexpr IF_OPER_STATUS kDown = IfOperStatusDown;
  static constexpr bool kFilter = true;

  std::vector<Row> rows;
  DWORD tick = 0;

  int failReads = 0;           // the next reads answer ERROR_NOT_ENOUGH_MEMORY
  bool answerNoTable = false;  // reads answer NO_ERROR but hand over no table
  std::string events;          // 'T' for a table read, 'K' for a tick read
  // Tables handed out and not released yet, over all instances: the release function that a
  // table carries has no way back to its instance.
  static inline int liveTables = 0;

  InterfaceTableSource Source() {
    InterfaceTableSource source;
    source.getIfTable2 = [this](OwnedInterfaceTable* table) { return Read(table); };
    source.getTickCount = [this] {
      events += 'K';
      return tick;
    };
    return source;
  }

 private:
  static void Release(MIB_IF_TABLE2* table) {
    --liveTables;
    std::free(table);
  }

  DWORD Read(OwnedInterfaceTable* table) {
    events += 'T';
    if (failReads > 0) {
      --failReads;
      return ERROR_NOT_ENOUGH_MEMORY;
    }
    if (answerNoTable) return NO_ERROR;
    // Allocated in one block as the system does; never smaller than the struct itself.
    const size_t bytes =
        offsetof(MIB_IF_TABLE2, Table) + (rows.empty() ? 1 : rows.size()) * sizeof(MIB_IF_ROW2);
    auto* filled = static_cast<MIB_IF_TABLE2*>(std::malloc(bytes));
    if (filled == nullptr) return ERROR_NOT_ENOUGH_MEMORY;
    ++liveTables;
    *table = OwnedInterfaceTable(filled, {&Release});
    filled->NumEntries = static_cast<ULONG>(rows.size());
    for (size_t i = 0; i < rows.size(); ++i) {
      MIB_IF_ROW2& out = *(filled->Table + i);
      std::memset(&out, 0xA5, sizeof(out));  // fields the service must not care about
      // Every other flag set, so only the filter flag itself can tell the rows apart.
      std::memset(&out.InterfaceAndOperStatusFlags, 0xFF, sizeof(out.InterfaceAndOperStatusFlags));
      out.InterfaceAndOperStatusFlags.FilterInterface = rows[i].filter ? 1 : 0;
      out.InterfaceIndex = rows[i].index;
      out.OperStatus = rows[i].operStatus;
      out.InOctets = rows[i].inOctets;
      out.OutOctets = rows[i].outOctets;
    }
    return NO_ERROR;
  }
};

#endif  // ORVANTA_TESTS_NETWORK_SPEED_SCRIPTED_INTERFACE_TABLE_H_
