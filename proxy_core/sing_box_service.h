// SingBoxService: the one owner of the proxy core child process (sing-box.exe).
//
// It turns a configuration text from the UI into a running core: it writes config.json into
// the per-user working folder (%TEMP%\Orvanta), starts the core with its output appended to
// sing-box.log beside it, judges the core alive when it still runs one second later, and
// points the per-user HTTP proxy at 127.0.0.1:10809 through powershell.exe. Stop clears the
// proxy first and then terminates the core. A core that ends by itself is noticed without any
// call from the UI: the proxy is cleared at once, so programs that follow it are not left
// pointing at a dead port, and the service counts as stopped. The parts live in
// working_files.h, core_launcher.h and system_proxy.h; this class composes them and keeps the
// log.
//
// Ownership: the service owns the core's process handle from a successful launch until Stop
// (or destruction, which calls Stop), and for its whole life a kill-on-close job that every
// core it launches belongs to, so a core never outlives the host, even one that crashed.
// Construction clears a system proxy that an earlier run left set.
//
// Failure: nothing throws. Every outcome is a bool result plus lines in the service log.
// Each log line is "[<ms since boot>] <message>"; it is appended, with "\n", to the in-memory
// log returned by GetLogs, and written to standard output as "SingBoxService: " + line. The
// log and GetLogs are always well-formed UTF-8.
//
// Not thread-safe: every operation runs on the UI thread and blocks it (a successful Start
// for at least one second plus up to five seconds for the proxy command). The end of the core
// is handled on that thread too, from its message loop, so the service must be created on
// the thread that runs the loop.
//
// When a core ends (within its first second, or later by itself), its last line in sing-box.log
// is quoted in the log; a start names the program that already listens on the proxy port.
#ifndef ORVANTA_PROXY_CORE_SING_BOX_SERVICE_H_
#define ORVANTA_PROXY_CORE_SING_BOX_SERVICE_H_

#include <windows.h>

#include <string>

#include "proxy_core/core_launcher.h"
#include "proxy_core/service_log.h"
#include "proxy_core/system_proxy.h"
#include "proxy_core/working_files.h"
#include "support/signal_watch.h"
#include "support/unique_handle.h"

// How long the service waits for the core and for each proxy command; the defaults are the
// host's own. Tests lengthen the one that decides their case, so that a loaded machine cannot
// turn a core that ends at once into one that runs, nor a slow command into a hung one.
struct ServiceWaits {
  DWORD coreLivenessMs = kCoreLivenessWaitMs;
  ProxyCommandWaits proxyCommand;
};

class SingBoxService {
 public:
  explicit SingBoxService(ServiceWaits waits = ServiceWaits());
  // Stops a started core (clearing the proxy first). An idle service does nothing, unless a
  // restore the registry refused earlier is still owed: that gets one more try.
  ~SingBoxService();

  SingBoxService(const SingBoxService&) = delete;
  SingBoxService& operator=(const SingBoxService&) = delete;
  SingBoxService(SingBoxService&&) = delete;
  SingBoxService& operator=(SingBoxService&&) = delete;

  // True when the core was launched now or already runs. While the core runs, a new Start
  // changes nothing; a core found ended is handled as an unexpected end first, then the
  // configuration is started afresh.
  bool Start(const std::string& config);
  // Always true. Does nothing on an idle service.
  bool Stop();
  // True when started and the core process is still alive. Changes nothing.
  bool IsRunning();
  // The service log, followed by the end of the core's sing-box.log under a header once a
  // Start has worked out the working folder. Never throws, also when memory runs out.
  std::string GetLogs();
  // True when no view of the system proxy points at the core any more: the user's settings are
  // back, or ours were turned off, or none was ours (SystemProxy::Clear).
  bool ClearSystemProxy();

 private:
  void Log(const std::string& message);
  // Log, for the parts that report through a ServiceLog.
  ServiceLog LogSink();
  bool CreateConfigFile(const std::string& config);
  bool StartProcess();
  bool SetSystemProxy(const std::string& host, int port);
  // Started, and the core process has ended.
  bool CoreEnded() const;
  // The core ended without Stop: clears the proxy, releases the core, counts as stopped.
  void HandleCoreExit();

  ServiceWaits waits_;
  orvanta::UniqueHandle processHandle_;
  DWORD processId_ = 0;
  // Where the running core's output begins in sing-box.log, for its last words.
  long long coreLogStart_ = -1;
  bool running_ = false;
  std::wstring singBoxPath_;
  WorkingFiles files_;  // configPath and logPath
  std::string logBuffer_;
  orvanta::UniqueHandle coreJob_;
  SystemProxy systemProxy_;
  // Declared after processHandle_, so it is gone before the handle it watches is closed.
  orvanta::SignalWatch coreWatch_;
};

#endif  // ORVANTA_PROXY_CORE_SING_BOX_SERVICE_H_
