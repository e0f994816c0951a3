// The user's proxy values from before the first set, kept in a file of the working folder
// beside the record of a set, so that they can be put back at the end of the connection, also
// by the next run after a crash.
//
// The file holds one line per value, in a fixed order: its name, then "absent" or its type in
// decimal and its bytes in hexadecimal. It is replaced as a whole, never half written. A file
// that cannot be read or does not parse counts as no saved state.
#ifndef ORVANTA_PROXY_CORE_SAVED_PROXY_SETTINGS_H_
#define ORVANTA_PROXY_CORE_SAVED_PROXY_SETTINGS_H_

#include <windows.h>

#include <string>

#include "proxy_core/proxy_settings.h"

std::string SerializeProxySettings(const ProxySettings& settings);
// False, leaving `settings` unspecified, when `text` is not exactly what Serialize makes.
bool ParseProxySettings(const std::string& text, ProxySettings& settings);

// Writes the file; ERROR_SUCCESS or why not.
DWORD SaveProxySettings(const std::wstring& path, const ProxySettings& settings);
// True when the file exists and parses.
bool LoadProxySettings(const std::wstring& path, ProxySettings& settings);

#endif  // ORVANTA_PROXY_CORE_SAVED_PROXY_SETTINGS_H_
