#include "network_speed/interface_table.h"

#include <utility>

#include "support/system_dll.h"

namespace {

using FreeMibTableFunction = decltype(::FreeMibTable);

FreeMibTableFunction* FindFreeMibTable() {
  return orvanta::SystemDll::Iphlpapi().Find<FreeMibTableFunction>("FreeMibTable");
}

// Found again at release, as a table's release is a plain function; it was found before the
// table was asked for, so it is there.
void FreeSystemTable(MIB_IF_TABLE2* table) {
  if (FreeMibTableFunction* freeMibTable = FindFreeMibTable()) freeMibTable(table);
}

}  // namespace

InterfaceTableSource InterfaceTableSource::System() {
  InterfaceTableSource source;
  source.getIfTable2 = [](OwnedInterfaceTable* table) -> DWORD {
    // Without both functions no table is asked for, as none could be released; the read fails
    // like a refused GetIfTable2.
    auto* systemGetIfTable2 =
        orvanta::SystemDll::Iphlpapi().Find<decltype(::GetIfTable2)>("GetIfTable2");
    if (systemGetIfTable2 == nullptr || FindFreeMibTable() == nullptr) return ::GetLastError();
    PMIB_IF_TABLE2 raw = nullptr;
    const DWORD status = systemGetIfTable2(&raw);
    // Owned before the status is looked at, so no answer can leave a table behind.
    *table = OwnedInterfaceTable(raw, {FreeSystemTable});
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
