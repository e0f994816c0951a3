// The two halves of e2e_proxy_client: its WinINet side (proxy_client.cpp) and its WinHTTP side
// (proxy_client_winhttp.cpp), apart because mingw-w64's winhttp.h and wininet.h cannot be
// included in one translation unit.
//
// Output is one key=value line per fact, in a fixed order, so a test can compare two runs
// exactly. A text is printed in UTF-8; a null pointer as "(null)", the empty text as nothing.
#ifndef ORVANTA_TESTS_E2E_PROXY_CLIENT_H_
#define ORVANTA_TESTS_E2E_PROXY_CLIENT_H_

namespace proxy_client {

void PrintText(const char* key, const wchar_t* value);
void PrintNumber(const char* key, unsigned long value);
// key=error:N, N being the thread's last error now.
void PrintLastError(const char* key);

// What WinHttpGetIEProxyConfigForCurrentUser reports; 3 when it fails.
int WinHttpGet();
// A GET of url with the per-user proxy as Chromium and .NET find it; 3 when the request fails.
int WinHttpFetch(const wchar_t* url);

}  // namespace proxy_client

#endif  // ORVANTA_TESTS_E2E_PROXY_CLIENT_H_
