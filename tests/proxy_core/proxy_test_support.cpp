#include "tests/proxy_core/proxy_test_support.h"

#include <tlhelp32.h>

#include <gtest/gtest.h>

namespace proxytest {

std::vector<DWORD> ChildProcesses(const wchar_t* program) {
  std::vector<DWORD> pids;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) {
    ADD_FAILURE() << "no process snapshot";
    return pids;
  }
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Process32FirstW(snapshot, &entry); more;
       more = Process32NextW(snapshot, &entry)) {
    if (entry.th32ParentProcessID == GetCurrentProcessId() &&
        lstrcmpiW(entry.szExeFile, program) == 0) {
      pids.push_back(entry.th32ProcessID);
    }
  }
  CloseHandle(snapshot);
  return pids;
}

bool KillProcess(DWORD pid) {
  HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
  if (process == nullptr) return false;
  const bool killed =
      TerminateProcess(process, 9) && WaitForSingleObject(process, 10000) == WAIT_OBJECT_0;
  CloseHandle(process);
  return killed;
}

void WriteSparseFile(const std::string& path, long long size, const std::string& tail) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << path << ": error " << GetLastError();
  LARGE_INTEGER at;
  at.QuadPart = size - static_cast<long long>(tail.size());
  ASSERT_TRUE(SetFilePointerEx(file, at, nullptr, FILE_BEGIN));
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(file, tail.data(), static_cast<DWORD>(tail.size()), &written, nullptr));
  CloseHandle(file);
}

size_t CountOpenHandles() {
  size_t count = 0;
  for (UINT_PTR value = 4; value < (1u << 16); value += 4) {
    DWORD flags = 0;
    if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++count;
  }
  return count;
}

std::vector<std::string> Messages(const std::string& serviceLog) {
  std::string log = serviceLog.substr(0, serviceLog.find("\n----- sing-box stdout/stderr -----\n"));
  std::vector<std::string> messages;
  size_t pos = 0;
  while (pos < log.size()) {
    size_t end = log.find('\n', pos);
    if (end == std::string::npos) end = log.size();
    const std::string line = log.substr(pos, end - pos);
    pos = end + 1;
    const size_t close = line.find("] ");
    const bool stamped = !line.empty() && line[0] == '[' && close != std::string::npos &&
                         close > 1 && line.find_first_not_of("0123456789", 1) == close;
    if (stamped) {
      messages.push_back(line.substr(close + 2));
    } else if (!messages.empty()) {
      // A system error text carries its own line break inside the message.
      messages.back() += "\n" + line;
    } else {
      ADD_FAILURE() << "log line without time stamp: " << line;
    }
  }
  return messages;
}

std::vector<std::string> MessagesFrom(const std::string& serviceLog, size_t first) {
  std::vector<std::string> all = Messages(serviceLog);
  if (first >= all.size()) return {};
  return std::vector<std::string>(all.begin() + static_cast<std::ptrdiff_t>(first), all.end());
}

LockedInternetSettings::LockedInternetSettings(REGSAM allowed) {
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, orvanta_test::kInternetSettings, 0,
                          READ_CONTROL | WRITE_DAC, &key_),
            ERROR_SUCCESS);
  DWORD size = 0;
  RegGetKeySecurity(key_, DACL_SECURITY_INFORMATION, nullptr, &size);
  original_.resize(size);
  EXPECT_EQ(RegGetKeySecurity(key_, DACL_SECURITY_INFORMATION, original_.data(), &size),
            ERROR_SUCCESS);
  BYTE everyone[SECURITY_MAX_SID_SIZE];
  DWORD sidSize = sizeof(everyone);
  EXPECT_TRUE(CreateWellKnownSid(WinWorldSid, nullptr, everyone, &sidSize));
  PACL acl = reinterpret_cast<PACL>(acl_);
  EXPECT_TRUE(InitializeAcl(acl, sizeof(acl_), ACL_REVISION));
  EXPECT_TRUE(AddAccessAllowedAce(acl, ACL_REVISION, allowed, everyone));
  SECURITY_DESCRIPTOR readOnly;
  EXPECT_TRUE(InitializeSecurityDescriptor(&readOnly, SECURITY_DESCRIPTOR_REVISION));
  EXPECT_TRUE(SetSecurityDescriptorDacl(&readOnly, TRUE, acl, FALSE));
  EXPECT_EQ(RegSetKeySecurity(key_, DACL_SECURITY_INFORMATION, &readOnly), ERROR_SUCCESS);
}

LockedInternetSettings::~LockedInternetSettings() {
  EXPECT_EQ(RegSetKeySecurity(key_, DACL_SECURITY_INFORMATION, original_.data()), ERROR_SUCCESS);
  RegCloseKey(key_);
}

}  // namespace proxytest
