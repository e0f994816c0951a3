#include "runner/utils.h"

#include <windows.h>
#include <shellapi.h>

#include <cwchar>
#include <io.h>
#include <stdio.h>

#include <iostream>

#include "messaging/flutter_windows_api.h"

void OpenDebugConsole() {
  if (::AllocConsole() == 0) {
    return;
  }
  FILE* unused = nullptr;
  if (freopen_s(&unused, "CONOUT$", "w", stdout) != 0) {
    _dup2(_fileno(stdout), 1);
  }
  if (freopen_s(&unused, "CONOUT$", "w", stderr) != 0) {
    _dup2(_fileno(stdout), 2);
  }
  std::ios::sync_with_stdio(true);
  FlutterDesktopResyncOutputStreams();
}

std::vector<std::string> CollectArguments() { return CollectArgumentsFrom(::GetCommandLineW()); }

std::vector<std::string> CollectArgumentsFrom(const wchar_t* command_line) {
  std::vector<std::string> arguments;
  int count = 0;
  wchar_t** argv = ::CommandLineToArgvW(command_line, &count);
  if (argv == nullptr) {
    return arguments;
  }
  for (int i = 1; i < count; ++i) {
    arguments.push_back(ToUtf8(argv[i]));
  }
  ::LocalFree(argv);
  return arguments;
}

std::string ToUtf8(const wchar_t* utf16) {
  if (utf16 == nullptr) {
    return std::string();
  }
  // WC_ERR_INVALID_CHARS makes an unpaired surrogate fail the size query instead of being
  // replaced, so such an argument arrives as an empty text rather than a corrupted one.
  const int needed = ::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, utf16, -1, nullptr, 0,
                                           nullptr, nullptr) -
                     1;
  if (needed <= 0) {
    return std::string();
  }
  std::string utf8(static_cast<size_t>(needed), '\0');
  const int written =
      ::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, utf16, static_cast<int>(wcslen(utf16)),
                            &utf8[0], needed, nullptr, nullptr);
  if (written == 0) {
    return std::string();
  }
  return utf8;
}
