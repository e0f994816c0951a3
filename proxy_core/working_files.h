// The working folder %TEMP%\Orvanta and what lives in it: config.json written for the core,
// the core's sing-box.log read back for the UI (and for the core's last words) and kept to a
// bounded size, and the record of a system proxy this program set.
//
// Paths are UTF-16 as the system gives them, so any user name works; the log shows them in
// UTF-8. Nothing here throws: failures are false results and log lines.
#ifndef ORVANTA_PROXY_CORE_WORKING_FILES_H_
#define ORVANTA_PROXY_CORE_WORKING_FILES_H_

#include <windows.h>

#include <cstddef>
#include <string>

#include "proxy_core/service_log.h"

struct WorkingFiles {
  std::wstring configPath;  // working folder + "\config.json"
  std::wstring logPath;     // working folder + "\sing-box.log"
};

// The working folder without a trailing separator; empty when the temporary folder is unknown
// or does not fit the classic path limit.
std::wstring WorkingFolder();

// Where a set of the system proxy is recorded, so the next run can clear a proxy left behind.
std::wstring ProxyRecordPath();
// Where the user's proxy values from before the first set are kept.
std::wstring SavedProxySettingsPath();

// The whole of a file of this program's own, such as the record of a set. False when it
// cannot be read or is larger than `maxBytes`.
bool ReadSmallFile(const std::wstring& path, size_t maxBytes, std::string& content);
// Replaces such a file as a whole: written beside it and moved over it, so that it is never
// found half written. ERROR_SUCCESS or why not.
DWORD ReplaceSmallFile(const std::wstring& path, const std::string& content);

// Creates the working folder, sets both paths (also for an empty configuration), logs the
// configuration's size and a preview that never splits a character, and writes config.json
// with every "\n" as CR LF. False, after a log line saying why, when the folder cannot be made,
// the text is empty, or the file cannot be written completely.
bool CreateConfigFile(const std::string& config, WorkingFiles& files, const ServiceLog& log);

// Before a launch: a sing-box.log over 16 MiB is moved to sing-box.old.log beside it,
// replacing an earlier one, so the two stay bounded.
void MoveLargeCoreLogAside(const std::wstring& logPath, const ServiceLog& log);

// Appends the core log section to `logs`: the header line, then the last MiB of sing-box.log
// from a line start (after a line counting the bytes left out) as well-formed UTF-8 without
// terminal colour codes; the file keeps them. A missing or unopenable file appends nothing; a
// failed read, memory included, appends the header and "(failed to read sing-box log file)".
void AppendCoreLogSection(const std::wstring& logPath, std::string& logs);

// What a core said last: the last non-empty line that was appended to sing-box.log from byte
// `launchStart` on, readable as in the core log section, without its line end, at most 512
// bytes. Only the last 64 KiB are read, from a line start. Empty when the launch wrote nothing,
// `launchStart` is negative (no log of this launch) or the file cannot be read.
std::string LastCoreLogLine(const std::wstring& logPath, long long launchStart);

#endif  // ORVANTA_PROXY_CORE_WORKING_FILES_H_
