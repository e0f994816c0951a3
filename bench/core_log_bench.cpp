// Times SingBoxService::GetLogs with a small and with a huge sing-box.log, plain, with the
// colour codes a core writes for a terminal, with titles, links and strings that never end, and
// with nothing but ESCs; not a test.
//
// A start with an executable that is not there sets up the working folder and stops before
// any launch, so no core stand-in is needed. The huge file is sparse: it costs no disk, and
// only its last mebibyte holds lines. Each figure is the mean over calls that together lasted
// at least 200 ms, and the size of the answer.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <iostream>
#include <string>

#include "proxy_core/sing_box_service.h"

namespace {

// The file's last 2 MiB (or all of it) are `line` again and again.
void WriteLog(const std::string& path, long long size, const std::string& line) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  std::string tail;
  while (tail.size() < static_cast<size_t>(size) && tail.size() < 2u * 1024 * 1024) tail += line;
  if (tail.size() > static_cast<size_t>(size)) tail.resize(static_cast<size_t>(size));
  LARGE_INTEGER at;
  at.QuadPart = size - static_cast<long long>(tail.size());
  SetFilePointerEx(file, at, nullptr, FILE_BEGIN);
  DWORD written = 0;
  WriteFile(file, tail.data(), static_cast<DWORD>(tail.size()), &written, nullptr);
  CloseHandle(file);
}

void Measure(SingBoxService& service, const std::string& logPath, const char* label, long long size,
             const std::string& line) {
  WriteLog(logPath, size, line);
  using Clock = std::chrono::steady_clock;
  size_t answer = 0;
  long long calls = 0;
  const auto start = Clock::now();
  do {
    answer = service.GetLogs().size();
    ++calls;
  } while (Clock::now() - start < std::chrono::milliseconds(200));
  const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count() /
                    static_cast<double>(calls);
  std::printf("GetLogs, sing-box.log of %-16s %10.3f ms per call, answer %zu bytes\n", label, ms,
              answer);
}

}  // namespace

int main() {
  char base[MAX_PATH];
  GetTempPathA(MAX_PATH, base);
  const std::string temp = std::string(base) + "orvanta-core-log-bench\\";
  CreateDirectoryA(temp.c_str(), nullptr);
  SetEnvironmentVariableA("TMP", temp.c_str());
  std::cout.setstate(std::ios::badbit);  // the service logs every step
  SingBoxService service;
  service.Start("{}");
  const std::string logPath = temp + "Orvanta\\sing-box.log";
  const std::string plain =
      "+0800 2026-12-07 10:00:00 INFO [1234 5ms] inbound/http[in]: connection\n";
  const std::string coloured =
      "+0800 2026-12-07 10:00:00 \x1b[36mINFO\x1b[0m [\x1b[38;5;208m1234\x1b[0m 5ms] "
      "inbound/http[in]: connection\n";
  // A title, a link, a character set, a lone ESC and a string that never ends on every line.
  const std::string strings =
      "\x1b]0;sing-box\x07\x1b(B10:00:00 \x1b]8;;https://sing-box.sagernet.org/\x1b\\docs"
      "\x1b]8;;\x1b\\ \x1b\xC3\xA9 \x1b]2;" +
      std::string(200, 't') + "\n";
  // The worst for the removal: every ESC cut short by the next, all of them left at the end.
  const std::string escapes(2 * 1024 * 1024, '\x1b');
  Measure(service, logPath, "1 KB", 1024, plain);
  Measure(service, logPath, "300 MB", 300LL * 1024 * 1024, plain);
  Measure(service, logPath, "300 MB, coloured", 300LL * 1024 * 1024, coloured);
  Measure(service, logPath, "300 MB, strings", 300LL * 1024 * 1024, strings);
  Measure(service, logPath, "300 MB, all ESC", 300LL * 1024 * 1024, escapes);
  DeleteFileA(logPath.c_str());
  DeleteFileA((temp + "Orvanta\\config.json").c_str());
  RemoveDirectoryA((temp + "Orvanta").c_str());
  RemoveDirectoryA(temp.c_str());
  return 0;
}
