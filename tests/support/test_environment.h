// The operating-system state tests touch, isolated per test: files, a private temporary
// folder, environment variables, the current folder, and per-user registry values saved and
// put back. Paths are narrow texts; the test build's folders are ASCII.
#ifndef ORVANTA_TESTS_SUPPORT_TEST_ENVIRONMENT_H_
#define ORVANTA_TESTS_SUPPORT_TEST_ENVIRONMENT_H_

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace orvanta_test {

// Folder of this test executable, without a trailing separator.
std::string ExecutableFolder();

// The whole file, shared with writers such as a running core; a missing file fails the test.
std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);

// A fresh folder that TMP points at (so GetTempPath returns it, with its trailing backslash)
// until destruction; the folder and what is in it are then removed and TMP restored.
class ScopedTempFolder {
 public:
  // `name` becomes part of the folder name; it may contain blanks.
  explicit ScopedTempFolder(const std::string& name);
  ~ScopedTempFolder();
  ScopedTempFolder(const ScopedTempFolder&) = delete;
  ScopedTempFolder& operator=(const ScopedTempFolder&) = delete;

  // With its trailing backslash, as GetTempPath returns it.
  const std::string& Path() const { return path_; }
  std::string WorkFolder() const { return path_ + "Orvanta"; }

 private:
  std::string path_;
  bool hadTmp_ = false;
  std::string oldTmp_;
};

// Sets (or, with `value` null, removes) an environment variable until destruction.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const char* name, const char* value);
  ~ScopedEnvironment();
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  std::string name_;
  bool had_ = false;
  std::string old_;
};

class ScopedCurrentFolder {
 public:
  explicit ScopedCurrentFolder(const std::string& path);
  ~ScopedCurrentFolder();
  ScopedCurrentFolder(const ScopedCurrentFolder&) = delete;
  ScopedCurrentFolder& operator=(const ScopedCurrentFolder&) = delete;

 private:
  std::string old_;
};

// One value under HKEY_CURRENT_USER as stored: its type and bytes, or its absence.
struct RawValue {
  bool present = false;
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
  bool operator==(const RawValue& other) const {
    return present == other.present && type == other.type && data == other.data;
  }
};
RawValue ReadRawValue(const char* key, const char* name);
// Writes the value, or deletes it when `value` is absent.
void WriteRawValue(const char* key, const char* name, const RawValue& value);
// A text value as the system stores it: UTF-16 with its terminating NUL.
RawValue TextValue(const std::wstring& text, DWORD type = REG_SZ);
RawValue DwordValue(DWORD number);

// Saves one value under HKEY_CURRENT_USER, or its absence, and puts it back at destruction.
class ScopedRegistryValue {
 public:
  ScopedRegistryValue(const char* key, const char* name);
  ~ScopedRegistryValue();
  ScopedRegistryValue(const ScopedRegistryValue&) = delete;
  ScopedRegistryValue& operator=(const ScopedRegistryValue&) = delete;

 private:
  std::string key_;
  std::string name_;
  RawValue saved_;
};

constexpr char kInternetSettings[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
// Where the system (and the stand-in WinINet) keeps each connection's settings.
constexpr char kConnections[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections";

// A key under HKEY_CURRENT_USER that is gone at construction and again at destruction.
class ScopedKeyRemoval {
 public:
  explicit ScopedKeyRemoval(const char* key);
  ~ScopedKeyRemoval();
  ScopedKeyRemoval(const ScopedKeyRemoval&) = delete;
  ScopedKeyRemoval& operator=(const ScopedKeyRemoval&) = delete;

 private:
  std::string key_;
};

// The per-user proxy values (and the configuration script, which the host looks at), saved
// and put back; the connections start and end with no settings of their own, as a profile that
// never had any, so the stand-in WinINet's LAN follows the plain values until something sets it.
struct InternetSettingsGuard {
  ScopedRegistryValue enable{kInternetSettings, "ProxyEnable"};
  ScopedRegistryValue server{kInternetSettings, "ProxyServer"};
  ScopedRegistryValue override_list{kInternetSettings, "ProxyOverride"};
  ScopedRegistryValue autoConfig{kInternetSettings, "AutoConfigURL"};
  ScopedKeyRemoval connections{kConnections};
};

// The three per-user proxy values. A missing value reads as enable = -1 or server/override
// "<absent>".
struct ProxySettings {
  long long enable = -1;
  std::string server = "<absent>";
  std::string override_list = "<absent>";
};
ProxySettings ReadProxySettings();
void WriteProxySettings(const ProxySettings& settings);

// Runs this thread's message loop until `done` holds, `timeoutMs` have passed or a quit
// message comes, which stays queued; the result of `done` at the end.
bool PumpMessagesUntil(const std::function<bool()>& done, DWORD timeoutMs);

}  // namespace orvanta_test

#endif  // ORVANTA_TESTS_SUPPORT_TEST_ENVIRONMENT_H_
