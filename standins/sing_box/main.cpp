// Stand-in for the proxy core sing-box.exe, for tests and the demo layout.
//
// Accepts exactly `run -c <path>`, read from the UTF-16 command line as the real core reads
// it, so a path in any script arrives intact; messages show it in UTF-8. A missing or non-JSON
// configuration: a message on standard error and exit code 1 at once, as a real core does.
// Otherwise one start-up line on standard output and one on standard error, a listener on 127.0.0.1
// for every inbound "listen_port" (connections are accepted and closed), and it runs until it is
// terminated. A port that cannot be bound is a start-up failure (exit code 1), as with a real core.
//
// Before anything else it writes one line on standard output saying whether it runs inside a
// job and which inheritable handles it holds besides its standard handles, so tests can see
// what the host let it inherit: "sing-box stand-in: in a job: yes; other inherited handles:
// none" (or the handle values in decimal).
#include <winsock2.h>
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "json_reader.h"

namespace {

constexpr size_t kMaxConfigBytes = 64 * 1024 * 1024;

int FailWith(const std::string& message) {
  std::fprintf(stderr, "sing-box stand-in: FATAL: %s\n", message.c_str());
  std::fflush(stderr);
  return 1;
}

std::string Utf8(const std::wstring& text) {
  const int needed = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<size_t>(needed > 0 ? needed : 0), '\0');
  if (needed > 0) {
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &utf8[0], needed,
                        nullptr, nullptr);
  }
  return utf8;
}

// The arguments after the program name, split by the system's rules.
std::vector<std::wstring> Arguments() {
  std::vector<std::wstring> arguments;
  int count = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &count);
  if (argv == nullptr) return arguments;
  for (int i = 1; i < count; ++i) arguments.emplace_back(argv[i]);
  LocalFree(argv);
  return arguments;
}

bool ReadFileBytes(const std::wstring& path, std::string& content) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  char buffer[4096];
  DWORD got = 0;
  bool ok = true;
  for (;;) {
    if (!ReadFile(file, buffer, sizeof(buffer), &got, nullptr)) {
      ok = false;
      break;
    }
    if (got == 0) break;
    // A device that never ends (or a runaway file) is not a configuration.
    if (content.size() + got > kMaxConfigBytes) {
      ok = false;
      break;
    }
    content.append(buffer, got);
  }
  CloseHandle(file);
  return ok;
}

// Serves until the process is terminated; returns only when a port cannot be bound.
int Serve(const std::vector<int>& ports) {
  WSADATA wsa;
  if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) return FailWith("winsock unavailable");
  std::vector<SOCKET> listeners;
  for (int port : ports) {
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<u_short>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (s == INVALID_SOCKET ||
        bind(s, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        listen(s, 16) != 0) {
      return FailWith("cannot listen on 127.0.0.1:" + std::to_string(port));
    }
    listeners.push_back(s);
  }
  std::fprintf(stderr, "sing-box stand-in: serving %s inbound(s)\n",
               std::to_string(listeners.size()).c_str());
  std::fflush(stderr);
  if (listeners.empty()) {
    for (;;) Sleep(INFINITE);
  }
  for (;;) {
    fd_set readable;
    FD_ZERO(&readable);
    for (SOCKET s : listeners) FD_SET(s, &readable);
    if (select(0, &readable, nullptr, nullptr, nullptr) == SOCKET_ERROR) {
      Sleep(100);
      continue;
    }
    for (SOCKET s : listeners) {
      if (!FD_ISSET(s, &readable)) continue;
      SOCKET client = accept(s, nullptr, nullptr);
      if (client != INVALID_SOCKET) closesocket(client);
    }
  }
}

// A handle the child creates itself is not inheritable; one it holds with the inherit flag was
// handed down by the parent.
std::string OtherInheritedHandles() {
  const HANDLE standard[] = {GetStdHandle(STD_INPUT_HANDLE), GetStdHandle(STD_OUTPUT_HANDLE),
                             GetStdHandle(STD_ERROR_HANDLE)};
  std::string found;
  for (UINT_PTR value = 4; value < (1u << 16); value += 4) {
    const HANDLE handle = reinterpret_cast<HANDLE>(value);
    DWORD flags = 0;
    if (!GetHandleInformation(handle, &flags) || (flags & HANDLE_FLAG_INHERIT) == 0) continue;
    if (handle == standard[0] || handle == standard[1] || handle == standard[2]) continue;
    found += (found.empty() ? "" : " ") + std::to_string(value);
  }
  return found.empty() ? "none" : found;
}

void ReportStartingState() {
  BOOL inJob = FALSE;
  IsProcessInJob(GetCurrentProcess(), nullptr, &inJob);
  std::printf("sing-box stand-in: in a job: %s; other inherited handles: %s\n",
              inJob ? "yes" : "no", OtherInheritedHandles().c_str());
  std::fflush(stdout);
}

}  // namespace

int main() {
  ReportStartingState();
  const std::vector<std::wstring> arguments = Arguments();
  if (arguments.size() != 3 || arguments[0] != L"run" || arguments[1] != L"-c") {
    return FailWith("usage: sing-box run -c <config.json>");
  }
  const std::string path = Utf8(arguments[2]);
  std::string content;
  if (!ReadFileBytes(arguments[2], content)) {
    return FailWith("cannot read configuration file: " + path);
  }
  standin::JsonValue config;
  std::string error;
  if (!standin::ParseJson(content, config, error)) {
    return FailWith("configuration is not valid JSON: " + error);
  }
  std::printf("sing-box stand-in: started with configuration %s\n", path.c_str());
  std::fflush(stdout);
  return Serve(standin::InboundListenPorts(config));
}
