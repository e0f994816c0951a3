// Who else listens on the core's port. A core that cannot bind its inbound ends at once, and
// its own message does not say which program holds the port (often another proxy client, whose
// long-standing default it is), so the host names it before the core starts.
//
// Nothing here throws, retries or waits.
#ifndef ORVANTA_PROXY_CORE_PORT_HOLDER_H_
#define ORVANTA_PROXY_CORE_PORT_HOLDER_H_

#include <windows.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// A listener's address, 16 bytes in network order. An IPv4 address is kept as its IPv4-mapped
// form ::ffff:a.b.c.d, which is also what a socket bound to that form holds: the IPv4 port.
using ListenerAddress = std::array<uint8_t, 16>;

// ::ffff:a.b.c.d for an IPv4 address in host order (127.0.0.1 is 0x7F000001).
ListenerAddress MappedIpv4(uint32_t address);

struct TcpListener {
  ListenerAddress address = {};
  uint16_t port = 0;
  DWORD processId = 0;
};

// The machine's TCP listeners, IPv4 ones first, from one read of each of the system's two
// tables. A table that cannot be read (or holds more listeners than one read takes) adds none.
std::vector<TcpListener> ReadTcpListeners();

// For the first listener of a process other than `self` on `port` at 127.0.0.1, 0.0.0.0 (or
// their IPv4-mapped forms), :: or ::1: "WARNING: 127.0.0.1:<port> is already in use by <file
// name of its image> (PID <n>)", or "... by another program" when the process cannot be named
// (the system hides it behind PID 0, or it cannot be opened). Empty when there is no such
// listener.
//
// A listener on :: takes the IPv4 port too unless its program asked otherwise, which the table
// does not show; Go listens that way for "0.0.0.0" and ":port". One on ::1 leaves the core's
// bind alone, but a client that reaches the proxy as localhost may get ::1 first, and with it
// the other program.
std::string PortInUseWarning(const std::vector<TcpListener>& listeners, uint16_t port, DWORD self);

#endif  // ORVANTA_PROXY_CORE_PORT_HOLDER_H_
