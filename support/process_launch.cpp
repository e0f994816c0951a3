#include "support/process_launch.h"

#include <algorithm>
#include <vector>

namespace orvanta {

namespace {

// A child that never ran ends at once; the wait only makes sure it let go of what it inherited.
constexpr DWORD kEndUnstartedWaitMs = 5000;

// The handle list of a start-up record, released however the launch ends.
class InheritedHandleList {
 public:
  explicit InheritedHandleList(std::vector<HANDLE> handles) : handles_(std::move(handles)) {
    if (handles_.empty()) return;
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    storage_.resize(size);
    auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage_.data());
    if (!InitializeProcThreadAttributeList(list, 1, 0, &size)) {
      error_ = GetLastError();
      return;
    }
    list_ = list;
    if (!UpdateProcThreadAttribute(list_, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles_.data(),
                                   handles_.size() * sizeof(HANDLE), nullptr, nullptr)) {
      error_ = GetLastError();
    }
  }
  ~InheritedHandleList() {
    if (list_ != nullptr) DeleteProcThreadAttributeList(list_);
  }
  InheritedHandleList(const InheritedHandleList&) = delete;
  InheritedHandleList& operator=(const InheritedHandleList&) = delete;

  bool Empty() const { return handles_.empty(); }
  // ERROR_SUCCESS when the list is ready to be passed.
  DWORD Error() const { return error_; }
  LPPROC_THREAD_ATTRIBUTE_LIST Get() const { return list_; }

 private:
  std::vector<HANDLE> handles_;
  std::vector<char> storage_;
  LPPROC_THREAD_ATTRIBUTE_LIST list_ = nullptr;
  DWORD error_ = ERROR_SUCCESS;
};

DWORD JoinKillOnCloseJob(HANDLE process, UniqueHandle& job) {
  if (!job) {
    UniqueHandle created(CreateJobObjectW(nullptr, nullptr));
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!created || !SetInformationJobObject(created.Get(), JobObjectExtendedLimitInformation,
                                             &limits, sizeof(limits))) {
      return GetLastError();
    }
    job = std::move(created);
  }
  return AssignProcessToJobObject(job.Get(), process) ? ERROR_SUCCESS : GetLastError();
}

}  // namespace

std::vector<HANDLE> InheritableHandles(std::initializer_list<HANDLE> handles) {
  std::vector<HANDLE> result;
  for (HANDLE handle : handles) {
    DWORD flags = 0;
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) continue;
    if (!GetHandleInformation(handle, &flags) || (flags & HANDLE_FLAG_INHERIT) == 0) continue;
    if (std::find(result.begin(), result.end(), handle) == result.end()) result.push_back(handle);
  }
  return result;
}

LaunchResult LaunchProcess(const LaunchOptions& options) {
  LaunchResult result;
  // CreateProcessW may write into the command line, so it gets a copy of its own.
  std::vector<wchar_t> commandLine(options.commandLine.begin(), options.commandLine.end());
  commandLine.push_back(L'\0');
  STARTUPINFOEXW startup = {};
  startup.StartupInfo.cb = sizeof(startup);
  std::vector<HANDLE> inherited;
  if (options.redirectStandardHandles) {
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdInput = options.standardInput;
    startup.StartupInfo.hStdOutput = options.standardOutput;
    startup.StartupInfo.hStdError = options.standardError;
    inherited =
        InheritableHandles({options.standardInput, options.standardOutput, options.standardError});
  }
  const InheritedHandleList handleList(std::move(inherited));
  if (handleList.Error() != ERROR_SUCCESS) {
    result.error = handleList.Error();
    return result;
  }
  DWORD flags = CREATE_NO_WINDOW;
  if (!handleList.Empty()) {
    flags |= EXTENDED_STARTUPINFO_PRESENT;
    startup.lpAttributeList = handleList.Get();
  }
  if (options.killOnCloseJob != nullptr) flags |= CREATE_SUSPENDED;
  PROCESS_INFORMATION info = {};
  if (!CreateProcessW(options.application.empty() ? nullptr : options.application.c_str(),
                      commandLine.data(), nullptr, nullptr, handleList.Empty() ? FALSE : TRUE,
                      flags, nullptr, nullptr, &startup.StartupInfo, &info)) {
    result.error = GetLastError();
    return result;
  }
  ProcessHandles handles = ProcessHandles::Adopt(info);
  if (options.killOnCloseJob != nullptr) {
    result.jobError = JoinKillOnCloseJob(handles.process.Get(), *options.killOnCloseJob);
    if (ResumeThread(handles.thread.Get()) == static_cast<DWORD>(-1)) {
      // A child that never runs would look alive to every check that follows.
      result.error = GetLastError();
      EndProcess(handles.process.Get(), 1, kEndUnstartedWaitMs);
      return result;
    }
  }
  result.handles = std::move(handles);
  return result;
}

bool EndProcess(HANDLE process, UINT exitCode, DWORD waitMs) {
  TerminateProcess(process, exitCode);
  return WaitForSingleObject(process, waitMs) == WAIT_OBJECT_0;
}

}  // namespace orvanta
