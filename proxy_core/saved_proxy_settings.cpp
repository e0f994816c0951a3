#include "proxy_core/saved_proxy_settings.h"

#include <string_view>
#include <utility>

#include "proxy_core/hex_bytes.h"
#include "proxy_core/working_files.h"
#include "support/wide_text.h"

namespace {

// Far beyond any proxy list a user keeps; a larger file is not ours.
constexpr DWORD kMaxFileBytes = 1024 * 1024;

// One value's line without its name: "absent", or "<type> <hex bytes>".
bool ParseValue(const std::string& text, RegistryValue& value) {
  value = RegistryValue();
  if (text == "absent") return true;
  const size_t blank = text.find(' ');
  if (blank == 0 || blank == std::string::npos || blank > 10) return false;
  unsigned long long type = 0;
  for (size_t i = 0; i < blank; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    type = type * 10 + static_cast<unsigned>(text[i] - '0');
  }
  if (type > 0xFFFFFFFFull) return false;
  if (!BytesFromHex(std::string_view(text).substr(blank + 1), value.data)) return false;
  value.present = true;
  value.type = static_cast<DWORD>(type);
  return true;
}

}  // namespace

std::string SerializeProxySnapshot(const ProxySnapshot& snapshot) {
  std::string text;
  for (const ProxyValueName& named : kProxyValueNames) {
    const RegistryValue& value = snapshot.plain.*named.field;
    text += orvanta::Utf8FromWide(named.name);
    if (!value.present) {
      text += " absent\n";
      continue;
    }
    text += " " + std::to_string(value.type) + " " +
            HexFromBytes(value.data.data(), value.data.size()) + "\n";
  }
  for (const Connection& connection : snapshot.connections) {
    text += SerializeConnection(connection) + "\n";
  }
  return text;
}

bool ParseProxySnapshot(const std::string& text, ProxySnapshot& snapshot) {
  size_t at = 0;
  for (const ProxyValueName& named : kProxyValueNames) {
    const size_t end = text.find('\n', at);
    if (end == std::string::npos) return false;
    const std::string line = text.substr(at, end - at);
    const std::string head = orvanta::Utf8FromWide(named.name) + " ";
    if (line.compare(0, head.size(), head) != 0) return false;
    if (!ParseValue(line.substr(head.size()), snapshot.plain.*named.field)) return false;
    at = end + 1;
  }
  snapshot.connections.clear();
  while (at < text.size()) {
    const size_t end = text.find('\n', at);
    if (end == std::string::npos) return false;
    Connection connection;
    if (!ParseConnection(text.substr(at, end - at), connection)) return false;
    snapshot.connections.push_back(std::move(connection));
    at = end + 1;
  }
  return true;
}

DWORD SaveProxySnapshot(const std::wstring& path, const ProxySnapshot& snapshot) {
  // Never half written: a crash must not leave a file that would pass for the user's settings.
  return ReplaceSmallFile(path, SerializeProxySnapshot(snapshot));
}

bool LoadProxySnapshot(const std::wstring& path, ProxySnapshot& snapshot) {
  std::string content;
  return ReadSmallFile(path, kMaxFileBytes, content) && ParseProxySnapshot(content, snapshot);
}
