#include "proxy_core/saved_proxy_settings.h"

#include "proxy_core/working_files.h"
#include "support/unique_handle.h"
#include "support/wide_text.h"

namespace {

// Far beyond any proxy list a user keeps; a larger file is not ours.
constexpr DWORD kMaxFileBytes = 1024 * 1024;
constexpr char kHexDigits[] = "0123456789abcdef";

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

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
  const std::string hex = text.substr(blank + 1);
  if (hex.size() % 2 != 0) return false;
  value.data.reserve(hex.size() / 2);
  for (size_t i = 0; i < hex.size(); i += 2) {
    const int high = HexDigit(hex[i]);
    const int low = HexDigit(hex[i + 1]);
    if (high < 0 || low < 0) return false;
    value.data.push_back(static_cast<BYTE>(high * 16 + low));
  }
  value.present = true;
  value.type = static_cast<DWORD>(type);
  return true;
}

}  // namespace

std::string SerializeProxySettings(const ProxySettings& settings) {
  std::string text;
  for (const ProxyValueName& named : kProxyValueNames) {
    const RegistryValue& value = settings.*named.field;
    text += orvanta::Utf8FromWide(named.name);
    if (!value.present) {
      text += " absent\n";
      continue;
    }
    text += " " + std::to_string(value.type) + " ";
    for (BYTE octet : value.data) {
      text += kHexDigits[octet >> 4];
      text += kHexDigits[octet & 0x0F];
    }
    text += "\n";
  }
  return text;
}

bool ParseProxySettings(const std::string& text, ProxySettings& settings) {
  size_t at = 0;
  for (const ProxyValueName& named : kProxyValueNames) {
    const size_t end = text.find('\n', at);
    if (end == std::string::npos) return false;
    const std::string line = text.substr(at, end - at);
    const std::string head = orvanta::Utf8FromWide(named.name) + " ";
    if (line.compare(0, head.size(), head) != 0) return false;
    if (!ParseValue(line.substr(head.size()), settings.*named.field)) return false;
    at = end + 1;
  }
  return at == text.size();
}

DWORD SaveProxySettings(const std::wstring& path, const ProxySettings& settings) {
  const std::string text = SerializeProxySettings(settings);
  // Written aside and moved into place, so a crash never leaves a half-written file that
  // would pass for the user's settings.
  const std::wstring partial = path + L".new";
  {
    orvanta::UniqueHandle file(CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr,
                                           CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (!file) return GetLastError();
    if (!WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
        written != text.size() || !FlushFileBuffers(file.Get())) {
      const DWORD error = GetLastError();
      file.Reset();
      DeleteFileW(partial.c_str());
      return error != ERROR_SUCCESS ? error : ERROR_WRITE_FAULT;
    }
  }
  if (!MoveFileExW(partial.c_str(), path.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    const DWORD error = GetLastError();
    DeleteFileW(partial.c_str());
    return error;
  }
  return ERROR_SUCCESS;
}

bool LoadProxySettings(const std::wstring& path, ProxySettings& settings) {
  std::string content;
  return ReadSmallFile(path, kMaxFileBytes, content) && ParseProxySettings(content, settings);
}
