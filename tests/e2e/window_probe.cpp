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
//
// Exit code 0 on success, 2 when no such window exists (or the port cannot be had), 64 for a
// wrong command line.
#include <winsock2.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>

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

int Listen(const char* port, const char* seconds) {
  WSADATA wsa;
  if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) return 1;
  SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<u_short>(std::strtoul(port, nullptr, 10)));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (listener == INVALID_SOCKET ||
      bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
      listen(listener, 1) != 0) {
    return 2;
  }
  std::printf("listening\n");
  std::fflush(stdout);
  Sleep(1000 * static_cast<DWORD>(std::strtoul(seconds, nullptr, 10)));
  closesocket(listener);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 64;
  const bool watch = std::strcmp(argv[1], "watch") == 0;
  const bool listen = std::strcmp(argv[1], "listen") == 0;
  if (argc != (watch ? 3 : listen ? 4 : 2)) return 64;
  if (listen) return Listen(argv[2], argv[3]);
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
