// Before windows.h, which the header includes: after it, the older winsock.h clashes.
#include <winsock2.h>
#include <ws2ipdef.h>
#include <windows.h>
#include <iphlpapi.h>

#include "proxy_core/port_holder.h"

#include "support/system_dll.h"
#include "support/unique_handle.h"
#include "support/wide_text.h"

namespace {

constexpr uint32_t kLoopback = 0x7F000001;
constexpr uint32_t kAnyAddress = 0;
// A machine has a few dozen listeners; one read with room for thousands needs no second try.
constexpr size_t kMaxListeners = 4096;

uint32_t HostOrder(DWORD networkOrder) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(&networkOrder);
  return (static_cast<uint32_t>(bytes[0]) << 24) | (static_cast<uint32_t>(bytes[1]) << 16) |
         (static_cast<uint32_t>(bytes[2]) << 8) | bytes[3];
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

std::vector<TcpListener> ReadTcpListeners() {
  std::vector<DWORD> buffer(
      (sizeof(MIB_TCPTABLE_OWNER_PID) + kMaxListeners * sizeof(MIB_TCPROW_OWNER_PID)) /
      sizeof(DWORD));
  DWORD size = static_cast<DWORD>(buffer.size() * sizeof(DWORD));
  std::vector<TcpListener> listeners;
  auto* getTable =
      orvanta::SystemDll::Iphlpapi().Find<decltype(::GetExtendedTcpTable)>("GetExtendedTcpTable");
  if (getTable == nullptr ||
      getTable(buffer.data(), &size, FALSE, AF_INET, TCP_TABLE_OWNER_PID_LISTENER, 0) != NO_ERROR) {
    return listeners;
  }
  const auto* table = reinterpret_cast<const MIB_TCPTABLE_OWNER_PID*>(buffer.data());
  for (DWORD i = 0; i < table->dwNumEntries; ++i) {
    const MIB_TCPROW_OWNER_PID& row = table->table[i];
    const DWORD port = row.dwLocalPort;
    listeners.push_back({HostOrder(row.dwLocalAddr),
                         static_cast<uint16_t>(((port & 0xFF) << 8) | ((port >> 8) & 0xFF)),
                         row.dwOwningPid});
  }
  return listeners;
}

std::string PortInUseWarning(const std::vector<TcpListener>& listeners, uint16_t port, DWORD self) {
  for (const TcpListener& listener : listeners) {
    if (listener.port != port || listener.processId == self ||
        (listener.address != kLoopback && listener.address != kAnyAddress)) {
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
