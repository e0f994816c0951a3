#include "proxy_core/proxy_record.h"

#include <windows.h>

#include <string>

#include "proxy_core/working_files.h"

namespace {

constexpr DWORD kMaxRecordBytes = 64;
constexpr char kClearedMark[] = "cleared\n";

}  // namespace

ProxyRecordState ReadProxyRecord() {
  std::string content;
  if (!ReadSmallFile(ProxyRecordPath(), kMaxRecordBytes, content)) return ProxyRecordState::kNone;
  const std::string cleared = "\n" + std::string(kClearedMark);
  if (content.size() >= cleared.size() &&
      content.compare(content.size() - cleared.size(), cleared.size(), cleared) == 0) {
    return ProxyRecordState::kCleared;
  }
  return ProxyRecordState::kSet;
}

DWORD WriteProxyRecord(const std::string& address, ProxyRecordState state) {
  // A set normally follows a launch that made the folder; the record must not depend on it.
  CreateDirectoryW(WorkingFolder().c_str(), nullptr);
  return ReplaceSmallFile(
      ProxyRecordPath(),
      address + "\n" + (state == ProxyRecordState::kCleared ? kClearedMark : ""));
}

void ForgetProxySet() {
  DeleteFileW(SavedProxySettingsPath().c_str());
  DeleteFileW(ProxyRecordPath().c_str());
}
