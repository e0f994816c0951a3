// Stand-in for powershell.exe, for tests and the demo layout.
//
// Accepts exactly the host's two proxy command texts (the whole command line after the
// program name): the set text with any host:port, and the clear text. It writes ProxyEnable,
// ProxyServer and ProxyOverride under HKCU\Software\Microsoft\Windows\CurrentVersion\Internet
// Settings as Set-ItemProperty does (a value that exists keeps its type, a new one is text)
// and exits 0. Any other command: a message on standard error and exit code 1, nothing
// written.
//
// Failure switches, read from the environment the host passes on:
//   ORVANTA_STANDIN_PS_HANG_MS=<ms>     sleep this long first (e.g. 8000 outlasts the host's wait)
//   ORVANTA_STANDIN_PS_SET_HANG_MS=<ms> the same for the set command only
//   ORVANTA_STANDIN_PS_EXIT_CODE=<n>    exit with n without writing anything
//   ORVANTA_STANDIN_PS_SET_CUT_MS=<ms>  the set writes ProxyEnable, then sleeps this long before
//                                       the other two, so it can be cut short between its writes
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

const std::string kProperty =
    "Set-ItemProperty -Path 'HKCU:\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet "
    "Settings' ";
const std::string kSetHead = "-Command \"" + kProperty + "-Name ProxyEnable -Value 1; " +
                             kProperty + "-Name ProxyServer -Value '";
const std::string kSetTail = "'; " + kProperty + "-Name ProxyOverride -Value '<-loopback>'\"";
const std::string kClear = "-Command \"" + kProperty + "-Name ProxyEnable -Value 0; " + kProperty +
                           "-Name ProxyServer -Value ''; " + kProperty +
                           "-Name ProxyOverride -Value ''\"";

// The command line after the program name and the blank that follows it.
std::string Arguments() {
  const std::string line = GetCommandLineA();
  size_t pos = 0;
  if (!line.empty() && line[0] == '"') {
    pos = line.find('"', 1);
    pos = pos == std::string::npos ? line.size() : pos + 1;
  } else {
    while (pos < line.size() && line[pos] != ' ' && line[pos] != '\t') ++pos;
  }
  if (pos < line.size() && line[pos] == ' ') ++pos;
  return line.substr(pos);
}

bool IsPort(const std::string& text) {
  size_t i = (!text.empty() && text[0] == '-') ? 1 : 0;
  if (i == text.size()) return false;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
  }
  return true;
}

// host:port from the set text, or false when `args` is not the set text.
bool ParseSet(const std::string& args, std::string& server) {
  if (args.size() <= kSetHead.size() + kSetTail.size()) return false;
  if (args.compare(0, kSetHead.size(), kSetHead) != 0) return false;
  if (args.compare(args.size() - kSetTail.size(), kSetTail.size(), kSetTail) != 0) return false;
  server = args.substr(kSetHead.size(), args.size() - kSetHead.size() - kSetTail.size());
  const size_t colon = server.rfind(':');
  if (colon == std::string::npos || colon == 0) return false;
  if (server.find('\'') != std::string::npos) return false;
  return IsPort(server.substr(colon + 1));
}

// As Set-ItemProperty writes a registry value: an existing number stays a number, any other
// value (and one that does not exist yet) becomes text, an existing expandable text stays one.
bool WriteLikeSetItemProperty(HKEY key, const char* name, const std::string& text) {
  DWORD type = REG_NONE;
  if (RegQueryValueExA(key, name, nullptr, &type, nullptr, nullptr) != ERROR_SUCCESS) {
    type = REG_NONE;
  }
  if (type == REG_DWORD) {
    const DWORD number = std::strtoul(text.c_str(), nullptr, 10);
    return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                          sizeof(number)) == ERROR_SUCCESS;
  }
  return RegSetValueExA(key, name, 0, type == REG_EXPAND_SZ ? REG_EXPAND_SZ : REG_SZ,
                        reinterpret_cast<const BYTE*>(text.c_str()),
                        static_cast<DWORD>(text.size() + 1)) == ERROR_SUCCESS;
}

void HangIfAsked(const char* variable);

bool WriteSettings(const char* enable, const std::string& server,
                   const std::string& override_list) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(
          HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings", 0,
          nullptr, 0, KEY_SET_VALUE | KEY_QUERY_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  bool ok = WriteLikeSetItemProperty(key, "ProxyEnable", enable);
  if (ok && *enable == '1') HangIfAsked("ORVANTA_STANDIN_PS_SET_CUT_MS");
  ok = ok && WriteLikeSetItemProperty(key, "ProxyServer", server) &&
       WriteLikeSetItemProperty(key, "ProxyOverride", override_list);
  RegCloseKey(key);
  return ok;
}

// The variable's text, or false when it is not set.
bool Environment(const char* name, std::string& value) {
  char buffer[64];
  const DWORD length = GetEnvironmentVariableA(name, buffer, sizeof(buffer));
  if (length == 0 || length >= sizeof(buffer)) return false;
  value.assign(buffer, length);
  return true;
}

void HangIfAsked(const char* variable) {
  std::string hang;
  if (Environment(variable, hang))
    Sleep(static_cast<DWORD>(std::strtoul(hang.c_str(), nullptr, 10)));
}

}  // namespace

int main() {
  HangIfAsked("ORVANTA_STANDIN_PS_HANG_MS");
  const std::string args = Arguments();
  std::string server;
  const bool isSet = ParseSet(args, server);
  if (isSet) HangIfAsked("ORVANTA_STANDIN_PS_SET_HANG_MS");
  if (!isSet && args != kClear) {
    std::fprintf(stderr, "powershell stand-in: unsupported command: %s\n", args.c_str());
    return 1;
  }
  std::string code;
  if (Environment("ORVANTA_STANDIN_PS_EXIT_CODE", code)) {
    return static_cast<int>(std::strtol(code.c_str(), nullptr, 10));
  }
  const bool written =
      isSet ? WriteSettings("1", server, "<-loopback>") : WriteSettings("0", "", "");
  if (!written) {
    std::fprintf(stderr, "powershell stand-in: cannot write Internet Settings\n");
    return 1;
  }
  return 0;
}
