// The working folder %TEMP%\Orvanta, config.json written for the core, and the core's
// sing-box.log read back for GetLogs and kept to a bounded size.
#include <windows.h>

#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "proxy_core/sing_box_service.h"
#include "support/unique_handle.h"
#include "support/utf8.h"
#include "support/wide_text.h"

namespace {

constexpr size_t kPreviewBytes = 200;
constexpr char kCoreLogHeader[] = "\n----- sing-box stdout/stderr -----\n";
// A core at info level writes a line per connection and the file outlives every run: the UI
// gets only the end of it, and a launch moves a large file aside to one older copy.
constexpr DWORD kCoreLogTailBytes = 1024 * 1024;
constexpr long long kCoreLogMoveAsideBytes = 16LL * 1024 * 1024;
constexpr wchar_t kOlderCoreLogName[] = L"sing-box.old.log";

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

// The temporary folder with its trailing backslash, or empty when the system has none that
// fits the classic path limit.
std::wstring TemporaryFolder() {
  wchar_t buffer[MAX_PATH + 1];
  const DWORD length = GetTempPathW(MAX_PATH, buffer);
  if (length == 0 || length >= MAX_PATH) return std::wstring();
  return std::wstring(buffer, length);
}

enum class ReadOutcome { kRead, kUnavailable, kFailed };

// Reads the last kCoreLogTailBytes of the file into `tail`, from the first line start in that
// window, and sets `skipped` to the bytes before it. The running core holds the file open for
// appending; what it writes after the size is taken waits for the next call.
ReadOutcome ReadCoreLogTail(const std::wstring& path, std::string& tail, long long& skipped) {
  if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return ReadOutcome::kUnavailable;
  orvanta::UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                         nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return ReadOutcome::kUnavailable;
  LARGE_INTEGER size = {};
  if (!GetFileSizeEx(file.Get(), &size)) return ReadOutcome::kFailed;
  const long long start = size.QuadPart > kCoreLogTailBytes ? size.QuadPart - kCoreLogTailBytes : 0;
  LARGE_INTEGER offset = {};
  offset.QuadPart = start;
  if (!SetFilePointerEx(file.Get(), offset, nullptr, FILE_BEGIN)) return ReadOutcome::kFailed;

  tail.resize(static_cast<size_t>(size.QuadPart - start));
  size_t filled = 0;
  while (filled < tail.size()) {
    DWORD got = 0;
    if (!ReadFile(file.Get(), &tail[filled], static_cast<DWORD>(tail.size() - filled), &got,
                  nullptr)) {
      return ReadOutcome::kFailed;
    }
    if (got == 0) break;  // truncated meanwhile
    filled += got;
  }
  tail.resize(filled);

  size_t first = 0;
  if (start > 0) {
    const size_t newline = tail.find('\n');
    if (newline != std::string::npos) {
      first = newline + 1;
    } else {
      // One line longer than the window: at least do not begin inside a character.
      while (first < tail.size() && (static_cast<unsigned char>(tail[first]) & 0xC0) == 0x80) {
        ++first;
      }
    }
  }
  skipped = start + static_cast<long long>(first);
  tail.erase(0, first);
  return ReadOutcome::kRead;
}

}  // namespace

std::wstring SingBoxService::WorkingFolder() {
  const std::wstring tempFolder = TemporaryFolder();
  return tempFolder.empty() ? tempFolder : tempFolder + L"Orvanta";
}

bool SingBoxService::CreateConfigFile(const std::string& config) {
  const std::wstring workFolder = WorkingFolder();
  if (workFolder.empty()) {
    Log("ERROR: Cannot determine the temporary folder. Error code: " +
        std::to_string(GetLastError()));
    return false;
  }
  if (!CreateFolderTree(workFolder)) {
    Log("ERROR: Cannot create working folder: " + orvanta::Utf8FromWide(workFolder));
    return false;
  }
  configPath = workFolder + L"\\config.json";
  logPath = workFolder + L"\\sing-box.log";

  if (config.empty()) {
    Log("ERROR: No config provided for sing-box");
    return false;
  }
  Log("Using provided config (" + std::to_string(config.size()) + " characters)");
  Log("Config preview: " + config.substr(0, orvanta::Utf8PrefixLength(config, kPreviewBytes)) +
      "...");

  if (!WriteWholeFile(configPath, ToCrLf(config))) {
    Log("Failed to create config file: " + orvanta::Utf8FromWide(configPath));
    return false;
  }
  Log("sing-box config created: " + orvanta::Utf8FromWide(configPath));
  return true;
}

void SingBoxService::MoveLargeCoreLogAside() {
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  if (!GetFileAttributesExW(logPath.c_str(), GetFileExInfoStandard, &data)) return;
  const long long size = (static_cast<long long>(data.nFileSizeHigh) << 32) |
                         static_cast<long long>(data.nFileSizeLow);
  if (size <= kCoreLogMoveAsideBytes) return;
  const std::wstring older = logPath.substr(0, logPath.find_last_of(L'\\') + 1) + kOlderCoreLogName;
  if (!MoveFileExW(logPath.c_str(), older.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    Log("WARNING: Cannot move the large sing-box log aside. Error code: " +
        std::to_string(GetLastError()));
    return;
  }
  Log("Moved sing-box log of " + std::to_string(size) + " bytes aside to " +
      orvanta::Utf8FromWide(older));
}

void SingBoxService::AppendCoreLog(std::string& logs) const {
  if (logPath.empty()) return;
  const size_t before = logs.size();
  try {
    std::string tail;
    long long skipped = 0;
    switch (ReadCoreLogTail(logPath, tail, skipped)) {
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
        // the whole answer unreadable.
        logs += orvanta::ToValidUtf8(tail);
        return;
    }
  } catch (const std::bad_alloc&) {
  } catch (const std::length_error&) {
  }
  logs.resize(before);
  logs += kCoreLogHeader;
  logs += "(failed to read sing-box log file)\n";
}
