// The working folder %TEMP%\Orvanta, config.json written for the core, and the core's
// sing-box.log read back for GetLogs.
#include <windows.h>

#include <new>
#include <stdexcept>
#include <string>

#include "proxy_core/sing_box_service.h"
#include "support/unique_handle.h"

namespace {

constexpr size_t kPreviewBytes = 200;
constexpr char kCoreLogHeader[] = "\n----- sing-box stdout/stderr -----\n";

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool IsDirectory(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Creates `path` and every missing parent. An existing folder is success. Prefixes that
// cannot be created (a drive root, a UNC share, a folder we may only traverse) are walked
// through; only the final folder decides.
bool CreateFolderTree(const std::string& path) {
  if (IsDirectory(path)) return true;
  for (size_t i = 1; i <= path.size(); ++i) {
    if (i == path.size() || IsSeparator(path[i])) {
      CreateDirectoryA(path.substr(0, i).c_str(), nullptr);
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
bool WriteWholeFile(const std::string& path, const std::string& bytes) {
  orvanta::UniqueHandle file(CreateFileA(path.c_str(), GENERIC_WRITE,
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

enum class ReadOutcome { kRead, kUnavailable, kFailed };

ReadOutcome ReadWholeSharedFile(const std::string& path, std::string& content) {
  if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) return ReadOutcome::kUnavailable;
  // The running core holds the file open for appending.
  orvanta::UniqueHandle file(CreateFileA(path.c_str(), GENERIC_READ,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                         nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return ReadOutcome::kUnavailable;
  try {
    std::string buffer(64 * 1024, '\0');
    for (;;) {
      DWORD got = 0;
      if (!ReadFile(file.Get(), &buffer[0], static_cast<DWORD>(buffer.size()), &got, nullptr)) {
        return ReadOutcome::kFailed;
      }
      if (got == 0) break;
      content.append(buffer.data(), got);
    }
  } catch (const std::bad_alloc&) {
    return ReadOutcome::kFailed;
  } catch (const std::length_error&) {
    return ReadOutcome::kFailed;
  }
  return ReadOutcome::kRead;
}

}  // namespace

bool SingBoxService::CreateConfigFile(const std::string& config) {
  char tempPath[MAX_PATH];
  const DWORD length = GetTempPathA(MAX_PATH, tempPath);
  if (length == 0 || length >= MAX_PATH) {
    Log("ERROR: Cannot determine the temporary folder. Error code: " +
        std::to_string(GetLastError()));
    return false;
  }
  const std::string workFolder = std::string(tempPath, length) + "Orvanta";
  if (!CreateFolderTree(workFolder)) {
    Log("ERROR: Cannot create working folder: " + workFolder);
    return false;
  }
  configPath = workFolder + "\\config.json";
  logPath = workFolder + "\\sing-box.log";

  if (config.empty()) {
    Log("ERROR: No config provided for sing-box");
    return false;
  }
  Log("Using provided config (" + std::to_string(config.size()) + " characters)");
  Log("Config preview: " + config.substr(0, kPreviewBytes) + "...");

  if (!WriteWholeFile(configPath, ToCrLf(config))) {
    Log("Failed to create config file: " + configPath);
    return false;
  }
  Log("sing-box config created: " + configPath);
  return true;
}

void SingBoxService::AppendCoreLog(std::string& logs) const {
  if (logPath.empty()) return;
  std::string content;
  switch (ReadWholeSharedFile(logPath, content)) {
    case ReadOutcome::kUnavailable:
      return;
    case ReadOutcome::kFailed:
      logs += kCoreLogHeader;
      logs += "(failed to read sing-box log file)\n";
      return;
    case ReadOutcome::kRead:
      logs += kCoreLogHeader;
      logs += content;
      return;
  }
}
