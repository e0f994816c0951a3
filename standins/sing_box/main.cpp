// Stand-in for the proxy core sing-box.exe, for tests and the demo layout.
//
// Accepts exactly `run -c <path>`, read from the UTF-16 command line as the real core reads
// it, so a path in any script arrives intact; messages show it in UTF-8. A missing or non-JSON
// configuration: a message on standard error and exit code 1 at once, as a real core does.
// Otherwise a listener on 127.0.0.1 for every inbound "listen_port" (an HTTP proxy request is
// noted and answered, any other connection closed); a port that cannot be bound is a start-up
// failure (exit code 1), as with a real core. Then one start-up line on standard output and
// one on standard error, and it runs until it is terminated.
//
// After its start-up line on standard output it writes one more saying whether it runs inside
// a job and which inheritable handles it holds besides its standard handles, so tests can see
// what the host let it inherit: "sing-box stand-in: in a job: yes; other inherited handles:
// none" (or the handle values in decimal). Finding them means asking the Wine server about
// every possible handle value, which takes seconds when the server is busy, so every way of
// ending at once, and the start-up line, come before: the host judges the core by whether it
// still runs one second after its start.
//
// A stand-in-only member of the configuration picks how a core misbehaves, so one host can be
// shown each in turn: "standin": {"mode": M, "exit_after_ms": N} with M
//   "coloured"     after the start-up lines, lines coloured as a real core colours them on a
//                  terminal (levels, 256-colour forms), then runs on;
//   "fatal"        a coloured fatal line, then exit code 1 at once;
//   "silent"       exit code 3 at once, without writing anything;
//   "fatal-later"  starts and serves, then after N ms (3000 when not given) writes a coloured
//                  fatal line and an empty line and ends with exit code 1.
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

// Binds every port before anything slow, so a port that is taken ends the core at once.
bool Listen(const std::vector<int>& ports, std::vector<SOCKET>& listeners, std::string& error) {
  WSADATA wsa;
  if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) {
    error = "winsock unavailable";
    return false;
  }
  for (int port : ports) {
    // Not inheritable, or the report of inherited handles would list the core's own sockets.
    SOCKET s = WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0,
                          WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<u_short>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (s == INVALID_SOCKET ||
        bind(s, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        listen(s, 16) != 0) {
      error = "cannot listen on 127.0.0.1:" + std::to_string(port);
      return false;
    }
    listeners.push_back(s);
  }
  return true;
}

// What a proxy client sends first: an HTTP request whose target is the whole address. It is
// noted on standard output ("sing-box stand-in: proxied GET http://127.0.0.2:9/ HTTP/1.1") and
// answered itself, so a test sees that a client went through the core without any other
// server. A connection that sends no request within two seconds is closed unanswered.
void AnswerRequest(SOCKET client) {
  const DWORD timeoutMs = 2000;
  setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeoutMs),
             sizeof(timeoutMs));
  std::string request;
  char buffer[1024];
  while (request.find("\r\n\r\n") == std::string::npos && request.size() < 8192) {
    const int got = recv(client, buffer, sizeof(buffer), 0);
    if (got <= 0) break;
    request.append(buffer, static_cast<size_t>(got));
  }
  const size_t lineEnd = request.find("\r\n");
  if (lineEnd == std::string::npos || request.find(" HTTP/1.") == std::string::npos) return;
  std::printf("sing-box stand-in: proxied %s\n", request.substr(0, lineEnd).c_str());
  std::fflush(stdout);
  const char answer[] =
      "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 18\r\n"
      "Connection: close\r\n\r\nsing-box stand-in\n";
  send(client, answer, static_cast<int>(sizeof(answer) - 1), 0);
}

// Serves until the process is terminated, or until `exitAfterMs` have passed (when not 0).
void Serve(const std::vector<SOCKET>& listeners, DWORD exitAfterMs) {
  std::fprintf(stderr, "sing-box stand-in: serving %s inbound(s)\n",
               std::to_string(listeners.size()).c_str());
  std::fflush(stderr);
  const ULONGLONG deadline = GetTickCount64() + exitAfterMs;
  for (;;) {
    const ULONGLONG now = GetTickCount64();
    if (exitAfterMs != 0 && now >= deadline) return;
    const DWORD waitMs = exitAfterMs != 0 ? static_cast<DWORD>(deadline - now) : INFINITE;
    if (listeners.empty()) {
      Sleep(waitMs);
      continue;
    }
    fd_set readable;
    FD_ZERO(&readable);
    for (SOCKET s : listeners) FD_SET(s, &readable);
    timeval timeout = {static_cast<long>(waitMs / 1000), static_cast<long>(waitMs % 1000) * 1000};
    const int ready = select(0, &readable, nullptr, nullptr, exitAfterMs != 0 ? &timeout : nullptr);
    if (ready == SOCKET_ERROR) {
      Sleep(100);
      continue;
    }
    for (SOCKET s : listeners) {
      if (!FD_ISSET(s, &readable)) continue;
      SOCKET client = accept(s, nullptr, nullptr);
      if (client == INVALID_SOCKET) continue;
      AnswerRequest(client);
      closesocket(client);
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

// What a real core writes on a terminal, colours included: the level in colour, the rest plain.
void WriteColouredLines() {
  std::fprintf(stderr,
               "\x1b[36mINFO\x1b[0m[0000] inbound/mixed[mixed-in]: tcp server started\n"
               "\x1b[33mWARN\x1b[0m[0001] \x1b[38;5;208mdns: slow response\x1b[0m\n"
               "\x1b[1;32m+1ms\x1b[0m \x1b[90m[conn]\x1b[0m outbound/direct[direct]: done\n");
  std::fflush(stderr);
}

int Fatal(const std::string& reason) {
  std::fprintf(stderr, "\x1b[31mFATAL\x1b[0m[0000] %s\n", reason.c_str());
  std::fflush(stderr);
  return 1;
}

}  // namespace

int main() {
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
  const standin::Misbehaviour mode = standin::StandInMode(config);
  if (mode.mode == "silent") return 3;
  if (mode.mode == "fatal") return Fatal("start service: stand-in told to fail");
  std::vector<SOCKET> listeners;
  if (!Listen(standin::InboundListenPorts(config), listeners, error)) return FailWith(error);

  std::printf("sing-box stand-in: started with configuration %s\n", path.c_str());
  std::fflush(stdout);
  ReportStartingState();
  if (mode.mode == "coloured") WriteColouredLines();
  const bool later = mode.mode == "fatal-later";
  Serve(listeners, later ? mode.exitAfterMs : 0);
  Fatal("service stopped: stand-in told to fail later");
  std::fprintf(stderr, "\n");
  return 1;
}
