#include "network_speed/interface_table.h"

#include <cstddef>
#include <cstring>
#include <memory>
#include <new>
#include <utility>

namespace {

// The table is read out of a plain byte buffer field by field, so nothing is ever read past
// what was allocated, whatever the entry count says.
DWORD ReadDword(const unsigned char* at) {
  DWORD value = 0;
  std::memcpy(&value, at, sizeof(value));
  return value;
}

// Some SDKs define the status as an enumerator, others as a plain number.
constexpr DWORD kOperational = static_cast<DWORD>(MIB_IF_OPER_STATUS_OPERATIONAL);

}  // namespace

InterfaceTableSource InterfaceTableSource::System() {
  InterfaceTableSource source;
  source.getIfTable = [](PMIB_IFTABLE table, PULONG size, BOOL order) {
    return ::GetIfTable(table, size, order);
  };
  source.getTickCount = [] { return ::GetTickCount(); };
  return source;
}

bool ReadOperationalRows(const InterfaceTableSource& source, std::vector<InterfaceCounters>* rows) {
  ULONG size = 0;
  if (source.getIfTable(nullptr, &size, TRUE) != ERROR_INSUFFICIENT_BUFFER) return false;

  constexpr size_t kHeader = offsetof(MIB_IFTABLE, table);
  const size_t allocated = size;
  if (allocated < kHeader) return false;
  std::unique_ptr<unsigned char[]> buffer(new (std::nothrow) unsigned char[allocated]());
  if (!buffer) return false;

  if (source.getIfTable(reinterpret_cast<PMIB_IFTABLE>(buffer.get()), &size, TRUE) != NO_ERROR) {
    return false;
  }

  const size_t entries = ReadDword(buffer.get() + offsetof(MIB_IFTABLE, dwNumEntries));
  if (entries > (allocated - kHeader) / sizeof(MIB_IFROW)) return false;

  std::vector<InterfaceCounters> operational;
  operational.reserve(entries);
  for (size_t i = 0; i < entries; ++i) {
    const unsigned char* row = buffer.get() + kHeader + i * sizeof(MIB_IFROW);
    if (ReadDword(row + offsetof(MIB_IFROW, dwOperStatus)) != kOperational) {
      continue;
    }
    operational.push_back({ReadDword(row + offsetof(MIB_IFROW, dwIndex)),
                           ReadDword(row + offsetof(MIB_IFROW, dwInOctets)),
                           ReadDword(row + offsetof(MIB_IFROW, dwOutOctets))});
  }
  *rows = std::move(operational);
  return true;
}
