// Who else listens on the core's port. A core that cannot bind its inbound ends at once, and
// its own message does not say which program holds the port (often another proxy client, whose
// long-standing default it is), so the host names it before the core starts.
//
// Nothing here throws, retries or waits.
#ifndef ORVANTA_PROXY_CORE_PORT_HOLDER_H_
#define ORVANTA_PROXY_CORE_PORT_HOLDER_H_

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

struct TcpListener {
  uint32_t address = 0;  // IPv4 in host order: 127.0.0.1 is 0x7F000001
  uint16_t port = 0;
  DWORD processId = 0;
};

// The machine's IPv4 TCP listeners, from one read of the system's table. Empty when it cannot
// be read (or holds more listeners than one read takes).
std::vector<TcpListener> ReadTcpListeners();

// For the first listener of a process other than `self` on 127.0.0.1:`port` or 0.0.0.0:`port`:
// "WARNING: 127.0.0.1:<port> is already in use by <file name of its image> (PID <n>)", or
// "... by another program" when the process cannot be named (the system hides it behind PID 0,
// or it cannot be opened). Empty when there is no such listener.
std::string PortInUseWarning(const std::vector<TcpListener>& listeners, uint16_t port, DWORD self);

#endif  // ORVANTA_PROXY_CORE_PORT_HOLDER_H_
