#include "tests/proxy_core/proxy_test_support.h"

#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <atomic>

namespace proxytest {
namespace {

constexpr char kInternetSettings[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
const char* const kValueNames[3] = {"ProxyEnable", "ProxyServer", "ProxyOverride"};

bool ReadEnv(const char* name, std::string& value) {
  char buffer[32768];
  const DWORD length = GetEnvironmentVariableA(name, buffer, sizeof(buffer));
  if (length == 0 || length >= sizeof(buffer)) return false;
  value.assign(buffer, length);
  return true;
}

std::string CurrentFolder() {
  char buffer[MAX_PATH * 4];
  const DWORD length = GetCurrentDirectoryA(sizeof(buffer), buffer);
  return std::string(buffer, length);
}

}  // namespace

std::string ExecutableFolder() {
  char buffer[MAX_PATH * 4];
  const DWORD length = GetModuleFileNameA(nullptr, buffer, sizeof(buffer));
  std::string path(buffer, length);
  return path.substr(0, path.find_last_of("\\/"));
}

std::string ReadFileBytes(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    ADD_FAILURE() << "cannot open " << path;
    return std::string();
  }
  std::string content;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof(buffer), &got, nullptr) && got > 0)
    content.append(buffer, got);
  CloseHandle(file);
  return content;
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << "cannot create " << path;
  DWORD written = 0;
  EXPECT_TRUE(WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
  EXPECT_EQ(written, bytes.size());
  CloseHandle(file);
}

bool FileExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void RemoveTree(const std::string& path) {
  WIN32_FIND_DATAA entry;
  HANDLE find = FindFirstFileA((path + "\\*").c_str(), &entry);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::string name = entry.cFileName;
      if (name == "." || name == "..") continue;
      const std::string child = path + "\\" + name;
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(child);
      } else {
        DeleteFileA(child.c_str());
      }
    } while (FindNextFileA(find, &entry));
    FindClose(find);
  }
  RemoveDirectoryA(path.c_str());
}

ScopedTempFolder::ScopedTempFolder(const std::string& name) {
  static std::atomic<int> counter{0};
  hadTmp_ = ReadEnv("TMP", oldTmp_);
  char base[MAX_PATH];
  const DWORD length = GetTempPathA(MAX_PATH, base);
  path_ = std::string(base, length) + "orvanta-test-" + std::to_string(GetCurrentProcessId()) +
          "-" + std::to_string(counter++) + "-" + name;
  RemoveTree(path_);
  EXPECT_TRUE(CreateDirectoryA(path_.c_str(), nullptr)) << path_;
  path_ += "\\";
  SetEnvironmentVariableA("TMP", path_.c_str());
}

ScopedTempFolder::~ScopedTempFolder() {
  SetEnvironmentVariableA("TMP", hadTmp_ ? oldTmp_.c_str() : nullptr);
  RemoveTree(path_.substr(0, path_.size() - 1));
}

ScopedEnvironment::ScopedEnvironment(const char* name, const char* value) : name_(name) {
  had_ = ReadEnv(name, old_);
  SetEnvironmentVariableA(name, value);
}

ScopedEnvironment::~ScopedEnvironment() {
  SetEnvironmentVariableA(name_.c_str(), had_ ? old_.c_str() : nullptr);
}

ScopedCurrentFolder::ScopedCurrentFolder(const std::string& path) : old_(CurrentFolder()) {
  EXPECT_TRUE(SetCurrentDirectoryA(path.c_str())) << path;
}

ScopedCurrentFolder::~ScopedCurrentFolder() { SetCurrentDirectoryA(old_.c_str()); }

ProxySettings ReadProxySettings() {
  ProxySettings settings;
  DWORD enable = 0;
  DWORD size = sizeof(enable);
  if (RegGetValueA(HKEY_CURRENT_USER, kInternetSettings, "ProxyEnable", RRF_RT_REG_DWORD, nullptr,
                   &enable, &size) == ERROR_SUCCESS) {
    settings.enable = enable;
  }
  auto readText = [](const char* name, std::string& out) {
    char text[1024];
    DWORD textSize = sizeof(text);
    if (RegGetValueA(HKEY_CURRENT_USER, kInternetSettings, name, RRF_RT_REG_SZ, nullptr, text,
                     &textSize) == ERROR_SUCCESS) {
      out.assign(text, textSize > 0 ? textSize - 1 : 0);
    }
  };
  readText("ProxyServer", settings.server);
  readText("ProxyOverride", settings.override_list);
  return settings;
}

void WriteProxySettings(const ProxySettings& settings) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kInternetSettings, 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &key, nullptr),
            ERROR_SUCCESS);
  const DWORD enable = static_cast<DWORD>(settings.enable);
  RegSetValueExA(key, "ProxyEnable", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&enable),
                 sizeof(enable));
  RegSetValueExA(key, "ProxyServer", 0, REG_SZ,
                 reinterpret_cast<const BYTE*>(settings.server.c_str()),
                 static_cast<DWORD>(settings.server.size() + 1));
  RegSetValueExA(key, "ProxyOverride", 0, REG_SZ,
                 reinterpret_cast<const BYTE*>(settings.override_list.c_str()),
                 static_cast<DWORD>(settings.override_list.size() + 1));
  RegCloseKey(key);
}

InternetSettingsGuard::InternetSettingsGuard() {
  for (int i = 0; i < 3; ++i) {
    Saved& saved = saved_[i];
    DWORD size = 0;
    if (RegGetValueA(HKEY_CURRENT_USER, kInternetSettings, kValueNames[i], RRF_RT_ANY, &saved.type,
                     nullptr, &size) != ERROR_SUCCESS) {
      continue;
    }
    saved.data.resize(size);
    saved.present = RegGetValueA(HKEY_CURRENT_USER, kInternetSettings, kValueNames[i],
                                 RRF_RT_ANY | RRF_NOEXPAND, &saved.type,
                                 size ? saved.data.data() : nullptr, &size) == ERROR_SUCCESS;
    saved.data.resize(size);
  }
}

InternetSettingsGuard::~InternetSettingsGuard() {
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, kInternetSettings, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                      &key, nullptr) != ERROR_SUCCESS) {
    ADD_FAILURE() << "cannot restore Internet Settings";
    return;
  }
  for (int i = 0; i < 3; ++i) {
    const Saved& saved = saved_[i];
    if (saved.present) {
      RegSetValueExA(key, kValueNames[i], 0, saved.type, saved.data.data(),
                     static_cast<DWORD>(saved.data.size()));
    } else {
      RegDeleteValueA(key, kValueNames[i]);
    }
  }
  RegCloseKey(key);
}

std::vector<DWORD> CoreChildren() {
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
        lstrcmpiW(entry.szExeFile, L"sing-box.exe") == 0) {
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

}  // namespace proxytest
