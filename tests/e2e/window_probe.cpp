// Looks at the host's top-level window from another process, for the end-to-end tests, which
// cannot see windows from Linux.
//
//   e2e_window_probe show       prints "count=N visible=V iconic=I" for the windows of the
//                               host's class (visible/iconic of the one titled "Orvanta")
//   e2e_window_probe minimize   minimises the window titled "Orvanta"
//   e2e_window_probe watch S    prints "ready", then polls every millisecond for up to S
//                               seconds and prints "hidden_at=T visible_at=T" with the
//                               GetTickCount64 times at which the window was first seen
//                               hidden and first seen visible (0: never)
//   e2e_window_probe codepage   prints "acp=N", the ANSI code page a program started with the
//                               same environment gets
//   e2e_window_probe kill       ends the process that owns the window titled "Orvanta" with
//                               TerminateProcess, as Task Manager or a crash would
//   e2e_window_probe listen P S listens on 127.0.0.1:P, as another proxy client on the core's
//                               port would, prints "listening" and ends after S seconds
//   e2e_window_probe listen6 P S the same on [::]:P, dual-stack, as Go listens for "0.0.0.0"
//   e2e_window_probe fetch URL  gets URL with WinINet and the per-user proxy settings, as
//                               browsers and most programs do; prints "status=N body=B", or
//                               "error=N" (exit code 3) when the request failed
//   e2e_window_probe setserver V writes ProxyServer V, as another program would, and prints
//                               "tick=T", the GetTickCount64 time of the write
//   e2e_window_probe gone S     waits up to S seconds until no host runs any more: its window
//                               is gone and its single-instance mutex can no longer be opened
//                               (the Wine server holds both a moment after the process has
//                               ended); prints "gone_after_ms=N", exit code 2 if still there
//
// Exit code 0 on success, 2 when no such window exists (or the port cannot be had), 64 for a
// wrong command line.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <wininet.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>

namespace {

constexpr wchar_t kWindowClass[] = L"FLUTTER_RUNNER_WIN32_WINDOW";
constexpr wchar_t kWindowTitle[] = L"Orvanta";

BOOL CALLBACK CountHostWindow(HWND window, LPARAM counter) {
  wchar_t name[64] = {};
  if (GetClassNameW(window, name, 64) > 0 && std::wcscmp(name, kWindowClass) == 0) {
    ++*reinterpret_cast<int*>(counter);
  }
  return TRUE;
}

int Listen(const char* port, const char* seconds, bool ipv6) {
  WSADATA wsa;
  if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) return 1;
  const auto number = htons(static_cast<u_short>(std::strtoul(port, nullptr, 10)));
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_port = number;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  sockaddr_in6 address6 = {};
  address6.sin6_family = AF_INET6;
  address6.sin6_port = number;  // and in6addr_any
  SOCKET listener = socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM, IPPROTO_TCP);
  DWORD v6only = 0;
  if (listener == INVALID_SOCKET ||
      (ipv6 && setsockopt(listener, IPPROTO_IPV6, IPV6_V6ONLY, reinterpret_cast<char*>(&v6only),
                          sizeof(v6only)) != 0) ||
      (ipv6 ? bind(listener, reinterpret_cast<sockaddr*>(&address6), sizeof(address6))
            : bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof(address))) != 0 ||
      listen(listener, 1) != 0) {
    return 2;
  }
  std::printf("listening\n");
  std::fflush(stdout);
  Sleep(1000 * static_cast<DWORD>(std::strtoul(seconds, nullptr, 10)));
  closesocket(listener);
  return 0;
}

int Fetch(const char* url) {
  HINTERNET session =
      InternetOpenA("orvanta-e2e", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  HINTERNET request =
      session == nullptr ? nullptr
                         : InternetOpenUrlA(session, url, nullptr, 0,
                                            INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0);
  if (request == nullptr) {
    std::printf("error=%lu\n", GetLastError());
    if (session != nullptr) InternetCloseHandle(session);
    return 3;
  }
  DWORD status = 0;
  DWORD size = sizeof(status);
  HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr);
  char body[256] = {};
  DWORD got = 0;
  InternetReadFile(request, body, sizeof(body) - 1, &got);
  body[got] = '\0';
  body[std::strcspn(body, "\r\n")] = '\0';
  std::printf("status=%lu body=%s\n", status, body);
  InternetCloseHandle(request);
  InternetCloseHandle(session);
  return 0;
}

int SetServer(const char* server) {
  const ULONGLONG tick = GetTickCount64();
  const LSTATUS written = RegSetKeyValueA(
      HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings",
      "ProxyServer", REG_SZ, server, static_cast<DWORD>(std::strlen(server) + 1));
  std::printf("tick=%llu\n", tick);
  return written == ERROR_SUCCESS ? 0 : 1;
}

int WaitUntilGone(const char* seconds) {
  const ULONGLONG start = GetTickCount64();
  const ULONGLONG deadline = start + 1000ULL * std::strtoul(seconds, nullptr, 10);
  for (;;) {
    HANDLE mutex = OpenMutexW(SYNCHRONIZE, FALSE, L"Orvanta_SingleInstance");
    if (mutex != nullptr) CloseHandle(mutex);
    const bool gone = mutex == nullptr && FindWindowW(kWindowClass, kWindowTitle) == nullptr;
    if (gone || GetTickCount64() >= deadline) {
      std::printf("gone_after_ms=%llu\n", GetTickCount64() - start);
      return gone ? 0 : 2;
    }
    Sleep(20);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 64;
  const std::string command = argv[1];
  const int arguments =
      command == "listen" || command == "listen6"                                               ? 2
      : command == "watch" || command == "fetch" || command == "setserver" || command == "gone" ? 1
                                                                                                : 0;
  if (argc != 2 + arguments) return 64;
  if (command == "listen" || command == "listen6") {
    return Listen(argv[2], argv[3], command == "listen6");
  }
  if (command == "fetch") return Fetch(argv[2]);
  if (command == "setserver") return SetServer(argv[2]);
  if (command == "gone") return WaitUntilGone(argv[2]);
  const bool watch = command == "watch";
  if (std::strcmp(argv[1], "codepage") == 0) {
    std::printf("acp=%u\n", GetACP());
    return 0;
  }
  HWND window = FindWindowW(kWindowClass, kWindowTitle);
  if (std::strcmp(argv[1], "kill") == 0) {
    DWORD pid = 0;
    if (window == nullptr || GetWindowThreadProcessId(window, &pid) == 0) return 2;
    HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
    if (process == nullptr) return 1;
    const bool ended =
        TerminateProcess(process, 1) && WaitForSingleObject(process, 10000) == WAIT_OBJECT_0;
    CloseHandle(process);
    return ended ? 0 : 1;
  }
  if (std::strcmp(argv[1], "show") == 0) {
    int count = 0;
    EnumWindows(CountHostWindow, reinterpret_cast<LPARAM>(&count));
    std::printf("count=%d visible=%d iconic=%d\n", count,
                window != nullptr && IsWindowVisible(window) ? 1 : 0,
                window != nullptr && IsIconic(window) ? 1 : 0);
    return window != nullptr ? 0 : 2;
  }
  if (watch) {
    const ULONGLONG deadline = GetTickCount64() + 1000ULL * std::strtoul(argv[2], nullptr, 10);
    std::printf("ready\n");
    std::fflush(stdout);
    ULONGLONG hidden_at = 0;
    ULONGLONG visible_at = 0;
    while (visible_at == 0 && GetTickCount64() < deadline) {
      HWND found = FindWindowW(kWindowClass, kWindowTitle);
      if (found != nullptr) {
        if (IsWindowVisible(found)) {
          visible_at = GetTickCount64();
        } else if (hidden_at == 0) {
          hidden_at = GetTickCount64();
        }
      }
      Sleep(1);
    }
    std::printf("hidden_at=%llu visible_at=%llu\n", hidden_at, visible_at);
    return 0;
  }
  if (std::strcmp(argv[1], "minimize") == 0) {
    if (window == nullptr) return 2;
    ShowWindow(window, SW_MINIMIZE);
    return 0;
  }
  return 64;
}
