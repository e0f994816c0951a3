#include "network_speed/interface_table.h"

#include <utility>

InterfaceTableSource InterfaceTableSource::System() {
  InterfaceTableSource source;
  source.getIfTable2 = [](OwnedInterfaceTable* table) -> DWORD {
    PMIB_IF_TABLE2 raw = nullptr;
    const DWORD status = ::GetIfTable2(&raw);
    // Owned before the status is looked at, so no answer can leave a table behind.
    *table = OwnedInterfaceTable(raw, {[](MIB_IF_TABLE2* t) { ::FreeMibTable(t); }});
    return status;
  };
  source.getTickCount = [] { return ::GetTickCount(); };
  return source;
}

bool ReadOperationalRows(const InterfaceTableSource& source, std::vector<InterfaceCounters>* rows) {
  OwnedInterfaceTable table;
  if (source.getIfTable2(&table) != NO_ERROR || !table) return false;

  std::vector<InterfaceCounters> counted;
  const MIB_IF_ROW2* row = table->Table;
  for (ULONG i = 0; i < table->NumEntries; ++i, ++row) {
    if (row->OperStatus != IfOperStatusUp || row->InterfaceAndOperStatusFlags.FilterInterface) {
      continue;
    }
    counted.push_back({row->InterfaceIndex, row->InOctets, row->OutOctets});
  }
  *rows = std::move(counted);
  return true;
}
