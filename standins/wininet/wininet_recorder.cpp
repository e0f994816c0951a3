// Stand-in for wininet.dll, for tests: records every InternetSetOptionW call, so a test can see
// which notices the host sent running programs, with which arguments and in which order.
//
// Each call appends one line "InternetSetOptionW <handle> <option> <buffer> <length>" (the
// handle and buffer as 0 or 1 for null or not, the option and length in decimal) to the file
// named by ORVANTA_STANDIN_WININET_LOG, read at every call; without it nothing is recorded.
// With ORVANTA_STANDIN_WININET_FAIL set, every call fails with ERROR_INTERNET_INTERNAL_ERROR
// (12004), as a system whose WinINet refuses the notice would.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

constexpr DWORD kInternalError = 12004;

bool Environment(const char* name, std::string& value) {
  char buffer[MAX_PATH];
  const DWORD length = GetEnvironmentVariableA(name, buffer, sizeof(buffer));
  if (length == 0 || length >= sizeof(buffer)) return false;
  value.assign(buffer, length);
  return true;
}

}  // namespace

extern "C" BOOL WINAPI InternetSetOptionW(void* handle, DWORD option, void* buffer, DWORD length) {
  std::string path;
  if (Environment("ORVANTA_STANDIN_WININET_LOG", path)) {
    if (FILE* log = std::fopen(path.c_str(), "ab")) {
      std::fprintf(log, "InternetSetOptionW %d %lu %d %lu\n", handle != nullptr ? 1 : 0, option,
                   buffer != nullptr ? 1 : 0, length);
      std::fclose(log);
    }
  }
  std::string fail;
  if (Environment("ORVANTA_STANDIN_WININET_FAIL", fail)) {
    SetLastError(kInternalError);
    return FALSE;
  }
  return TRUE;
}
