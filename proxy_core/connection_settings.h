// The proxy settings Windows keeps per connection: the LAN settings, and one set per dial-up,
// PPPoE or VPN phonebook entry, which every client uses while that entry is the active
// connection. WinHTTP (and with it Chromium, Edge and .NET) reads only these, never the three
// plain values of proxy_settings.h, so a proxy is in effect for every client only once each
// connection holds it.
//
// They are read and written through WinINet's per-connection options (InternetQueryOptionW and
// InternetSetOptionW with INTERNET_OPTION_PER_CONNECTION_OPTION), which keep the system's own
// stored form and the plain values in step; the entries come from RasEnumEntriesW. Both DLLs
// are the system folder's (SystemDll). Names are UTF-16 throughout: entries are named in any
// script.
//
// Nothing here throws; failures are Windows error codes.
#ifndef ORVANTA_PROXY_CORE_CONNECTION_SETTINGS_H_
#define ORVANTA_PROXY_CORE_CONNECTION_SETTINGS_H_

#include <windows.h>

#include <string>
#include <vector>

// One connection's settings as WinINet reports them.
struct ConnectionSettings {
  // PROXY_TYPE_DIRECT, PROXY_TYPE_PROXY, PROXY_TYPE_AUTO_PROXY_URL, PROXY_TYPE_AUTO_DETECT,
  // as the user chose them where Windows says (INTERNET_PER_CONN_FLAGS_UI).
  DWORD flags = 0;
  std::wstring server;         // empty when none
  std::wstring bypass;         // empty when none
  std::wstring autoConfigUrl;  // empty when none

  bool operator==(const ConnectionSettings& other) const {
    return flags == other.flags && server == other.server && bypass == other.bypass &&
           autoConfigUrl == other.autoConfigUrl;
  }
  bool operator!=(const ConnectionSettings& other) const { return !(*this == other); }
};

struct Connection {
  std::wstring name;  // empty for the LAN settings
  ConnectionSettings settings;
  // Whether the system keeps a value of its own for the connection (under Internet
  // Settings\Connections: DefaultConnectionSettings for the LAN, the entry's name for an entry).
  // A profile that never had one has none, and WinHTTP then detects a proxy automatically; a
  // set through WinINet creates it, so putting the settings back means deleting it again.
  bool stored = true;
};

// The connections whose settings apply: the LAN (an empty name) first, then every phonebook
// entry. Only the LAN when the entries cannot be listed; `error` then says why, and is
// ERROR_SUCCESS otherwise.
std::vector<std::wstring> ListConnections(DWORD& error);

// Whether the system keeps a value of its own for connection `name` (see Connection::stored),
// and the deletion of that value.
bool HasStoredConnection(const std::wstring& name);
DWORD DeleteStoredConnection(const std::wstring& name);

// What WinINet reports for connection `name`. On failure `settings` is left as it was.
DWORD ReadConnection(const std::wstring& name, ConnectionSettings& settings);
// The flags, the server and the bypass list, as given, and with `withScript` the script's URL
// too; an empty text clears that setting.
DWORD WriteConnection(const std::wstring& name, const ConnectionSettings& settings,
                      bool withScript);

// What a set of ours gives every connection: `address`, bypass "<-loopback>", and flags that
// let neither a configuration script nor automatic detection win over them.
ConnectionSettings OurConnectionSettings(const std::wstring& address);
// What a clear gives a connection that holds ours and has nothing saved to go back to.
ConnectionSettings DirectConnectionSettings();
// True when the proxy in effect for the connection is `address` with our bypass list: a
// manual proxy, with no script or automatic detection that would win over it. (WinINet may
// report the manual proxy with or without PROXY_TYPE_DIRECT.)
bool IsOurConnection(const ConnectionSettings& settings, const std::wstring& address);
// True when the connection uses no proxy at all: neither a manual one, nor a script, nor
// automatic detection.
bool IsDirectConnection(const ConnectionSettings& settings);

// The proxy in effect for the connection in words, for the log: the server, "the configuration
// script <URL>", "automatic detection", or empty when it uses none.
std::wstring DescribeConnection(const ConnectionSettings& settings);
// The connection named in words, for the log: "the LAN connection" for the LAN (an empty name),
// else "the connection \"<name in UTF-8>\"".
std::string ConnectionLabel(const std::wstring& name);

// A connection's saved form: one line without its line end, "Connection" followed by the name,
// the server, the bypass list and the script's URL, each as the hexadecimal of its UTF-16LE
// units ("-" when empty), the flags in decimal between the name and the server, and last
// "stored" or "none".
std::string SerializeConnection(const Connection& connection);
// False, leaving `connection` unspecified, when `line` is not exactly what Serialize makes.
bool ParseConnection(const std::string& line, Connection& connection);

#endif  // ORVANTA_PROXY_CORE_CONNECTION_SETTINGS_H_
