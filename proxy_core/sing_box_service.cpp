// Life cycle, log and the public operations of SingBoxService. The working files, the launcher
// and the system proxy live in files of their own.
#include "proxy_core/sing_box_service.h"

#include <iostream>
#include <new>

#include "support/utf8.h"

namespace {

constexpr char kProxyHost[] = "127.0.0.1";
constexpr int kProxyPort = 10809;
constexpr DWORD kTerminateWaitMs = 5000;

}  // namespace

SingBoxService::SingBoxService() : singBoxPath(GetSingBoxPath()) {
  Log("SingBoxService initialized");
  ClearProxyLeftByEarlierRun(std::string(kProxyHost) + ":" + std::to_string(kProxyPort));
}

// A set still running here is impossible: sets run only while started, and Stop's clear ends
// it first. A clear still running is the last word and is left to land. Closing the job
// afterwards ends any core that is left.
SingBoxService::~SingBoxService() { Stop(); }

void SingBoxService::Log(const std::string& message) {
  // Messages quote what the UI sent and what the system said; repairing them here keeps the
  // log readable by the UI whatever arrived.
  std::string line = "[" + std::to_string(GetTickCount64()) + "] " + orvanta::ToValidUtf8(message);
  logBuffer += line;
  logBuffer += '\n';
  std::cout << "SingBoxService: " << line << std::endl;
}

bool SingBoxService::Start(const std::string& config) {
  if (running) {
    Log("sing-box is already running");
    return true;
  }
  Log("Starting sing-box...");
  if (!CreateConfigFile(config)) {
    Log("Failed to create sing-box config");
    return false;
  }
  if (!StartProcess()) {
    Log("Failed to start sing-box process");
    return false;
  }
  running = true;
  Log("sing-box started successfully");
  // The core keeps running without the proxy setting; the UI sees only the warning.
  if (SetSystemProxy(kProxyHost, kProxyPort)) {
    Log("System proxy configured successfully");
  } else {
    Log("WARNING: Failed to configure system proxy");
  }
  return true;
}

bool SingBoxService::Stop() {
  if (!running) return true;
  Log("Stopping sing-box...");
  // Cleared before the core goes away, so traffic never points at a dead listener for long.
  ClearSystemProxy();
  if (processHandle) {
    TerminateProcess(processHandle.Get(), 0);
    WaitForSingleObject(processHandle.Get(), kTerminateWaitMs);
    processHandle.Reset();
    processId = 0;
    Log("sing-box process terminated");
  }
  running = false;
  Log("sing-box stopped");
  return true;
}

bool SingBoxService::IsRunning() {
  if (!running) return false;
  if (!processHandle) return false;
  DWORD exitCode = 0;
  if (!GetExitCodeProcess(processHandle.Get(), &exitCode)) return false;
  return exitCode == STILL_ACTIVE;
}

std::string SingBoxService::GetLogs() {
  // The answer goes back to the UI through the runtime, which must never see an exception.
  try {
    std::string logs = logBuffer;
    AppendCoreLog(logs);
    return logs;
  } catch (const std::bad_alloc&) {
    return std::string();
  }
}
