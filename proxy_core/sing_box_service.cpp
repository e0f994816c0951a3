#include "proxy_core/sing_box_service.h"

#include <cstdint>
#include <iostream>
#include <new>
#include <utility>

#include "proxy_core/core_launcher.h"
#include "proxy_core/port_holder.h"
#include "support/log_line.h"
#include "support/process_launch.h"
#include "support/utf8.h"

namespace {

constexpr char kProxyHost[] = "127.0.0.1";
constexpr uint16_t kProxyPort = 10809;
constexpr DWORD kTerminateWaitMs = 5000;

std::string ProxyAddress() { return std::string(kProxyHost) + ":" + std::to_string(kProxyPort); }

}  // namespace

SingBoxService::SingBoxService(ServiceWaits waits)
    : waits_(waits),
      singBoxPath_(GetSingBoxPath()),
      systemProxy_(LogSink(), ProxyAddress(), SystemPowerShellPath(), waits.proxyCommand),
      coreWatch_([this] {
        if (CoreEnded()) HandleCoreExit();
      }) {
  Log("SingBoxService initialized");
  systemProxy_.ClearLeftByEarlierRun();
}

// A set can still be running here only while started, and Stop's clear ends it first; closing
// the job afterwards ends any core that is left. A restore the registry refused earlier gets
// one more try, even when the service is idle: the user's settings are still saved.
SingBoxService::~SingBoxService() {
  Stop();
  if (systemProxy_.RestorePending()) ClearSystemProxy();
}

void SingBoxService::Log(const std::string& message) {
  // Messages quote what the UI sent and what the system said; repairing them here keeps the
  // log readable by the UI whatever arrived.
  std::string line = "[" + std::to_string(GetTickCount64()) + "] " + orvanta::ToValidUtf8(message);
  logBuffer_ += line;
  logBuffer_ += '\n';
  orvanta::WriteLogLine(std::cout, "SingBoxService: ", line);
}

ServiceLog SingBoxService::LogSink() {
  return [this](const std::string& message) { Log(message); };
}

bool SingBoxService::CreateConfigFile(const std::string& config) {
  return ::CreateConfigFile(config, files_, LogSink());
}

bool SingBoxService::StartProcess() {
  const ServiceLog log = LogSink();
  if (!ResolveSingBoxPath(singBoxPath_, log)) return false;
  // The core would end at once on a taken port; the user learns here which program holds it.
  const std::string taken = PortInUseWarning(ReadTcpListeners(), kProxyPort, GetCurrentProcessId());
  if (!taken.empty()) Log(taken);
  CoreProcess core;
  const bool alive = LaunchCore(singBoxPath_, files_, coreJob_, core, log, waits_.coreLivenessMs);
  processHandle_ = std::move(core.handle);
  processId_ = core.id;
  coreLogStart_ = core.logStart;
  return alive;
}

bool SingBoxService::SetSystemProxy(const std::string& host, int port) {
  return systemProxy_.Set(host, port);
}

bool SingBoxService::ClearSystemProxy() { return systemProxy_.Clear(); }

bool SingBoxService::CoreEnded() const {
  return running_ &&
         (!processHandle_ || WaitForSingleObject(processHandle_.Get(), 0) == WAIT_OBJECT_0);
}

void SingBoxService::HandleCoreExit() {
  coreWatch_.Cancel();
  DWORD exitCode = 0;
  if (processHandle_) GetExitCodeProcess(processHandle_.Get(), &exitCode);
  Log("sing-box exited unexpectedly with exit code " + std::to_string(exitCode));
  LogCoreLastWords(files_.logPath, coreLogStart_, LogSink());
  ClearSystemProxy();
  processHandle_.Reset();
  processId_ = 0;
  running_ = false;
}

bool SingBoxService::Start(const std::string& config) {
  // A core that died before its notice was handled must not pass for a running one.
  if (CoreEnded()) HandleCoreExit();
  if (running_) {
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
  running_ = true;
  Log("sing-box started successfully");
  const DWORD watchError = coreWatch_.Watch(processHandle_.Get());
  if (watchError != ERROR_SUCCESS) {
    Log("WARNING: An unexpected end of sing-box will be noticed only at the next call. Error "
        "code: " +
        std::to_string(watchError));
  }
  // The core keeps running without the proxy setting; the UI sees only the warning.
  if (SetSystemProxy(kProxyHost, kProxyPort)) {
    Log("System proxy configured successfully");
  } else {
    Log("WARNING: Failed to configure system proxy");
  }
  return true;
}

bool SingBoxService::Stop() {
  if (!running_) return true;
  // The core is about to be ended on purpose; its end must not count as unexpected.
  coreWatch_.Cancel();
  Log("Stopping sing-box...");
  // Cleared before the core goes away, so traffic never points at a dead listener for long.
  ClearSystemProxy();
  if (processHandle_) {
    orvanta::EndProcess(processHandle_.Get(), 0, kTerminateWaitMs);
    processHandle_.Reset();
    processId_ = 0;
    Log("sing-box process terminated");
  }
  running_ = false;
  Log("sing-box stopped");
  return true;
}

bool SingBoxService::IsRunning() {
  if (!running_ || !processHandle_) return false;
  DWORD exitCode = 0;
  if (!GetExitCodeProcess(processHandle_.Get(), &exitCode)) return false;
  return exitCode == STILL_ACTIVE;
}

std::string SingBoxService::GetLogs() {
  // The answer goes back to the UI through the runtime, which must never see an exception.
  try {
    std::string logs = logBuffer_;
    AppendCoreLogSection(files_.logPath, logs);
    return logs;
  } catch (const std::bad_alloc&) {
    return std::string();
  }
}
