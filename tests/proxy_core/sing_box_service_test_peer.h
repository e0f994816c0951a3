// Test access to SingBoxService's private state and steps, so tests can check the fields the
// public operations promise to set and drive one step (config file, proxy) on its own.
#ifndef ORVANTA_TESTS_PROXY_CORE_SING_BOX_SERVICE_TEST_PEER_H_
#define ORVANTA_TESTS_PROXY_CORE_SING_BOX_SERVICE_TEST_PEER_H_

#include <string>

#include "proxy_core/sing_box_service.h"
#include "support/wide_text.h"

class SingBoxServiceTestPeer {
 public:
  explicit SingBoxServiceTestPeer(SingBoxService& service) : service_(service) {}

  // Paths in UTF-8, as the log shows them.
  static std::string DefaultExecutablePath() {
    return orvanta::Utf8FromWide(SingBoxService::GetSingBoxPath());
  }

  std::string ConfigPath() const { return orvanta::Utf8FromWide(service_.configPath); }
  std::string LogPath() const { return orvanta::Utf8FromWide(service_.logPath); }
  std::string ExecutablePath() const { return orvanta::Utf8FromWide(service_.singBoxPath); }
  const std::string& LogBuffer() const { return service_.logBuffer; }
  HANDLE ProcessHandle() const { return service_.processHandle.Get(); }
  DWORD ProcessId() const { return service_.processId; }
  bool Running() const { return service_.running; }

  HANDLE CoreJob() const { return service_.coreJob.Get(); }
  // Takes ownership of `job`, which the next launch uses as it is.
  void SetCoreJob(HANDLE job) { service_.coreJob.Reset(job); }

  void SetExecutablePath(const std::string& path) {
    service_.singBoxPath = orvanta::WideFromUtf8(path);
  }
  bool CreateConfigFile(const std::string& config) { return service_.CreateConfigFile(config); }
  bool SetSystemProxy(const std::string& host, int port) {
    return service_.SetSystemProxy(host, port);
  }

 private:
  SingBoxService& service_;
};

#endif  // ORVANTA_TESTS_PROXY_CORE_SING_BOX_SERVICE_TEST_PEER_H_
