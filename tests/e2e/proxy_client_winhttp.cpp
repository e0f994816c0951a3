// The WinHTTP side of e2e_proxy_client: the per-user proxy as Chromium, Edge and .NET read it.
#include <windows.h>
#include <winhttp.h>

#include <cstdio>
#include <string>

#include "tests/e2e/proxy_client.h"

namespace proxy_client {
namespace {

// Every wait of a request is bounded, so a proxy that takes the connection and never answers
// fails in seconds.
constexpr int kTimeoutMs = 5000;

// The per-user settings, freed on destruction.
struct IeProxyConfig {
  WINHTTP_CURRENT_USER_IE_PROXY_CONFIG value = {};
  bool ok = false;

  IeProxyConfig() { ok = WinHttpGetIEProxyConfigForCurrentUser(&value) != 0; }
  ~IeProxyConfig() {
    for (wchar_t* text : {value.lpszAutoConfigUrl, value.lpszProxy, value.lpszProxyBypass}) {
      if (text != nullptr) GlobalFree(text);
    }
  }
  IeProxyConfig(const IeProxyConfig&) = delete;
  IeProxyConfig& operator=(const IeProxyConfig&) = delete;
};

struct ProxyInfo {
  WINHTTP_PROXY_INFO value = {};
  ~ProxyInfo() {
    if (value.lpszProxy != nullptr) GlobalFree(value.lpszProxy);
    if (value.lpszProxyBypass != nullptr) GlobalFree(value.lpszProxyBypass);
  }
};

struct Internet {
  HINTERNET handle = nullptr;
  explicit Internet(HINTERNET opened) : handle(opened) {}
  ~Internet() {
    if (handle != nullptr) WinHttpCloseHandle(handle);
  }
  Internet(const Internet&) = delete;
  Internet& operator=(const Internet&) = delete;
};

bool Bounded(HINTERNET session) {
  return WinHttpSetTimeouts(session, kTimeoutMs, kTimeoutMs, kTimeoutMs, kTimeoutMs) != 0;
}

int Failed() {
  std::printf("error=%lu\n", GetLastError());
  return 3;
}

}  // namespace

int WinHttpGet() {
  const IeProxyConfig config;
  if (!config.ok) return Failed();
  PrintNumber("auto_detect", config.value.fAutoDetect ? 1 : 0);
  PrintText("auto_config_url", config.value.lpszAutoConfigUrl);
  PrintText("proxy", config.value.lpszProxy);
  PrintText("proxy_bypass", config.value.lpszProxyBypass);
  return 0;
}

int WinHttpFetch(const wchar_t* url) {
  // Chromium's order: automatic detection and a script win over the named proxy, which is
  // used when they fail or are not set; with none of them the request goes direct. A failed
  // read of the settings counts as none.
  const IeProxyConfig config;
  if (!config.ok) PrintLastError("ie_config");
  const wchar_t* proxy = config.value.lpszProxy;
  const wchar_t* bypass = config.value.lpszProxyBypass;
  std::wstring via = proxy != nullptr ? L"proxy:" + std::wstring(proxy) : L"direct";
  ProxyInfo found;
  if (config.value.fAutoDetect || config.value.lpszAutoConfigUrl != nullptr) {
    Internet resolver(WinHttpOpen(L"orvanta-e2e", WINHTTP_ACCESS_TYPE_NO_PROXY,
                                  WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
    WINHTTP_AUTOPROXY_OPTIONS options = {};
    if (config.value.lpszAutoConfigUrl != nullptr) {
      options.dwFlags |= WINHTTP_AUTOPROXY_CONFIG_URL;
      options.lpszAutoConfigUrl = config.value.lpszAutoConfigUrl;
    }
    if (config.value.fAutoDetect) {
      options.dwFlags |= WINHTTP_AUTOPROXY_AUTO_DETECT;
      options.dwAutoDetectFlags = WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A;
    }
    options.fAutoLogonIfChallenged = TRUE;
    if (resolver.handle != nullptr && Bounded(resolver.handle) &&
        WinHttpGetProxyForUrl(resolver.handle, url, &options, &found.value)) {
      const bool named = found.value.dwAccessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY &&
                         found.value.lpszProxy != nullptr;
      proxy = named ? found.value.lpszProxy : nullptr;
      bypass = named ? found.value.lpszProxyBypass : nullptr;
      via = named ? L"script-proxy:" + std::wstring(proxy) : L"script-direct";
    } else {
      PrintLastError("autoproxy");
    }
  }
  PrintText("via", via.c_str());

  URL_COMPONENTSW parts = {};
  parts.dwStructSize = sizeof(parts);
  parts.dwHostNameLength = parts.dwUrlPathLength = parts.dwExtraInfoLength = static_cast<DWORD>(-1);
  if (!WinHttpCrackUrl(url, 0, 0, &parts)) return Failed();
  const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
  const std::wstring path = std::wstring(parts.lpszUrlPath, parts.dwUrlPathLength) +
                            std::wstring(parts.lpszExtraInfo, parts.dwExtraInfoLength);

  Internet session(
      WinHttpOpen(L"orvanta-e2e",
                  proxy != nullptr ? WINHTTP_ACCESS_TYPE_NAMED_PROXY : WINHTTP_ACCESS_TYPE_NO_PROXY,
                  proxy != nullptr ? proxy : WINHTTP_NO_PROXY_NAME,
                  proxy != nullptr && bypass != nullptr ? bypass : WINHTTP_NO_PROXY_BYPASS, 0));
  if (session.handle == nullptr || !Bounded(session.handle)) return Failed();
  Internet connection(WinHttpConnect(session.handle, host.c_str(), parts.nPort, 0));
  if (connection.handle == nullptr) return Failed();
  Internet request(
      WinHttpOpenRequest(connection.handle, L"GET", path.c_str(), nullptr, WINHTTP_NO_REFERER,
                         WINHTTP_DEFAULT_ACCEPT_TYPES,
                         parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0));
  if (request.handle == nullptr ||
      !WinHttpSendRequest(request.handle, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA,
                          0, 0, 0) ||
      !WinHttpReceiveResponse(request.handle, nullptr)) {
    return Failed();
  }
  DWORD status = 0;
  DWORD size = sizeof(status);
  if (!WinHttpQueryHeaders(request.handle, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                           WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX)) {
    return Failed();
  }
  PrintNumber("status", status);
  return 0;
}

}  // namespace proxy_client
