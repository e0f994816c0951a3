// SingBoxService: the one owner of the proxy core child process (sing-box.exe).
//
// It turns a configuration text from the UI into a running core: it writes config.json into
// the per-user working folder (%TEMP%\Orvanta), starts the core with its output appended to
// sing-box.log beside it, judges the core alive when it still runs one second later, and
// points the per-user HTTP proxy at 127.0.0.1:10809 through powershell.exe. Stop clears the
// proxy first and then terminates the core.
//
// Ownership: the service owns the core's process handle from a successful launch until Stop
// (or destruction, which calls Stop). It never owns the core's log file handle after the
// launch: only the child keeps its inherited copy. It holds, for its whole life, a job object
// that every core it launches belongs to and that ends them when its last handle closes, so
// a core never outlives the host, even when the host crashes or is killed.
//
// System proxy: a set records in the working folder that this program set the proxy, and a
// successful clear removes the record. Construction clears a proxy that an earlier run left
// set (the record exists and the registry still holds our values), so a crash never leaves
// the user's traffic pointing at a dead listener. Only the system folder's powershell.exe is
// run, and a proxy command that outlives its wait is ended before the next one starts: the
// last command issued is the last to write.
//
// Failure: nothing throws. Every outcome is a bool result plus lines in the service log.
// Each log line is "[<ms since boot>] <message>"; it is appended, with "\n", to the in-memory
// log returned by GetLogs, and written to standard output as "SingBoxService: " + line.
//
// Text: paths are kept in UTF-16 as the system gives them, so any user or install folder
// works whatever the ANSI code page; the log and GetLogs are always well-formed UTF-8.
//
// Not thread-safe: every operation runs on the UI thread and blocks it (a successful Start
// for at least one second plus up to five seconds for the proxy command).
#ifndef ORVANTA_PROXY_CORE_SING_BOX_SERVICE_H_
#define ORVANTA_PROXY_CORE_SING_BOX_SERVICE_H_

#include <windows.h>

#include <string>

#include "support/unique_handle.h"

class SingBoxServiceTestPeer;

class SingBoxService {
 public:
  // Clears a system proxy that an earlier run of this program left set.
  SingBoxService();
  // Stops a started core (clearing the proxy first); an idle service does nothing.
  ~SingBoxService();

  SingBoxService(const SingBoxService&) = delete;
  SingBoxService& operator=(const SingBoxService&) = delete;
  SingBoxService(SingBoxService&&) = delete;
  SingBoxService& operator=(SingBoxService&&) = delete;

  // True when the core was launched now or is already counted as started. While started,
  // a new Start changes nothing, even when the core has died by itself: call Stop first.
  bool Start(const std::string& config);
  // Always true. Does nothing on an idle service.
  bool Stop();
  // True when started and the core process is still alive. Changes nothing.
  bool IsRunning();
  // The service log, followed by the end of the core's sing-box.log under a header once a
  // Start has worked out the working folder. Well-formed UTF-8; never throws, also when memory
  // runs out.
  std::string GetLogs();
  // True when the proxy-clearing command ran and ended with exit code 0 within five seconds.
  bool ClearSystemProxy();

 private:
  friend class ::SingBoxServiceTestPeer;

  void Log(const std::string& message);

  // Working files.
  // The working folder %TEMP%\Orvanta, without a trailing separator; empty when the
  // temporary folder is unknown.
  static std::wstring WorkingFolder();
  bool CreateConfigFile(const std::string& config);
  void AppendCoreLog(std::string& logs) const;
  void MoveLargeCoreLogAside();

  // Launcher.
  static std::wstring GetSingBoxPath();
  bool StartProcess();
  bool ResolveExecutablePath();
  void TieToHostLifetime(HANDLE process);
  void LogStartFailure(DWORD error);

  // System proxy.
  bool SetSystemProxy(const std::string& host, int port);
  static std::wstring ProxyRecordPath();
  void RecordProxySet(const std::string& address);
  void ClearProxyLeftByEarlierRun(const std::string& address);

  orvanta::UniqueHandle processHandle;
  DWORD processId = 0;
  bool running = false;
  std::wstring singBoxPath;
  std::wstring configPath;
  std::string logBuffer;
  std::wstring logPath;
  // Kill-on-close job for the cores; created at the first launch.
  orvanta::UniqueHandle coreJob;
  // A proxy command that outlived its wait, ended before the next one starts.
  orvanta::UniqueHandle pendingProxyCommand;
};

#endif  // ORVANTA_PROXY_CORE_SING_BOX_SERVICE_H_
