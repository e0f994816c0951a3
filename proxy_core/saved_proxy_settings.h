// The user's proxy settings from before the first set, kept in a file of the working folder
// beside the record of a set, so that they can be put back at the end of the connection, also
// by the next run after a crash.
//
// The file holds one line per plain value, in a fixed order: its name, then "absent" or its
// type in decimal and its bytes in hexadecimal; then one line per connection in the saved form
// of connection_settings.h. A file of an earlier version, which held the plain values only,
// reads as settings with no connections. It is replaced as a whole, never half written. A file
// that cannot be read or does not parse counts as no saved state.
#ifndef ORVANTA_PROXY_CORE_SAVED_PROXY_SETTINGS_H_
#define ORVANTA_PROXY_CORE_SAVED_PROXY_SETTINGS_H_

#include <windows.h>

#include <string>
#include <vector>

#include "proxy_core/connection_settings.h"
#include "proxy_core/proxy_settings.h"

// Everything a set changes, as it stands at one moment.
struct ProxySnapshot {
  ProxySettings plain;
  std::vector<Connection> connections;  // the LAN first
};

std::string SerializeProxySnapshot(const ProxySnapshot& snapshot);
// False, leaving `snapshot` unspecified, when `text` is not exactly what Serialize makes.
bool ParseProxySnapshot(const std::string& text, ProxySnapshot& snapshot);

// Writes the file; ERROR_SUCCESS or why not.
DWORD SaveProxySnapshot(const std::wstring& path, const ProxySnapshot& snapshot);
// True when the file exists and parses.
bool LoadProxySnapshot(const std::wstring& path, ProxySnapshot& snapshot);

#endif  // ORVANTA_PROXY_CORE_SAVED_PROXY_SETTINGS_H_
