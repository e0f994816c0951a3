// Before windows.h, which the header includes: after it, the older winsock.h clashes.
#include <winsock2.h>
#include <ws2ipdef.h>
#include <windows.h>
#include <iphlpapi.h>

#include "proxy_core/port_holder.h"

#include <algorithm>

#include "support/system_dll.h"
#include "support/unique_handle.h"
#include "support/wide_text.h"

namespace {

constexpr uint32_t kLoopback = 0x7F000001;
constexpr uint32_t kAnyAddress = 0;
constexpr ListenerAddress kIpv6Any = {};
constexpr ListenerAddress kIpv6Loopback = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
// A machine has a few dozen listeners; one read with room for thousands needs no second try.
constexpr size_t kMaxListeners = 4096;

uint32_t HostOrder(DWORD networkOrder) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(&networkOrder);
  return (static_cast<uint32_t>(bytes[0]) << 24) | (static_cast<uint32_t>(bytes[1]) << 16) |
         (static_cast<uint32_t>(bytes[2]) << 8) | bytes[3];
}

uint16_t HostOrderPort(DWORD port) {
  return static_cast<uint16_t>(((port & 0xFF) << 8) | ((port >> 8) & 0xFF));
}

// One read of the listener table of `family`, whose rows are `Row`s, into `buffer`.
template <typename Table, typename Row>
const Table* ReadTable(ULONG family, std::vector<DWORD>& buffer) {
  buffer.resize((sizeof(Table) + kMaxListeners * sizeof(Row)) / sizeof(DWORD));
  DWORD size = static_cast<DWORD>(buffer.size() * sizeof(DWORD));
  auto* getTable =
      orvanta::SystemDll::Iphlpapi().Find<decltype(::GetExtendedTcpTable)>("GetExtendedTcpTable");
  if (getTable == nullptr ||
      getTable(buffer.data(), &size, FALSE, family, TCP_TABLE_OWNER_PID_LISTENER, 0) != NO_ERROR) {
    return nullptr;
  }
  return reinterpret_cast<const Table*>(buffer.data());
}

// Where a listener keeps the core from its port, or may take its clients (see the header).
bool TakesCorePort(const ListenerAddress& address) {
  return address == MappedIpv4(kLoopback) || address == MappedIpv4(kAnyAddress) ||
         address == kIpv6Any || address == kIpv6Loopback;
}

// The file name of the process's image; empty when it cannot be had.
std::string ImageFileName(DWORD processId) {
  if (processId == 0) return std::string();
  orvanta::UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
  if (!process) return std::string();
  std::wstring path(32768, L'\0');
  DWORD length = static_cast<DWORD>(path.size());
  if (!QueryFullProcessImageNameW(process.Get(), 0, &path[0], &length)) return std::string();
  path.resize(length);
  return orvanta::Utf8FromWide(path.substr(path.find_last_of(L"\\/") + 1));
}

}  // namespace

ListenerAddress MappedIpv4(uint32_t address) {
  ListenerAddress mapped = {};
  mapped[10] = 0xFF;
  mapped[11] = 0xFF;
  for (int i = 0; i < 4; ++i) mapped[12 + i] = static_cast<uint8_t>(address >> (24 - 8 * i));
  return mapped;
}

std::vector<TcpListener> ReadTcpListeners() {
  std::vector<TcpListener> listeners;
  std::vector<DWORD> buffer;
  if (const auto* table =
          ReadTable<MIB_TCPTABLE_OWNER_PID, MIB_TCPROW_OWNER_PID>(AF_INET, buffer)) {
    for (DWORD i = 0; i < table->dwNumEntries; ++i) {
      const MIB_TCPROW_OWNER_PID& row = table->table[i];
      listeners.push_back({MappedIpv4(HostOrder(row.dwLocalAddr)), HostOrderPort(row.dwLocalPort),
                           row.dwOwningPid});
    }
  }
  if (const auto* table =
          ReadTable<MIB_TCP6TABLE_OWNER_PID, MIB_TCP6ROW_OWNER_PID>(AF_INET6, buffer)) {
    for (DWORD i = 0; i < table->dwNumEntries; ++i) {
      const MIB_TCP6ROW_OWNER_PID& row = table->table[i];
      TcpListener listener;
      std::copy(row.ucLocalAddr, row.ucLocalAddr + 16, listener.address.begin());
      listener.port = HostOrderPort(row.dwLocalPort);
      listener.processId = row.dwOwningPid;
      listeners.push_back(listener);
    }
  }
  return listeners;
}

std::string PortInUseWarning(const std::vector<TcpListener>& listeners, uint16_t port, DWORD self) {
  for (const TcpListener& listener : listeners) {
    if (listener.port != port || listener.processId == self || !TakesCorePort(listener.address)) {
      continue;
    }
    const std::string prefix =
        "WARNING: 127.0.0.1:" + std::to_string(port) + " is already in use by ";
    const std::string name = ImageFileName(listener.processId);
    if (name.empty()) return prefix + "another program";
    return prefix + name + " (PID " + std::to_string(listener.processId) + ")";
  }
  return std::string();
}
