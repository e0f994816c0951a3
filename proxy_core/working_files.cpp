#include "proxy_core/working_files.h"

#include <windows.h>

#include <algorithm>
#include <new>
#include <stdexcept>
#include <string_view>

#include "support/terminal_text.h"
#include "support/unique_handle.h"
#include "support/utf8.h"
#include "support/wide_text.h"

namespace {

constexpr size_t kPreviewBytes = 200;
constexpr char kCoreLogHeader[] = "\n----- sing-box stdout/stderr -----\n";
// A core at info level writes a line per connection and the file outlives every run: the UI
// gets only the end of it, and a launch moves a large file aside to one older copy.
constexpr DWORD kCoreLogTailBytes = 1024 * 1024;
// Far enough before the window to find the ESC of any sequence that runs into it: a colour
// sequence is short, a string (a link, a title) at most a few kilobytes.
constexpr long long kLookBehindBytes = orvanta::kMaxTerminalStringBody + 8;
// What a launch's core said last: its last line, from the end of what that launch appended.
constexpr long long kLastWordsWindowBytes = 64 * 1024;
constexpr size_t kLastWordsMaxBytes = 512;
constexpr long long kCoreLogMoveAsideBytes = 16LL * 1024 * 1024;
constexpr wchar_t kOlderCoreLogName[] = L"sing-box.old.log";
constexpr wchar_t kProxyRecordName[] = L"system-proxy-set";
constexpr wchar_t kSavedProxySettingsName[] = L"system-proxy-saved";

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

bool IsDirectory(const std::wstring& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Creates `path` and every missing parent. An existing folder is success. Prefixes that
// cannot be created (a drive root, a UNC share, a folder we may only traverse) are walked
// through; only the final folder decides.
bool CreateFolderTree(const std::wstring& path) {
  if (IsDirectory(path)) return true;
  for (size_t i = 1; i <= path.size(); ++i) {
    if (i == path.size() || IsSeparator(path[i])) {
      CreateDirectoryW(path.substr(0, i).c_str(), nullptr);
    }
  }
  return IsDirectory(path);
}

// Text-stream semantics: every "\n" goes to disk as CR LF.
std::string ToCrLf(const std::string& text) {
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

// Every byte written and the handle closed, or false: a truncated configuration must never
// reach the core as if it were complete.
bool WriteWholeFile(const std::wstring& path, const std::string& bytes) {
  orvanta::UniqueHandle file(CreateFileW(path.c_str(), GENERIC_WRITE,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  size_t offset = 0;
  while (offset < bytes.size()) {
    const size_t remaining = bytes.size() - offset;
    const DWORD chunk = remaining > (1u << 30) ? (1u << 30) : static_cast<DWORD>(remaining);
    DWORD written = 0;
    if (!WriteFile(file.Get(), bytes.data() + offset, chunk, &written, nullptr) || written == 0) {
      return false;
    }
    offset += written;
  }
  return CloseHandle(file.Release()) != FALSE;
}

long long FileSize(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return -1;
  return (static_cast<long long>(data.nFileSizeHigh) << 32) |
         static_cast<long long>(data.nFileSizeLow);
}

// Reads [start, end) of `file`; fewer bytes when the file was cut short meanwhile.
bool ReadRange(HANDLE file, long long start, long long end, std::string& bytes) {
  LARGE_INTEGER offset = {};
  offset.QuadPart = start;
  if (!SetFilePointerEx(file, offset, nullptr, FILE_BEGIN)) return false;
  bytes.resize(static_cast<size_t>(end - start));
  size_t filled = 0;
  while (filled < bytes.size()) {
    DWORD got = 0;
    if (!ReadFile(file, &bytes[filled], static_cast<DWORD>(bytes.size() - filled), &got, nullptr)) {
      return false;
    }
    if (got == 0) break;
    filled += got;
  }
  bytes.resize(filled);
  return true;
}

// The running core holds the file open for appending; what it writes after the size is taken
// waits for the next read.
orvanta::UniqueHandle OpenCoreLog(const std::wstring& path, long long& size) {
  orvanta::UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                         nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER length = {};
  size = file && GetFileSizeEx(file.Get(), &length) ? length.QuadPart : -1;
  return file;
}

enum class ReadOutcome { kRead, kUnavailable, kFailed };

// Reads the last kCoreLogTailBytes of the file, and a few bytes before them, into `bytes`; sets
// `first` to where the shown part begins in them (the first line start in the window) and
// `skipped` to the bytes of the file before it.
ReadOutcome ReadCoreLogTail(const std::wstring& path, std::string& bytes, size_t& first,
                            long long& skipped) {
  long long size = 0;
  orvanta::UniqueHandle file = OpenCoreLog(path, size);
  if (!file) return ReadOutcome::kUnavailable;
  if (size < 0) return ReadOutcome::kFailed;
  const long long window = size > kCoreLogTailBytes ? size - kCoreLogTailBytes : 0;
  // The byte before the window tells whether the window begins with a whole line; the ones
  // before that, whether a sequence that began there runs into the window.
  const long long start = window > kLookBehindBytes ? window - kLookBehindBytes : 0;
  if (!ReadRange(file.Get(), start, size, bytes)) return ReadOutcome::kFailed;

  first = 0;
  if (window > 0) {
    const size_t newline = bytes.find('\n', static_cast<size_t>(window - start - 1));
    if (newline != std::string::npos) {
      first = newline + 1;
    } else {
      // One line longer than the window: at least do not begin inside a character.
      first = static_cast<size_t>(window - start);
      while (first < bytes.size() && (static_cast<unsigned char>(bytes[first]) & 0xC0) == 0x80) {
        ++first;
      }
    }
  }
  skipped = start + static_cast<long long>(first);
  return ReadOutcome::kRead;
}

}  // namespace

std::wstring WorkingFolder() {
  wchar_t buffer[MAX_PATH + 1];
  const DWORD length = GetTempPathW(MAX_PATH, buffer);
  if (length == 0 || length >= MAX_PATH) return std::wstring();
  return std::wstring(buffer, length) + L"Orvanta";
}

std::wstring ProxyRecordPath() {
  const std::wstring folder = WorkingFolder();
  return folder.empty() ? folder : folder + L"\\" + kProxyRecordName;
}

std::wstring SavedProxySettingsPath() {
  const std::wstring folder = WorkingFolder();
  return folder.empty() ? folder : folder + L"\\" + kSavedProxySettingsName;
}

bool ReadSmallFile(const std::wstring& path, size_t maxBytes, std::string& content) {
  orvanta::UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER size = {};
  if (!file || !GetFileSizeEx(file.Get(), &size) ||
      static_cast<unsigned long long>(size.QuadPart) > maxBytes) {
    return false;
  }
  content.resize(static_cast<size_t>(size.QuadPart));
  DWORD got = 0;
  return content.empty() ||
         (ReadFile(file.Get(), &content[0], static_cast<DWORD>(content.size()), &got, nullptr) &&
          got == content.size());
}

DWORD ReplaceSmallFile(const std::wstring& path, const std::string& content) {
  const std::wstring partial = path + L".new";
  {
    orvanta::UniqueHandle file(CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr,
                                           CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return GetLastError();
    DWORD written = 0;
    if (!WriteFile(file.Get(), content.data(), static_cast<DWORD>(content.size()), &written,
                   nullptr) ||
        written != content.size() || !FlushFileBuffers(file.Get())) {
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

bool CreateConfigFile(const std::string& config, WorkingFiles& files, const ServiceLog& log) {
  const std::wstring folder = WorkingFolder();
  if (folder.empty()) {
    log("ERROR: Cannot determine the temporary folder. Error code: " +
        std::to_string(GetLastError()));
    return false;
  }
  if (!CreateFolderTree(folder)) {
    log("ERROR: Cannot create working folder: " + orvanta::Utf8FromWide(folder));
    return false;
  }
  files.configPath = folder + L"\\config.json";
  files.logPath = folder + L"\\sing-box.log";

  if (config.empty()) {
    log("ERROR: No config provided for sing-box");
    return false;
  }
  log("Using provided config (" + std::to_string(config.size()) + " characters)");
  log("Config preview: " + config.substr(0, orvanta::Utf8PrefixLength(config, kPreviewBytes)) +
      "...");

  const std::string configPath = orvanta::Utf8FromWide(files.configPath);
  if (!WriteWholeFile(files.configPath, ToCrLf(config))) {
    log("Failed to create config file: " + configPath);
    return false;
  }
  log("sing-box config created: " + configPath);
  return true;
}

void MoveLargeCoreLogAside(const std::wstring& logPath, const ServiceLog& log) {
  const long long size = FileSize(logPath);
  if (size <= kCoreLogMoveAsideBytes) return;
  const std::wstring older = logPath.substr(0, logPath.find_last_of(L'\\') + 1) + kOlderCoreLogName;
  if (!MoveFileExW(logPath.c_str(), older.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    log("WARNING: Cannot move the large sing-box log aside. Error code: " +
        std::to_string(GetLastError()));
    return;
  }
  log("Moved sing-box log of " + std::to_string(size) + " bytes aside to " +
      orvanta::Utf8FromWide(older));
}

void AppendCoreLogSection(const std::wstring& logPath, std::string& logs) {
  if (logPath.empty()) return;
  const size_t before = logs.size();
  try {
    std::string bytes;
    size_t first = 0;
    long long skipped = 0;
    switch (ReadCoreLogTail(logPath, bytes, first, skipped)) {
      case ReadOutcome::kUnavailable:
        return;
      case ReadOutcome::kFailed:
        break;
      case ReadOutcome::kRead:
        logs += kCoreLogHeader;
        if (skipped > 0) {
          logs += "(" + std::to_string(skipped) + " earlier bytes not shown)\n";
        }
        // A line the core is still writing, or an old file in another encoding, must not make
        // the whole answer unreadable; nor may the colour codes the core writes for a terminal.
        logs += orvanta::ReadableTerminalText(bytes, first);
        return;
    }
  } catch (const std::bad_alloc&) {
  } catch (const std::length_error&) {
  }
  logs.resize(before);
  logs += kCoreLogHeader;
  logs += "(failed to read sing-box log file)\n";
}

std::string LastCoreLogLine(const std::wstring& logPath, long long launchStart) {
  if (logPath.empty() || launchStart < 0) return std::string();
  try {
    long long size = 0;
    orvanta::UniqueHandle file = OpenCoreLog(logPath, size);
    if (!file || size <= launchStart) return std::string();
    const long long window = std::max(launchStart, size - kLastWordsWindowBytes);
    // From the byte before a window that cuts into the launch's output, to begin at a line.
    const long long start = window > launchStart ? window - 1 : window;
    std::string bytes;
    if (!ReadRange(file.Get(), start, size, bytes)) return std::string();
    size_t first = 0;
    if (start < window) {
      first = bytes.find('\n');
      if (first == std::string::npos) return std::string();
      ++first;
    }
    return orvanta::LastReadableLine(std::string_view(bytes).substr(first), kLastWordsMaxBytes);
  } catch (const std::bad_alloc&) {
    return std::string();
  }
}
