#include "tests/support/test_environment.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace orvanta_test {
namespace {

bool ReadEnv(const char* name, std::string& value) {
  char buffer[32768];
  const DWORD length = GetEnvironmentVariableA(name, buffer, sizeof(buffer));
  if (length == 0 || length >= sizeof(buffer)) return false;
  value.assign(buffer, length);
  return true;
}

}  // namespace

std::string ExecutableFolder() {
  char buffer[MAX_PATH * 4];
  const std::string path(buffer, GetModuleFileNameA(nullptr, buffer, sizeof(buffer)));
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
  while (ReadFile(file, buffer, sizeof(buffer), &got, nullptr) && got > 0) {
    content.append(buffer, got);
  }
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

ScopedTempFolder::ScopedTempFolder(const std::string& name) {
  static std::atomic<int> counter{0};
  hadTmp_ = ReadEnv("TMP", oldTmp_);
  char base[MAX_PATH];
  path_ = std::string(base, GetTempPathA(MAX_PATH, base)) + "orvanta-test-" +
          std::to_string(GetCurrentProcessId()) + "-" + std::to_string(counter++) + "-" + name;
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
  EXPECT_TRUE(CreateDirectoryA(path_.c_str(), nullptr)) << path_;
  path_ += "\\";
  SetEnvironmentVariableA("TMP", path_.c_str());
}

ScopedTempFolder::~ScopedTempFolder() {
  SetEnvironmentVariableA("TMP", hadTmp_ ? oldTmp_.c_str() : nullptr);
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

ScopedEnvironment::ScopedEnvironment(const char* name, const char* value) : name_(name) {
  had_ = ReadEnv(name, old_);
  SetEnvironmentVariableA(name, value);
}

ScopedEnvironment::~ScopedEnvironment() {
  SetEnvironmentVariableA(name_.c_str(), had_ ? old_.c_str() : nullptr);
}

ScopedCurrentFolder::ScopedCurrentFolder(const std::string& path) {
  char buffer[MAX_PATH * 4];
  old_.assign(buffer, GetCurrentDirectoryA(sizeof(buffer), buffer));
  EXPECT_TRUE(SetCurrentDirectoryA(path.c_str())) << path;
}

ScopedCurrentFolder::~ScopedCurrentFolder() { SetCurrentDirectoryA(old_.c_str()); }

RawValue ReadRawValue(const char* key, const char* name) {
  RawValue value;
  HKEY opened = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, key, 0, KEY_QUERY_VALUE, &opened) != ERROR_SUCCESS) {
    return value;
  }
  const std::wstring wideName(name, name + std::strlen(name));
  DWORD size = 0;
  if (RegQueryValueExW(opened, wideName.c_str(), nullptr, &value.type, nullptr, &size) ==
      ERROR_SUCCESS) {
    value.data.resize(size);
    value.present = RegQueryValueExW(opened, wideName.c_str(), nullptr, &value.type,
                                     size ? value.data.data() : nullptr, &size) == ERROR_SUCCESS;
    value.data.resize(size);
  }
  RegCloseKey(opened);
  if (!value.present) value = RawValue();
  return value;
}

void WriteRawValue(const char* key, const char* name, const RawValue& value) {
  const std::wstring wideKey(key, key + std::strlen(key));
  const std::wstring wideName(name, name + std::strlen(name));
  if (value.present) {
    EXPECT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, wideKey.c_str(), wideName.c_str(), value.type,
                              value.data.data(), static_cast<DWORD>(value.data.size())),
              ERROR_SUCCESS)
        << name;
  } else {
    RegDeleteKeyValueW(HKEY_CURRENT_USER, wideKey.c_str(), wideName.c_str());
  }
}

namespace {

RawValue Present(DWORD type, const void* data, size_t size) {
  const auto* bytes = static_cast<const BYTE*>(data);
  return RawValue{true, type, std::vector<BYTE>(bytes, bytes + size)};
}

}  // namespace

RawValue TextValue(const std::wstring& text, DWORD type) {
  return Present(type, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
}

RawValue DwordValue(DWORD number) { return Present(REG_DWORD, &number, sizeof(number)); }

ScopedRegistryValue::ScopedRegistryValue(const char* key, const char* name)
    : key_(key), name_(name), saved_(ReadRawValue(key, name)) {}

ScopedRegistryValue::~ScopedRegistryValue() { WriteRawValue(key_.c_str(), name_.c_str(), saved_); }

ScopedKeyRemoval::ScopedKeyRemoval(const char* key) : key_(key) {
  RegDeleteTreeA(HKEY_CURRENT_USER, key_.c_str());
}

ScopedKeyRemoval::~ScopedKeyRemoval() { RegDeleteTreeA(HKEY_CURRENT_USER, key_.c_str()); }

ProxySettings ReadProxySettings() {
  ProxySettings settings;
  DWORD enable = 0;
  DWORD size = sizeof(enable);
  if (RegGetValueA(HKEY_CURRENT_USER, kInternetSettings, "ProxyEnable", RRF_RT_REG_DWORD, nullptr,
                   &enable, &size) == ERROR_SUCCESS) {
    settings.enable = enable;
  }
  for (auto [name, out] : {std::pair{"ProxyServer", &settings.server},
                           std::pair{"ProxyOverride", &settings.override_list}}) {
    char text[1024];
    DWORD textSize = sizeof(text);
    if (RegGetValueA(HKEY_CURRENT_USER, kInternetSettings, name, RRF_RT_REG_SZ, nullptr, text,
                     &textSize) == ERROR_SUCCESS) {
      out->assign(text, textSize > 0 ? textSize - 1 : 0);
    }
  }
  return settings;
}

void WriteProxySettings(const ProxySettings& settings) {
  const DWORD enable = static_cast<DWORD>(settings.enable);
  RegSetKeyValueA(HKEY_CURRENT_USER, kInternetSettings, "ProxyEnable", REG_DWORD, &enable,
                  sizeof(enable));
  for (auto [name, text] : {std::pair{"ProxyServer", &settings.server},
                            std::pair{"ProxyOverride", &settings.override_list}}) {
    RegSetKeyValueA(HKEY_CURRENT_USER, kInternetSettings, name, REG_SZ, text->c_str(),
                    static_cast<DWORD>(text->size() + 1));
  }
}

bool PumpMessagesUntil(const std::function<bool()>& done, DWORD timeoutMs) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  while (!done() && GetTickCount64() < deadline) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) {
        PostQuitMessage(static_cast<int>(message.wParam));
        return done();
      }
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
  return done();
}

}  // namespace orvanta_test
