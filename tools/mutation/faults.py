"""The hand-picked faults of the mutation tool: each models a mistake a developer could really
make (a wrong bound, a dropped check, a swapped order, a leaked handle, a lost log text).

Each fault names its product folder, a text that occurs exactly once in that folder's sources,
and what replaces it. "tree" is the build tree that holds the code ("win" unless it is the
portable value and codec code, which the native tree builds much faster); "tests" overrides
the folder's ctest selection. When code moves, update the texts here, never the faults.
"""

# ctest -R selections: the tests that cover each folder.
TESTS = {
    "support": "utf8|support_test|install|proxy_core|vpn_control|runner_window",
    "proxy_core": "install|support_test|proxy_core|vpn_control|e2e",
    "network_speed": "network_speed|speed_channel",
    "channels": "install|channel|e2e",
    "messaging": "messaging_runtime|flutter_window|e2e",
    "runner": "install|runner|flutter_window|e2e",
}
NATIVE = "utf8|values"


def fault(id, folder, description, find, replace, **extra):
    entry = {"id": id, "folder": folder, "description": description, "find": find,
             "replace": replace}
    entry.update(extra)
    return entry


FAULTS = [
    # support
    fault("S1", "support", "INVALID_HANDLE_VALUE counts as a live handle",
          "return handle != nullptr && handle != INVALID_HANDLE_VALUE;",
          "return handle != nullptr;"),
    fault("S2", "support", "Reset forgets to close the old handle",
          "if (old != nullptr) ::CloseHandle(old);", "static_cast<void>(old);"),
    fault("S3", "support", "encoded surrogates pass as UTF-8",
          "if (lead == 0xED) high = 0x9F;", "", tree="native", tests=NATIVE),
    fault("S4", "support", "a truncated sequence is replaced byte by byte",
          "*skip = next - at;", "*skip = 1;", tree="native", tests=NATIVE),
    fault("S5", "support", "the preview cut may split a character",
          "return at + length > maxBytes ? at : maxBytes;",
          "return at + length > maxBytes + 8 ? at : maxBytes;",
          tree="native", tests=NATIVE),
    fault("S6", "support", "wide text converted through the ANSI code page",
          "WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);",
          "WideCharToMultiByte(CP_ACP, 0, text.data(), length, nullptr, 0, nullptr, nullptr);"),
    fault("S7", "support", "the system's error text is lost",
          "return Utf8FromWide(std::wstring_view(text, length));",
          "return Utf8FromWide(std::wstring_view(text, length * 0));"),

    # proxy_core
    fault("P1", "proxy_core", "a second Start launches a second core",
          "  if (running_) {\n    Log(\"sing-box is already running\");",
          "  if (false) {\n    Log(\"sing-box is already running\");"),
    fault("P2", "proxy_core", "Stop does not clear the proxy",
          "  ClearSystemProxy();\n  if (processHandle_) {", "  if (processHandle_) {"),
    fault("P3", "proxy_core", "Stop returns while the core is still alive",
          "  return WaitForSingleObject(process, waitMs) == WAIT_OBJECT_0;",
          "  return process != nullptr && waitMs > 0;", source="support"),
    fault("P4", "proxy_core", "Stop leaves the service counted as running",
          "  running_ = false;\n  Log(\"sing-box stopped\");", "  Log(\"sing-box stopped\");"),
    fault("P5", "proxy_core", "IsRunning ignores the exit code",
          "return exitCode == STILL_ACTIVE;", "return true;"),
    fault("P6", "proxy_core", "log lines run together in the buffer",
          "  logBuffer_ += '\\n';\n", ""),
    fault("P7", "proxy_core", "standard output prefix changed",
          "\"SingBoxService: \", line", "\"SingBoxService:\", line"),
    fault("P8", "proxy_core", "log messages are not repaired to UTF-8",
          "orvanta::ToValidUtf8(message)", "message"),
    fault("P9", "proxy_core", "GetLogs leaves out the core log",
          "    AppendCoreLogSection(files_.logPath, logs);\n", ""),
    fault("P10", "proxy_core", "an empty configuration is written",
          "  if (config.empty()) {", "  if (false) {"),
    fault("P11", "proxy_core", "the preview splits a character",
          "config.substr(0, orvanta::Utf8PrefixLength(config, kPreviewBytes))",
          "config.substr(0, kPreviewBytes)"),
    fault("P12", "proxy_core", "config.json keeps bare LF line ends",
          "    if (c == '\\n') out += '\\r';\n", ""),
    fault("P13", "proxy_core", "a failed write is reported as a written configuration",
          "      return false;\n    }\n    offset += written;", "      break;\n    }\n    offset += written;"),
    fault("P14", "proxy_core", "getLogs reads 64 MiB of the core log",
          "kCoreLogTailBytes = 1024 * 1024;", "kCoreLogTailBytes = 64 * 1024 * 1024;"),
    fault("P15", "proxy_core", "the core log window starts inside a line",
          "      first = newline + 1;", "      first = 0;"),
    fault("P16", "proxy_core", "a large core log is never moved aside",
          "if (size <= kCoreLogMoveAsideBytes) return;", "if (size >= 0) return;"),
    fault("P17", "proxy_core", "the core log is passed on without UTF-8 repair",
          "logs += orvanta::ReadableTerminalText(bytes, first);", "logs += bytes.substr(first);"),
    fault("P18", "proxy_core", "a failed read loses its note",
          "  logs += \"(failed to read sing-box log file)\\n\";\n", ""),
    fault("P19", "proxy_core", "the default core path misses resources\\",
          "L\"\\\\resources\\\\sing-box.exe\"", "L\"\\\\sing-box.exe\""),
    fault("P20", "proxy_core", "the fallback path is not kept",
          "  executable = fallback;\n", ""),
    fault("P21", "proxy_core", "the paths on the core's command line are not quoted",
          "L\"\\\"\" + executable + L\"\\\" run -c \\\"\" + files.configPath + L\"\\\"\"",
          "executable + L\" run -c \" + files.configPath"),
    fault("P22", "proxy_core", "the core's output is not sent into sing-box.log",
          "options.standardOutput = logFile ? logFile.Get() : GetStdHandle(STD_OUTPUT_HANDLE);",
          "options.standardOutput = GetStdHandle(STD_OUTPUT_HANDLE);"),
    fault("P23", "proxy_core", "each launch truncates sing-box.log",
          "&inheritable, OPEN_ALWAYS,", "&inheritable, CREATE_ALWAYS,"),
    fault("P24", "proxy_core", "a core that exited at once counts as started",
          "  if (exitCode == STILL_ACTIVE) {", "  if (true) {"),
    fault("P25", "proxy_core", "the core is not put into the job",
          "return AssignProcessToJobObject(job.Get(), process) ? ERROR_SUCCESS : GetLastError();",
          "return process != nullptr ? ERROR_SUCCESS : GetLastError();", source="support"),
    fault("P26", "proxy_core", "the suspended core is never resumed",
          "if (ResumeThread(handles.thread.Get()) == static_cast<DWORD>(-1)) {", "if (false) {",
          source="support"),
    fault("P27", "proxy_core", "the host keeps its copy of the log handle",
          "  logFile.Reset();\n  if (!launched.Started())", "  static_cast<void>(logFile.Release());\n  if (!launched.Started())"),
    fault("P28", "proxy_core", "the core's thread handle leaks",
          "  child.thread.Reset();\n  core.handle", "  static_cast<void>(child.thread.Release());\n  core.handle"),
    fault("P29", "proxy_core", "the handle of a core that exited at once is kept",
          "  core.handle.Reset();\n  core.id = 0;\n  return false;", "  return false;"),
    fault("P30", "proxy_core", "the set command writes another bypass list",
          "-Name ProxyOverride -Value '<-loopback>'", "-Name ProxyOverride -Value '<local>'"),
    fault("P31", "proxy_core", "PowerShell gets 3 s instead of 5 s",
          "  DWORD commandMs = 5000;",
          "  DWORD commandMs = 3000;"),
    fault("P32", "proxy_core", "a failing set counts as success",
          "  if (outcome.exitCode != 0) {\n"
          '    log_("ERROR: Proxy command failed with exit code: " + std::to_string(outcome.exitCode));\n'
          "    return false;\n"
          "  }\n"
          "  const std::vector<std::wstring> taken = SetConnections(connections);",
          "  const std::vector<std::wstring> taken = SetConnections(connections);"),
    fault("P33", "proxy_core", "PowerShell found through the command search",
          "  options.application = powerShell_;", "  options.application.clear();"),
    fault("P34", "proxy_core", "a hung set is not ended before the clear",
          "  if (!pending_) return;\n  orvanta::EndProcess", "  if (true) return;\n  orvanta::EndProcess"),
    fault("P35", "proxy_core", "a set leaves no record",
          "[&] { Record(ProxyRecordState::kSet); }",
          "[&] {}"),
    fault("P36", "proxy_core", "a clear keeps the record",
          "  DeleteFileW(ProxyRecordPath().c_str());\n", ""),
    fault("P37", "proxy_core", "a foreign proxy is cleared at start-up",
          "ERROR_SUCCESS || !judgement.AnyOurs()) {",
          "ERROR_SUCCESS || (!judgement.AnyOurs() && false)) {"),
    fault("P38", "proxy_core", "a proxy left by a crash is not cleared",
          "  systemProxy_.ClearLeftByEarlierRun(", "  if (false) systemProxy_.ClearLeftByEarlierRun("),
    fault("P39", "proxy_core", "a failed proxy set fails the start",
          "    Log(\"WARNING: Failed to configure system proxy\");\n  }",
          "    Log(\"WARNING: Failed to configure system proxy\");\n    return false;\n  }"),

    fault("P40", "proxy_core", "a log file that cannot be opened goes unreported",
          "      log(\"WARNING: Failed to open sing-box log file for redirection\");\n", ""),

    # proxy_core: the user's proxy values saved and put back, change notices, the script warning
    fault("V1", "proxy_core", "every set saves the values over those an earlier set kept",
          "judged && judgement.plain == Holds::kOurs ? judgement.saved.plain : current;",
          "false ? judgement.saved.plain : current;",
          also=[("judged ? judgement.SavedIfOurs(name) : nullptr",
                 "false ? judgement.SavedIfOurs(name) : nullptr")], tests="install|proxy_core_service"),
    fault("V2", "proxy_core", "the user's values are saved after the set wrote ours",
          "  const std::optional<RegistryValue> enableFound = PrepareForSet(connections);",
          "  const std::optional<RegistryValue> enableFound;",
          also=[("  const std::vector<std::wstring> taken = SetConnections(connections);\n",
                 "  const std::vector<std::wstring> taken = SetConnections(connections);\n"
                 "  PrepareForSet(connections);\n")], tests="install|proxy_core_service"),
    fault("V3", "proxy_core", "the refresh is sent before the settings-changed notice",
          "setOption(nullptr, INTERNET_OPTION_SETTINGS_CHANGED, nullptr, 0)) {",
          "setOption(nullptr, INTERNET_OPTION_REFRESH, nullptr, 0)) {",
          also=[("setOption(nullptr, INTERNET_OPTION_REFRESH, nullptr, 0) && error",
                 "setOption(nullptr, INTERNET_OPTION_SETTINGS_CHANGED, nullptr, 0) && error")],
          tests="install|proxy_core_service"),
    fault("V4", "proxy_core", "the notice names the proxy-settings-changed option",
          "INTERNET_OPTION_SETTINGS_CHANGED, nullptr, 0)) {",
          "INTERNET_OPTION_PROXY_SETTINGS_CHANGED, nullptr, 0)) {",
          tests="install|proxy_core_service"),
    fault("V5", "proxy_core", "a clear by command tells no running program",
          "  if (refusal == ERROR_SUCCESS) {\n"
          "    TellRunningPrograms();",
          "  if (refusal == ERROR_SUCCESS) {\n"
          "    if (saved != nullptr) TellRunningPrograms();", tests="install|proxy_core_service"),
    fault("V6", "proxy_core", "a restore tells no running program",
          "  if (refusal == ERROR_SUCCESS) {\n"
          "    TellRunningPrograms();",
          "  if (refusal == ERROR_SUCCESS) {\n"
          "    if (saved == nullptr) TellRunningPrograms();", tests="install|proxy_core_service"),
    fault("V7", "proxy_core", "a failed set still tells running programs",
          "std::to_string(outcome.exitCode));\n"
          "    return false;\n"
          "  }\n"
          "  const std::vector<std::wstring> taken",
          "std::to_string(outcome.exitCode));\n"
          "    TellRunningPrograms();\n"
          "    return false;\n"
          "  }\n"
          "  const std::vector<std::wstring> taken", tests="install|proxy_core_service"),
    fault("V8", "proxy_core", "a refused notice goes unreported",
          "    log_(\"WARNING: Running programs were not told of the new proxy setting. Error code: \" +\n"
          "         std::to_string(error));\n", "", tests="install|proxy_core_service"),
    fault("V9", "proxy_core", "the refresh is skipped when the settings-changed notice is refused",
          "INTERNET_OPTION_SETTINGS_CHANGED, nullptr, 0)) {\n    error = GetLastError();\n  }",
          "INTERNET_OPTION_SETTINGS_CHANGED, nullptr, 0)) {\n    return GetLastError();\n  }",
          tests="install|proxy_core_service"),
    fault("V11", "proxy_core", "a saved leftover of our own values is put back",
          " && !IsOurs(saved.plain);",
          ";", tests="install|proxy_core_service"),
    fault("V12", "proxy_core", "the saved values are put back over values that are not ours",
          "  const bool plainOurs = judgement.plain == Holds::kOurs;",
          "  const bool plainOurs = judgement.plain == Holds::kOurs || judgement.hasSaved;",
          tests="install|proxy_core_service",
          also=[("  if (!judgement.AnyOurs()) {",
                 "  if (!judgement.AnyOurs() && !judgement.hasSaved) {")]),
    fault("V13", "proxy_core", "a failed restore forgets the record and the saved values",
          "  Record(ProxyRecordState::kCleared);\n",
          "  ForgetProxySet();\n", tests="install|proxy_core_service"),
    fault("V14", "proxy_core", "a value absent before is left as we set it",
          "    status = RegDeleteValueW(key, name);",
          "    status = ERROR_FILE_NOT_FOUND;", tests="install|proxy_core_service"),
    fault("V15", "proxy_core", "restored values are written as text",
          "status = RegSetValueExW(key, name, 0, value.type,",
          "status = RegSetValueExW(key, name, 0, REG_SZ,", tests="install|proxy_core_service"),
    fault("V16", "proxy_core", "the saved bytes are written low nibble first",
          "    hex += kHexDigits[bytes[i] >> 4];\n"
          "    hex += kHexDigits[bytes[i] & 0x0F];",
          "    hex += kHexDigits[bytes[i] & 0x0F];\n"
          "    hex += kHexDigits[bytes[i] >> 4];", tests="install|proxy_core_service"),
    fault("V17", "proxy_core", "saved hex letters are read one too low",
          "return c - 'a' + 10;", "return c - 'a' + 9;", tests="install|proxy_core_service"),
    fault("V18", "proxy_core", "a finished clear keeps the saved values",
          "  DeleteFileW(SavedProxySettingsPath().c_str());\n  DeleteFileW(ProxyRecordPath().c_str());",
          "  DeleteFileW(ProxyRecordPath().c_str());", tests="install|proxy_core_service"),
    fault("V19", "proxy_core", "start-up without a record keeps a stale saved state",
          "    DeleteFileW(SavedProxySettingsPath().c_str());\n    return;", "    return;",
          tests="install|proxy_core_service"),
    fault("V20", "proxy_core", "start-up drops only the record when the values are no longer ours",
          "ERROR_SUCCESS || !judgement.AnyOurs()) {\n"
          "    ForgetProxySet();",
          "ERROR_SUCCESS || !judgement.AnyOurs()) {\n"
          "    DeleteFileW(ProxyRecordPath().c_str());", tests="install|proxy_core_service"),
    fault("V21", "proxy_core", "the restore logs a shortened line",
          '? "Restored the proxy settings from before the connection"',
          '? "Restored the proxy settings"', tests="install|proxy_core_service"),
    fault("V22", "proxy_core", "an unreadable saved state blocks the new one",
          "MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH", "MOVEFILE_WRITE_THROUGH",
          tests="install|proxy_core_service"),
    fault("V23", "proxy_core", "a ProxyEnable that PowerShell created as text \"1\" is not ours",
          "  return IsText(value, L\"1\");\n", "  return false;\n",
          tests="install|proxy_core_service"),
    fault("V24", "proxy_core", "a value read without its bytes (the size query taken as the read)",
          "if (status == ERROR_MORE_DATA || (status == ERROR_SUCCESS && value.data.size() < size)) {",
          "if (status == ERROR_MORE_DATA) {", tests="install|proxy_core_service"),

    # network_speed
    fault("N1", "network_speed", "filter interfaces are counted",
          " || row->InterfaceAndOperStatusFlags.FilterInterface", ""),
    fault("N2", "network_speed", "interfaces that are not up are counted",
          "row->OperStatus != IfOperStatusUp", "row->OperStatus == IfOperStatusDown"),
    fault("N3", "network_speed", "a counter that went backwards spikes",
          "return now >= before ? now - before : 0;", "return now - before;"),
    fault("N4", "network_speed", "exactly 100 ms is too short",
          "if (kMinimumIntervalSeconds > elapsedSeconds)", "if (kMinimumIntervalSeconds >= elapsedSeconds)"),
    fault("N5", "network_speed", "the baseline tick is not moved",
          "  lastRows_ = std::move(rows);\n  lastTick_ = now;", "  lastRows_ = std::move(rows);"),
    fault("N6", "network_speed", "kilobytes instead of kibibytes",
          "kBytesToKibibytes = 0.0009765625;", "kBytesToKibibytes = 0.001;"),
    fault("N7", "network_speed", "GetSpeed reads the table before Initialize",
          "  if (!initialized_) return {0.0, 0.0};\n", ""),
    fault("N8", "network_speed", "a second Initialize takes a new baseline",
          "  if (initialized_) return true;\n", ""),
    fault("N9", "network_speed", "the tick wrap breaks the interval",
          "static_cast<double>(static_cast<uint32_t>(now - lastTick_))",
          "(static_cast<double>(now) - static_cast<double>(lastTick_))"),
    fault("N10", "network_speed", "the last of duplicate indexes wins",
          "std::make_pair(index, size_t{0})", "std::make_pair(index, ~size_t{0})"),

    # channels
    fault("C1", "channels", "unknown VPN methods get another error code",
          "result->Error(\"INVALID_METHOD\", \"Method not implemented: \" + orvanta::ToValidUtf8(method));\n  }\n}",
          "result->Error(\"UNKNOWN_METHOD\", \"Method not implemented: \" + orvanta::ToValidUtf8(method));\n  }\n}"),
    fault("C2", "channels", "the configuration is looked up under another key",
          "EncodableValue(std::string(\"config\"))", "EncodableValue(std::string(\"conf\"))"),
    fault("C3", "channels", "the start result line always says SUCCESS",
          "\"sing-box start result: \") + Outcome(ok)", "\"sing-box start result: \") + Outcome(true)"),
    fault("C4", "channels", "a memory failure while encoding the logs escapes",
          "  } catch (const std::bad_alloc&) {\n    result.Success(",
          "  } catch (const std::length_error&) {\n    result.Success("),
    fault("C5", "channels", "the echoed method name is not repaired",
          "\"Method not implemented: \" + orvanta::ToValidUtf8(method));\n  }\n}",
          "\"Method not implemented: \" + method);\n  }\n}"),
    fault("C6", "channels", "the Mbps figure misses the bits per byte",
          "speed.download * kBitsPerByte * kPerKibi", "speed.download * kPerKibi"),
    fault("C7", "channels", "the upload rate goes under another key",
          "EncodableValue(\"uploadSpeed\")", "EncodableValue(\"upload\")"),
    fault("C8", "channels", "the init result line always says SUCCESS",
          "(initialized ? \"SUCCESS\" : \"FAILED\")", "(\"SUCCESS\")"),
    fault("C9", "channels", "isRunning logs another status text",
          "(running ? \"RUNNING\" : \"NOT RUNNING\")", "(running ? \"RUNNING\" : \"STOPPED\")"),

    # messaging: values and codecs (native tree)
    fault("M1", "messaging", "a size of 254 is written in one byte",
          "    if (size < kSize16) {\n      bytes_[length_++]", "    if (size <= kSize16) {\n      bytes_[length_++]",
          tree="native", tests=NATIVE),
    fault("M2", "messaging", "the 16-bit size is read big-endian",
          "return static_cast<uint32_t>(bytes[0] | (bytes[1] << 8));",
          "return static_cast<uint32_t>(bytes[1] | (bytes[0] << 8));", tree="native", tests=NATIVE),
    fault("M3", "messaging", "a double is read without its alignment",
          "    case kFloat64:\n      stream->SkipToAlignment(8);\n", "    case kFloat64:\n",
          tree="native", tests=NATIVE),
    fault("M4", "messaging", "a typed list is bounded by its count, not its bytes",
          "TooLargeForRest(uint64_t{count} * sizeof(Element), *stream)", "TooLargeForRest(count, *stream)",
          tree="native", tests=NATIVE),
    fault("M5", "messaging", "a list reserves what it announces",
          "list.reserve(std::min<size_t>({count, stream->RemainingBytes(), kMaxListReservation}));",
          "list.reserve(count);", tree="native", tests=NATIVE),
    fault("M17", "messaging", "nested lists each reserve the rest of the input",
          "stream->RemainingBytes(), kMaxListReservation}));", "stream->RemainingBytes()}));",
          tree="native", tests=NATIVE),
    fault("M6", "messaging", "nesting is not bounded",
          "if (g_read_depth >= kMaxNestingDepth) {", "if (g_read_depth >= 100000) {",
          tree="native", tests=NATIVE),
    fault("M7", "messaging", "the last of duplicate map keys wins",
          "map.emplace_hint(map.end(), std::move(key), std::move(value));",
          "map[std::move(key)] = std::move(value);", tree="native", tests=NATIVE),
    fault("M8", "messaging", "an empty error message travels as a string",
          "  if (message.empty()) {\n    serializer_->WriteValue(EncodableValue(), &stream);",
          "  if (false) {\n    serializer_->WriteValue(EncodableValue(), &stream);",
          tree="native", tests=NATIVE),
    fault("M9", "messaging", "a reply whose error code is not a string is accepted",
          "if (code_text == nullptr ||", "if (code_text == nullptr &&", tree="native", tests=NATIVE),
    fault("M10", "messaging", "padding writes the remainder instead of the gap",
          "output_->insert(output_->end(), alignment - remainder, uint8_t{0});",
          "output_->insert(output_->end(), remainder, uint8_t{0});", tree="native", tests=NATIVE),
    fault("M11", "messaging", "a read past the end wraps around",
          "if (location_ > size_ || length > size_ - location_) {",
          "if (location_ + length > size_) {", tree="native", tests=NATIVE),
    # messaging: messenger, channel and engine wrappers (win tree)
    fault("M12", "messaging", "a message can be answered twice",
          "shared_->responseHandle.exchange(nullptr)", "shared_->responseHandle.load()"),
    fault("M13", "messaging", "the messenger reference is never released",
          "  if (messenger_ != nullptr) FlutterDesktopMessengerRelease(messenger_);\n", ""),
    fault("M14", "messaging", "an undecodable call is never answered",
          "          result->NotImplemented();\n          return;", "          return;"),
    fault("M15", "messaging", "the next-frame callback is not run",
          "  if (callback) callback();\n", ""),
    fault("M16", "messaging", "the UI program gets no arguments",
          "properties.entrypointArgc = static_cast<int32_t>(arguments.size());",
          "properties.entrypointArgc = 0;"),

    # runner
    fault("R1", "runner", "the window ignores the monitor's DPI",
          "const double scale = dpi / 96.0;", "const double scale = dpi > 0 ? 1.0 : 1.0;"),
    fault("R2", "runner", "the window can be maximised",
          "WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX", "WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX"),
    fault("R3", "runner", "closing the window does not end the loop",
          "        ::PostQuitMessage(0);\n", ""),
    fault("R4", "runner", "the dark theme is read the wrong way round",
          "return light == 0 ? TRUE : FALSE;", "return light == 0 ? FALSE : TRUE;"),
    fault("R5", "runner", "the program name is passed to the UI",
          "for (int i = 1; i < count; ++i) {", "for (int i = 0; i < count; ++i) {"),
    fault("R6", "runner", "an unpaired surrogate is converted instead of refused",
          "WC_ERR_INVALID_CHARS, utf16, -1", "0, utf16, -1",
          also=[("WC_ERR_INVALID_CHARS, utf16, static_cast", "0, utf16, static_cast")]),
    fault("R7", "runner", "a second start does not restore a minimised window",
          "::ShowWindow(window, SW_RESTORE);", "::ShowWindow(window, SW_SHOW);"),
    fault("R8", "runner", "a second instance runs on",
          "if (::GetLastError() == ERROR_ALREADY_EXISTS) mutex.Reset();",
          "if (::GetLastError() == ERROR_ALREADY_EXISTS && false) mutex.Reset();"),
    fault("R9", "runner", "a failed window exits with 0",
          "    return kExitWindowFailed;", "    return kExitSuccess;"),
    fault("R10", "runner", "the end of the session leaves the core running",
          "if (message == WM_ENDSESSION && wparam != FALSE) StopServices();",
          "if (false) StopServices();"),
    fault("R11", "runner", "two plug-ins registered out of order",
          "    {\"ScreenRetrieverPlugin\", ScreenRetrieverPluginRegisterWithRegistrar},\n    {\"SystemTrayPlugin\", SystemTrayPluginRegisterWithRegistrar},",
          "    {\"SystemTrayPlugin\", SystemTrayPluginRegisterWithRegistrar},\n    {\"ScreenRetrieverPlugin\", ScreenRetrieverPluginRegisterWithRegistrar},"),
    fault("R12", "runner", "a font change does not reload the UI's fonts",
          "    controller_->GetEngine()->ReloadSystemFonts();\n", ""),
    fault("R13", "runner", "the window is never shown",
          "SetNextFrameCallback([this]() { ShowNormal(); });", "SetNextFrameCallback([this]() {});"),
    fault("R14", "runner", "WM_DESTROY does not end the runtime",
          "    ending.reset();\n", "    static_cast<void>(ending.release());\n"),
    fault("R15", "runner", "a window taller than the work area keeps its height",
          "std::min(window.bottom - window.top, work_area.bottom - work_area.top)",
          "window.bottom - window.top"),
    fault("R16", "runner", "a DPI change places the window where the system suggests",
          "placed = PlaceAfterDpiChange(*suggested, *work);", "placed = *suggested;"),
    # The inherited-handle list, the kill-on-close job and the exit watch of the launch.
    fault("W1", "support", "the handle list is filled but not flagged: children inherit every "
          "inheritable handle", "    flags |= EXTENDED_STARTUPINFO_PRESENT;\n", ""),
    # W2, W6 and W24 survive under Wine, which cannot show them: it hands a child the standard
    # handles of its start-up record even with inheritance off (W2) and reports the whole
    # screen as every monitor's work area (W24); W6 is a race of a few instructions that no
    # test can hold open.
    fault("W2", "support", "the handle list is passed with inheritance off: the core loses its "
          "log handle", "commandLine.data(), nullptr, nullptr, handleList.Empty() ? FALSE : TRUE,",
          "commandLine.data(), nullptr, nullptr, FALSE,"),
    fault("W3", "support", "a non-inheritable standard handle goes into the handle list",
          "if (!GetHandleInformation(handle, &flags) || (flags & HANDLE_FLAG_INHERIT) == 0) continue;",
          "if (!GetHandleInformation(handle, &flags)) continue;"),
    fault("W4", "support", "the job is made without kill-on-close: children outlive the host",
          "limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;",
          "limits.BasicLimitInformation.LimitFlags = 0;"),
    fault("W5", "support", "a queued notice of an earlier watch counts for the current one",
          "if (self == nullptr || self->wait_ == nullptr || wparam != self->generation_) return 0;",
          "if (self == nullptr || self->wait_ == nullptr) return 0;"),
    fault("W6", "support", "Cancel returns while a wait callback may still run",
          "UnregisterWaitEx(std::exchange(wait_, nullptr), INVALID_HANDLE_VALUE);",
          "UnregisterWaitEx(std::exchange(wait_, nullptr), nullptr);"),

    # A core that ends on its own; start-up recovery; the record; the command lifetimes; the tail.
    fault("W7", "proxy_core", "a core that ends on its own leaves the proxy set",
          "  LogCoreLastWords(files_.logPath, coreLogStart_, LogSink());\n  ClearSystemProxy();\n",
          "  LogCoreLastWords(files_.logPath, coreLogStart_, LogSink());\n"),
    fault("W8", "proxy_core", "the unexpected-exit line loses a word",
          "\"sing-box exited unexpectedly with exit code \"",
          "\"sing-box exited unexpectedly with code \""),
    fault("W9", "proxy_core", "the handle is released before the exit code is read: it logs 0",
          "  DWORD exitCode = 0;\n  if (processHandle_) GetExitCodeProcess(processHandle_.Get(), "
          "&exitCode);",
          "  processHandle_.Reset();\n  DWORD exitCode = 0;\n  if (processHandle_) "
          "GetExitCodeProcess(processHandle_.Get(), &exitCode);"),
    fault("W10", "proxy_core", "Start trusts the started flag over a core that has ended",
          "  if (CoreEnded()) HandleCoreExit();\n  if (running_) {", "  if (running_) {"),
    fault("W11", "proxy_core", "the exit watch is never armed",
          "const DWORD watchError = coreWatch_.Watch(processHandle_.Get());",
          "const DWORD watchError = ERROR_SUCCESS;"),
    fault("W12", "proxy_core", "recovery takes any proxy at our address for ours, whatever its "
          "bypass list",
          "    if (!IsOurProxyValue(named.field, settings.*named.field, address)) return false;",
          "    if (named.field != &ProxySettings::bypass &&\n"
          "        !IsOurProxyValue(named.field, settings.*named.field, address)) {\n"
          "      return false;\n"
          "    }"),
    fault("W13", "proxy_core", "recovery misses a ProxyEnable that PowerShell wrote as text",
          "  return IsText(value, L\"1\");", "  return false;"),
    fault("W14", "proxy_core", "the record is written before the set command has started",
          "ProxyCommandRunner::Lifetime::kEndsWithHost,\n                    [&] { Record(ProxyRecordState::kSet); });",
          "ProxyCommandRunner::Lifetime::kEndsWithHost);\n  Record(ProxyRecordState::kSet);"),
    fault("W15", "proxy_core", "a set command outlives the host",
          "command, ProxyCommandRunner::Lifetime::kEndsWithHost,",
          "command, ProxyCommandRunner::Lifetime::kOutlivesHost,"),
    fault("W16", "proxy_core", "a clear left running ends with the host instead of landing",
          "Run(ProxyClearCommand(), ProxyCommandRunner::Lifetime::kOutlivesHost)",
          "Run(ProxyClearCommand(), ProxyCommandRunner::Lifetime::kEndsWithHost)"),
    fault("W17", "proxy_core", "the tail reads from the window itself: a whole first line is "
          "dropped", "bytes.find('\\n', static_cast<size_t>(window - start - 1));",
          "bytes.find('\\n', static_cast<size_t>(window - start));"),
    fault("W18", "proxy_core", "the bytes not shown are counted from the window, one short",
          "skipped = start + static_cast<long long>(first);",
          "skipped = window + static_cast<long long>(first);"),
    fault("W19", "proxy_core", "an overlong line's tail begins with the byte before the window",
          "      first = static_cast<size_t>(window - start);\n",
          "      first = static_cast<size_t>(window - start - 1);\n"),

    # Waiting for a closing first instance; the console's control events; the work area.
    fault("W20", "runner", "a refused take leaks its mutex handle, so a waiting start never "
          "gets the mutex",
          "if (::GetLastError() == ERROR_ALREADY_EXISTS) mutex.Reset();",
          "if (::GetLastError() == ERROR_ALREADY_EXISTS) static_cast<void>(mutex.Release());"),
    fault("W21", "runner", "a second start during the first's teardown only looks for its window",
          "    if (orvanta::UniqueHandle mutex = TakeInstanceMutex()) return mutex;\n", ""),
    fault("W22", "runner", "the console handler passes Ctrl+C on: the host ends without teardown",
          "      response.endHost = owner == ConsoleOwner::kHost;\n      response.handled = TRUE;",
          "      response.endHost = owner == ConsoleOwner::kHost;\n      response.handled = FALSE;"),
    fault("W23", "runner", "the top is clamped against the work area's right edge",
          "std::clamp(window.top, work_area.top, work_area.bottom - height)",
          "std::clamp(window.top, work_area.top, work_area.right - height)"),
    fault("W24", "runner", "the window is fitted into the whole monitor, under the taskbar",
          "return info.rcWork;", "return info.rcMonitor;"),

    # proxy_core: only our own values changed, the saved values of one connection, ProxyEnable
    # made a DWORD before a set, and the watch for another program's change while connected.
    # (N1-N10 are the network_speed faults; these continue at N11.)
    fault("N11", "proxy_core", "a clear that finds values not ours keeps the record and the "
          "saved values",
          "    ForgetProxySet();\n"
          "    restorePending_ = false;\n"
          '    log_("System proxy not set by Orvanta; left unchanged");',
          "    restorePending_ = false;\n"
          '    log_("System proxy not set by Orvanta; left unchanged");',
          tests="install|proxy_core_service|vpn_control"),
    fault("N12", "proxy_core", "a clear that leaves values not ours alone reports failure",
          "log_(\"System proxy not set by Orvanta; left unchanged\");\n    return true;",
          "log_(\"System proxy not set by Orvanta; left unchanged\");\n    return false;",
          tests="install|proxy_core_service|vpn_control"),
    fault("N13", "proxy_core", "the left-unchanged line loses its ending",
          "\"System proxy not set by Orvanta; left unchanged\"",
          "\"System proxy not set by Orvanta\"",
          tests="install|proxy_core_service|vpn_control"),
    fault("N14", "proxy_core", "a clear that changed nothing still tells running programs",
          "    ForgetProxySet();\n"
          "    restorePending_ = false;\n"
          '    log_("System proxy not set by Orvanta; left unchanged");',
          "    TellRunningPrograms();\n"
          "    ForgetProxySet();\n"
          "    restorePending_ = false;\n"
          '    log_("System proxy not set by Orvanta; left unchanged");',
          tests="install|proxy_core_service|vpn_control"),
    fault("N15", "proxy_core", "a restore that worked goes on to run the clear command",
          "  if (plainOurs && saved == nullptr && !RunClearCommand()) return false;",
          "  if (plainOurs && !RunClearCommand()) return false;",
          tests="install|proxy_core_service|vpn_control"),
    fault("N16", "proxy_core", "a refused restore does not fall back to the clear command",
          "  restorePending_ = true;\n"
          "  bool turnedOff = true;",
          "  restorePending_ = true;\n"
          "  return false;\n"
          "  bool turnedOff = true;", tests="install|proxy_core_service|vpn_control"),
    fault("N17", "proxy_core", "a second set keeps the saved values though the registry no "
          "longer holds ours",
          "judged && judgement.plain == Holds::kOurs ? judgement.saved.plain",
          "judged ? judgement.saved.plain", tests="install|proxy_core_service|vpn_control"),
    fault("N18", "proxy_core", "saved values count without a record of the set",
          "return ReadProxyRecord() != ProxyRecordState::kNone &&\n         LoadProxySnapshot(",
          "return LoadProxySnapshot(", tests="install|proxy_core_service|vpn_control"),
    fault("N19", "proxy_core", "a ProxyEnable kept as text is not made a DWORD before a set",
          "if (current.enable.present && current.enable.type == REG_DWORD) return std::nullopt;",
          "if (current.enable.present) return std::nullopt;",
          tests="install|proxy_core_service|vpn_control"),
    fault("N20", "proxy_core", "a failed set leaves ProxyEnable as the DWORD 0 it made",
          "    if (enableFound) WriteProxyEnable(*enableFound);\n", "",
          tests="install|proxy_core_service|vpn_control"),
    fault("N21", "proxy_core", "another program's change is reported at every notice",
          "  reported_ = true;\n  log_(*departure);",
          "  log_(*departure);", tests="install|proxy_core_service|vpn_control"),
    fault("N22", "proxy_core", "a return to our values does not re-allow the report",
          "    reported_ = false;\n    return;", "    return;",
          tests="install|proxy_core_service|vpn_control"),
    fault("N23", "proxy_core", "a new set keeps the report flag of the previous connection",
          "  reported_ = false;\n  if (!event_)", "  if (!event_)",
          tests="install|proxy_core_service|vpn_control"),
    fault("N24", "proxy_core", "a clear does not end the watch: its own restore is reported as "
          "another program's change",
          "  changeWatch_.Stop();\n  // A set still running could otherwise land",
          "  // A set still running could otherwise land",
          tests="install|proxy_core_service|vpn_control"),
    fault("N25", "proxy_core", "the change notice is not armed again after it fired",
          "OnChanged() {\n"
          "  // Armed again before the values are read, so a change made meanwhile fires once more.\n"
          "  if (Arm()) Check();",
          "OnChanged() {\n"
          "  Check();", tests="install|proxy_core_service|vpn_control"),
    fault("N26", "proxy_core", "a proxy turned off with its server kept is reported as changed "
          "to that server",
          "IsProxyEnabled(plain) ? ProxyServerText(plain) : L\"\"",
          "plain.enable.present ? ProxyServerText(plain) : L\"\"",
          tests="install|proxy_core_service|vpn_control"),
    fault("N27", "proxy_core", "the change notice listens for new and deleted names only",
          "REG_NOTIFY_CHANGE_LAST_SET | REG_NOTIFY_CHANGE_NAME, event, TRUE",
          "REG_NOTIFY_CHANGE_NAME, event, TRUE", tests="install|proxy_core_service|vpn_control"),
    fault("N28", "proxy_core", "the watched key is opened without notify access",
          "0, KEY_NOTIFY, key.Receive());", "0, KEY_QUERY_VALUE, key.Receive());",
          tests="install|proxy_core_service|vpn_control"),
    fault("N29", "proxy_core", "a successful set never starts the watch",
          "  changeWatch_.Start(taken);\n"
          "  TellRunningPrograms();",
          "  static_cast<void>(taken);\n  TellRunningPrograms();", tests="install|proxy_core_service|vpn_control"),
    fault("N30", "proxy_core", "a registry text keeps its terminating NUL: no values are ever ours",
          "  return text.substr(0, text.find(L'\\0'));", "  return text;",
          tests="install|proxy_core_service|vpn_control"),
    fault("N31", "proxy_core", "our server and bypass list count as ours with the proxy turned off",
          "    if (!IsOurProxyValue(named.field, settings.*named.field, address)) return false;",
          "    if (named.field != &ProxySettings::enable &&\n"
          "        !IsOurProxyValue(named.field, settings.*named.field, address)) {\n"
          "      return false;\n"
          "    }", tests="install|proxy_core_service|vpn_control"),
    fault("N32", "proxy_core", "the saved values are read with the record's 64-byte bound",
          "kMaxFileBytes = 1024 * 1024;", "kMaxFileBytes = 64;",
          tests="install|proxy_core_service|vpn_control"),
    fault("N33", "proxy_core", "a clear still running after its wait counts as done",
          "  if (outcome.exitCode != 0) {\n"
          "    log_(\"ERROR: Proxy command failed with exit code: \" + "
          "std::to_string(outcome.exitCode));\n    return false;\n  }\n  return true;",
          "  if (outcome.exitCode != 0 && outcome.exitCode != STILL_ACTIVE) {\n"
          "    log_(\"ERROR: Proxy command failed with exit code: \" + "
          "std::to_string(outcome.exitCode));\n    return false;\n  }\n  return true;",
          tests="install|proxy_core_service|vpn_control"),
    fault("N34", "proxy_core", "the saved values are written before the working folder exists",
          "    CreateDirectoryW(WorkingFolder().c_str(), nullptr);\n"
          "    error = SaveProxySnapshot(path, owed);",
          "    error = SaveProxySnapshot(path, owed);",
          tests="install|proxy_core_service|vpn_control"),
    fault("N35", "proxy_core", "the service knows its proxy as localhost: what its set wrote is "
          "never ours",
          "std::string ProxyAddress() { return std::string(kProxyHost) + \":\" + "
          "std::to_string(kProxyPort); }",
          "std::string ProxyAddress() { return \"localhost:\" + std::to_string(kProxyPort); }",
          tests="install|proxy_core_service|vpn_control"),

    # messaging: size fields, tags, alignment and the call and reply layouts (native tree).
    # M1-M17 are the earlier messaging faults; these continue at M18.
    fault("M18", "messaging", "a string of 65535 bytes gets the 32-bit size form",
          "    } else if (size <= 0xFFFF) {\n      bytes_[length_++] = kSize16;",
          "    } else if (size < 0xFFFF) {\n      bytes_[length_++] = kSize16;",
          tree="native", tests="values"),
    fault("M19", "messaging", "a 32-bit size field is read as a 16-bit one",
          "  if (first == kSize16) {", "  if (first >= kSize16) {", tree="native", tests="values"),
    fault("M20", "messaging", "tag 5 is not read as a string but as an unknown type",
          "    case kLargeInt:\n    case kString: {", "    case kString: {",
          tree="native", tests="values"),
    fault("M21", "messaging", "an empty typed list is written without its alignment padding",
          "  if (alignment <= 1) {\n    header.AppendWith(payload, size, stream);",
          "  if (alignment <= 1 || size == 0) {\n    header.AppendWith(payload, size, stream);",
          tree="native", tests="values"),
    fault("M22", "messaging", "an empty typed list is read without skipping its alignment padding",
          "  if (alignment > 1) {\n    stream->SkipToAlignment(alignment);",
          "  if (alignment > 1 && count > 0) {\n    stream->SkipToAlignment(alignment);",
          tree="native", tests="values"),
    fault("M23", "messaging", "a double is written without its alignment padding",
          "      stream->AppendByte(kFloat64);\n      stream->PadToAlignment(8);\n",
          "      stream->AppendByte(kFloat64);\n", tree="native", tests="values"),
    fault("M24", "messaging", "a decoded call without arguments carries no argument value",
          "  auto arguments = std::make_unique<EncodableValue>(ReadCompleteValue(*serializer_, "
          "&stream));",
          "  EncodableValue argument = ReadCompleteValue(*serializer_, &stream);\n"
          "  std::unique_ptr<EncodableValue> arguments;\n"
          "  if (!std::holds_alternative<std::monostate>(argument)) {\n"
          "    arguments = std::make_unique<EncodableValue>(std::move(argument));\n  }",
          tree="native", tests="values"),
    fault("M25", "messaging", "a success of no value is sent as the envelope byte alone",
          "    serializer_->WriteValue(*result, &stream);\n  } else {\n"
          "    serializer_->WriteValue(EncodableValue(), &stream);\n  }",
          "    serializer_->WriteValue(*result, &stream);\n  }", tree="native", tests="values"),
    fault("M26", "messaging", "an empty error code is written as null, like an empty message",
          "serializer_->WriteValue(EncodableValue(code), &stream);",
          "serializer_->WriteValue(code.empty() ? EncodableValue() : EncodableValue(code), "
          "&stream);", tree="native", tests="values"),

    # messaging: handler registration, the reply, the result and the engine wrappers (win tree).
    # M37 needs the whole session: only the runtime that looks for the UI's code notices.
    fault("M27", "messaging", "removing a channel handler leaves the runtime callback pointing at "
          "the destroyed handler",
          "    handlers_.erase(channel);\n    if (messengerHandle_ != nullptr) {\n"
          "      FlutterDesktopMessengerSetCallback(messengerHandle_, channel.c_str(), nullptr, "
          "nullptr);\n    }\n",
          "    handlers_.erase(channel);\n", tests="messaging_runtime"),
    fault("M28", "messaging", "an empty call handler is wrapped and registered instead of "
          "removing the channel",
          "  if (!handler) {\n    messenger_->SetChannelHandler(name_, nullptr);\n    return;\n  }\n",
          "", tests="messaging_runtime"),
    fault("M29", "messaging", "the messenger is released per message without being referenced",
          "messenger_(messenger != nullptr ? FlutterDesktopMessengerAddRef(messenger) : nullptr)",
          "messenger_(messenger)", tests="messaging_runtime"),
    fault("M30", "messaging", "an answer is sent after the engine has gone",
          "  if (FlutterDesktopMessengerIsAvailable(messenger)) {", "  if (messenger != nullptr) {",
          tests="messaging_runtime"),
    fault("M31", "messaging", "the messenger lock taken for an answer is never released",
          "  if (lock != nullptr) FlutterDesktopMessengerUnlock(lock);\n",
          "  static_cast<void>(lock);\n", tests="messaging_runtime"),
    fault("M32", "messaging", "the reply slot stays armed after the answer: a second answer reaches "
          "the reply, and the slot warns of a leak",
          "  ReplyFunction reply = std::move(reply_);\n  reply_ = nullptr;\n  reply(data, size);",
          "  reply_(data, size);", tests="messaging_runtime"),
    fault("M33", "messaging", "NotImplemented answers a null success instead of an empty reply",
          "void EngineMethodResult::DeliverNotImplemented() { reply_.SendResponseBytes(nullptr); }",
          "void EngineMethodResult::DeliverNotImplemented() { DeliverSuccess(nullptr); }",
          tests="messaging_runtime"),
    fault("M34", "messaging", "the next-frame callback is kept after it ran and runs at every "
          "later frame notice",
          "  std::function<void()> callback = std::move(engine->nextFrameCallback_);\n"
          "  engine->nextFrameCallback_ = nullptr;\n  if (callback) callback();",
          "  if (engine->nextFrameCallback_) engine->nextFrameCallback_();",
          tests="messaging_runtime"),
    fault("M35", "messaging", "the engine wrapper destroys an engine it handed to the view "
          "controller",
          "if (engineHandle_ != nullptr && ownsEngine_) FlutterDesktopEngineDestroy(engineHandle_);",
          "if (engineHandle_ != nullptr) FlutterDesktopEngineDestroy(engineHandle_);",
          tests="messaging_runtime"),
    fault("M36", "messaging", "a window message the runtime did not consume counts as handled "
          "with 0",
          "  if (FlutterDesktopViewControllerHandleTopLevelWindowProc(controllerHandle_, hwnd, "
          "message, wparam,\n                                                           lparam, "
          "&result)) {\n    return result;\n  }\n  return std::nullopt;",
          "  FlutterDesktopViewControllerHandleTopLevelWindowProc(controllerHandle_, hwnd, message, "
          "wparam, lparam,\n                                                       &result);\n"
          "  return result;",
          tests="messaging_runtime|flutter_window"),
    fault("M37", "messaging", "the UI's compiled code is looked for at dataapp.so",
          "aotLibraryPath(base_folder + L\"\\\\app.so\")", "aotLibraryPath(base_folder + L\"app.so\")",
          tests="messaging_runtime|flutter_window|e2e"),

    # channels: the speed line's notation, the speed channel's unknown methods, the VPN
    # channel's "config" argument and its log-size line.
    fault("M38", "channels", "the speed figures are logged without fixed notation (4 for 4.00)",
          "  line << std::fixed << std::setprecision(2)", "  line << std::setprecision(2)",
          tests="network_speed_channel"),
    fault("M39", "channels", "an unknown speed method is answered NotImplemented instead of "
          "INVALID_METHOD",
          "    if (result) {\n      result->Error(\"INVALID_METHOD\", \"Method not implemented: \" + "
          "orvanta::ToValidUtf8(method));\n    }",
          "    if (result) result->NotImplemented();", tests="network_speed_channel"),
    fault("M40", "channels", "a \"config\" entry that is not a string is read as one",
          "  if (text == nullptr) return std::string();\n", "", tests="install|vpn_control_channel"),
    fault("M41", "channels", "getLogs logs the size of the text after moving it into the answer",
          "    Log(\"Returning logs (\" + std::to_string(logs.size()) + \" characters)\");\n"
          "    AnswerLogs(*result, std::move(logs));",
          "    AnswerLogs(*result, std::move(logs));\n"
          "    Log(\"Returning logs (\" + std::to_string(logs.size()) + \" characters)\");",
          tests="install|vpn_control_channel"),
    # A failed connect says why: the core's terminal text made readable (colour codes removed,
    # also where a window starts inside one or a removal joins two), the core's last words, the
    # program on the core's port and the missing-core hint. The portable part builds natively.
    fault("F1", "support", "a colour sequence with several parameters (ESC[1;36m) stays in the "
          "text", "bool IsParameter(char c) { return c >= 0x30 && c <= 0x3F; }",
          "bool IsParameter(char c) { return c >= 0x30 && c <= 0x39; }",
          tree="native", tests="utf8"),
    fault("F2", "support", "an ESC that begins no sequence hides all the text after it",
          "    partials.clear();\n", "", tree="native", tests="utf8"),
    fault("F3", "support", "a removal that joins two halves into a sequence leaves that sequence",
          "        kept = last.start;\n        partials.pop_back();",
          "        kept = last.start;\n        partials.clear();", tree="native", tests="utf8"),
    fault("F4", "support", "a sequence the core is still writing shows at the end of the text",
          "  if (!partials.empty()) kept = partials.front().start;\n", "",
          tree="native", tests="utf8"),
    fault("F5", "support", "a window that starts after the [ of a sequence shows its rest",
          "while (at > 0 && !IsControl(text[at - 1])) --at;",
          "while (at > 0 && IsParameter(text[at - 1])) --at;",
          tree="native", tests="utf8"),
    fault("F6", "support", "sequences are removed before the UTF-8 repair: two halves of a broken "
          "character join into one never written",
          "  std::string readable = ToValidUtf8(text.substr(from));\n  RemoveSequences(readable);",
          "  std::string readable(text.substr(from));\n  RemoveSequences(readable);\n"
          "  readable = ToValidUtf8(readable);", tree="native", tests="utf8"),
    fault("F7", "support", "the last readable line keeps the CR of a CR LF line end",
          "    if (!line.empty() && line.back() == '\\r') line.remove_suffix(1);\n", "",
          tree="native", tests="utf8"),
    fault("F8", "support", "a last line of colour codes only counts as the last readable line",
          "    if (!readable.empty()) {", "    if (!line.empty()) {", tree="native", tests="utf8"),
    fault("F9", "proxy_core", "the core's last words are cut at 256 bytes",
          "kLastWordsMaxBytes = 512;", "kLastWordsMaxBytes = 256;",
          tests="install|proxy_core_service|vpn_control|e2e"),
    fault("F10", "proxy_core", "getLogs looks one byte behind its window: a link the window "
          "cuts into shows its rest", "kLookBehindBytes = orvanta::kMaxTerminalStringBody + 8;",
          "kLookBehindBytes = 1;",
          tests="install|proxy_core_service|vpn_control"),
    fault("F11", "proxy_core", "a core that exits at once is not quoted",
          "  LogCoreLastWords(files.logPath, core.logStart, log);\n  // Nothing else",
          "  // Nothing else", tests="install|proxy_core_service|vpn_control|e2e"),
    fault("F12", "proxy_core", "a core that ends by itself is not quoted",
          "  LogCoreLastWords(files_.logPath, coreLogStart_, LogSink());\n  ClearSystemProxy();\n",
          "  ClearSystemProxy();\n", tests="install|proxy_core_service|vpn_control|e2e"),
    fault("F13", "proxy_core", "a missing core gets no hint of the antivirus",
          "    log(\"sing-box.exe is missing: antivirus software may have removed it. Restore it "
          "from \"\n        \"quarantine or reinstall Orvanta.\");\n", "",
          tests="install|proxy_core_service|vpn_control"),
    fault("F14", "proxy_core", "listener addresses are read with their bytes the wrong way round: a holder of "
          "127.0.0.1 goes unnamed",
          "(static_cast<uint32_t>(bytes[0]) << 24) | (static_cast<uint32_t>(bytes[1]) << 16) |\n"
          "         (static_cast<uint32_t>(bytes[2]) << 8) | bytes[3];",
          "(static_cast<uint32_t>(bytes[3]) << 24) | (static_cast<uint32_t>(bytes[2]) << 16) |\n"
          "         (static_cast<uint32_t>(bytes[1]) << 8) | bytes[0];",
          tests="install|proxy_core_service|vpn_control|e2e"),
    fault("F15", "proxy_core", "listener ports are kept in network order: no holder is ever found",
          "static_cast<uint16_t>(((port & 0xFF) << 8) | ((port >> 8) & 0xFF))",
          "static_cast<uint16_t>(port)", tests="install|proxy_core_service|vpn_control|e2e"),
    fault("F16", "proxy_core", "a holder listening on every address (0.0.0.0) goes unnamed",
          "address == MappedIpv4(kLoopback) || address == MappedIpv4(kAnyAddress) ||",
          "address == MappedIpv4(kLoopback) ||", tests="install|proxy_core_service|vpn_control|e2e"),
    fault("F17", "proxy_core", "the port warning names the holder's whole path, not its file name",
          "orvanta::Utf8FromWide(path.substr(path.find_last_of(L\"\\\\/\") + 1))",
          "orvanta::Utf8FromWide(path)", tests="install|proxy_core_service|vpn_control|e2e"),

    # System DLLs from the system folder only; console events through the host's own message; a
    # DPI change keeps a suggested rectangle that fits.
    fault("F18", "support", "system DLLs are loaded by the ordinary search: a copy planted beside "
          "orvanta.exe runs", "::LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)",
          "::LoadLibraryExW(file, nullptr, 0)", tests="install|support_test|e2e"),
    fault("F19", "support", "a DLL that could not be loaded leaves another reason as the last "
          "error", "    ::SetLastError(loadError_);\n", "",
          tests="install|support_test|network_speed"),
    fault("F20", "runner", "the current folder and PATH stay in the search of later loads by name",
          "  ::SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);\n", ""),
    fault("F21", "runner", "a console event posts WM_CLOSE, which the UI runtime sees first, "
          "instead of the host's own message",
          "::PostMessageW(window, message, 0, 0);",
          "::PostMessageW(window, WM_CLOSE, 0, 0);"),
    fault("F22", "runner", "the console handler stays installed after the teardown",
          "  ::SetConsoleCtrlHandler(HandleEvent, FALSE);\n", ""),
    fault("F23", "runner", "Ctrl+C stops the services but leaves the window and the host running",
          "    StopServices();\n    ::DestroyWindow(window);\n    return 0;",
          "    StopServices();\n    return 0;", tests="install|flutter_window|runner_window|e2e"),
    fault("F24", "runner", "Ctrl+C destroys the window before the services stop",
          "    StopServices();\n    ::DestroyWindow(window);\n    return 0;",
          "    ::DestroyWindow(window);\n    StopServices();\n    return 0;",
          tests="install|flutter_window|runner_window|e2e"),
    fault("F25", "runner", "a DPI change moves a suggestion exactly as wide as the work area",
          "  if (suggested.right - suggested.left > work_area.right - work_area.left) {",
          "  if (suggested.right - suggested.left >= work_area.right - work_area.left) {",
          tests="runner_window"),
    fault("F26", "runner", "a DPI change measures the suggested height against the work area's "
          "width", "  if (suggested.bottom - suggested.top > work_area.bottom - work_area.top) {",
          "  if (suggested.bottom - suggested.top > work_area.right - work_area.left) {",
          tests="runner_window"),
    fault("F27", "runner", "a DPI change pulls a suggestion that fits into the work area",
          "placed = PlaceAfterDpiChange(*suggested, *work);",
          "placed = FitInWorkArea(*suggested, *work);", tests="runner_window"),
    fault("F28", "network_speed", "GetIfTable2 is looked for in dwmapi.dll",
          "orvanta::SystemDll::Iphlpapi().Find<decltype(::GetIfTable2)>(\"GetIfTable2\")",
          "orvanta::SystemDll::Dwmapi().Find<decltype(::GetIfTable2)>(\"GetIfTable2\")"),
    fault("F32", "proxy_core", "a ProxyServer that only begins with our address counts as ours "
          "(127.0.0.1:10809;https=other:443, or port 108090)",
          "  return IsText(value, field == &ProxySettings::server ? address : std::wstring(kBypassList));",
          "  if (field == &ProxySettings::server) {\n"
          "    return Text(value).compare(0, address.size(), address) == 0;\n"
          "  }\n"
          "  return IsText(value, std::wstring(kBypassList));"),
    fault("F33", "proxy_core", "another program's change is reported as a change to our own "
          "address, not to the server it set",
          "orvanta::Utf8FromWide(inEffect)",
          "address_"),
    fault("F34", "proxy_core", "the watch judges the server alone: the proxy turned off (or the "
          "bypass list changed) with our server kept goes unreported",
          "  if (!IsOurProxy(plain, address_)) {",
          "  if (ProxyServerText(plain) != address_) {",
          also=[("  if (lanIsOurs && ReadConnection(std::wstring(), settings) == ERROR_SUCCESS &&\n"
                 "      !IsOurConnection(settings, address_)) {",
                 "  if (lanIsOurs && ReadConnection(std::wstring(), settings) == ERROR_SUCCESS &&\n"
                 "      settings.server != address_) {")]),
    fault("F36", "runner", "a second start says the opposite of what happened: a raised window "
          "is reported as none, and none as raised",
          "std::fputs(raised ? ", "std::fputs(!raised ? ", tests="install|runner|e2e"),
    fault("F37", "runner", "a second start writes its line to standard output",
          "             stderr);\n  std::fflush(stderr);",
          "             stdout);\n  std::fflush(stdout);", tests="install|runner|e2e"),
    fault("F38", "runner", "a redirected standard error counts as missing: the line goes to the "
          "parent's console instead of where it was redirected",
          "(error == nullptr || error == INVALID_HANDLE_VALUE) &&",
          "(error == nullptr || error != INVALID_HANDLE_VALUE) &&", tests="install|runner|e2e"),

    # The host on real Windows: system DLLs loaded by their full path at the very start, the end
    # message registered by name, console events by who owns the console, the window after a DPI
    # change and the size answered before it, and the speed line in the classic locale.
    fault("H1", "runner", "the start loads wininet.dll only when the proxy is first set: a "
          "plug-in's load by name before then can take a copy beside orvanta.exe",
          "  Rasapi32();\n  Wininet();\n}", "  Rasapi32();\n}", source="support"),
    fault("H2", "runner", "the entry loads no system DLL up front: each is loaded on first use, "
          "after the UI runtime and its plug-ins have run",
          "  orvanta::SystemDll::LoadAll();\n", ""),
    fault("H3", "support", "the system folder and the DLL name are joined without a separator: "
          "no system DLL loads", "return std::wstring(folder.data(), length) + L\"\\\\\" + relative;",
          "return std::wstring(folder.data(), length) + relative;"),
    fault("H4", "runner", "Ctrl+C ends the host in the parent's console and is swallowed in "
          "its own", "      response.endHost = owner == ConsoleOwner::kHost;",
          "      response.endHost = owner != ConsoleOwner::kHost;"),
    fault("H5", "runner", "the console opened under a debugger counts as the parent's: Ctrl+C "
          "there is swallowed", "    owner = ConsoleOwner::kHost;\n", ""),
    fault("H6", "runner", "Ctrl+Break is passed on: the system's default handling ends the host "
          "without its teardown", "    case CTRL_BREAK_EVENT:\n", ""),
    fault("H7", "runner", "a closing console's handler returns at once: the process ends before "
          "the teardown", "      response.waitForTeardown = true;\n", ""),
    fault("H8", "runner", "the end of the teardown is never signalled: a closing console's "
          "handler always waits the whole 4 s", "  ::SetEvent(tornDown_.Get());\n", ""),
    fault("H9", "runner", "a closing console does not end the host: the handler only waits",
          "    case CTRL_CLOSE_EVENT:\n      response.endHost = true;",
          "    case CTRL_CLOSE_EVENT:\n      response.endHost = false;"),
    fault("H10", "runner", "the end message is WM_APP + 1, which a plug-in may post to the same "
          "window for its own purposes",
          "static const UINT message = ::RegisterWindowMessageW(L\"Orvanta.Host.EndHost\");",
          "static const UINT message = WM_APP + 1;",
          tests="install|flutter_window|runner|e2e"),
    fault("H11", "runner", "a DPI change to a window too wide keeps the suggested left edge",
          "    placed.left = work_area.left;\n", "", tests="runner_window"),
    fault("H12", "runner", "a DPI change with an empty work area makes the window empty",
          "  if (work_area.right <= work_area.left || work_area.bottom <= work_area.top) {\n"
          "    return suggested;\n  }\n", "", tests="runner_window"),
    fault("H13", "runner", "the size answered for a new DPI has width and height swapped",
          "return SIZE{scaled.right, scaled.bottom};", "return SIZE{scaled.bottom, scaled.right};",
          tests="runner_window"),
    fault("H14", "runner", "WM_GETDPISCALEDSIZE answers FALSE: the system scales the current, "
          "perhaps shrunk, size",
          "      return TRUE;\n    }\n\n    case WM_DPICHANGED",
          "      return FALSE;\n    }\n\n    case WM_DPICHANGED", tests="runner_window"),
    fault("H15", "runner", "the design size is not kept: a DPI change asks for a window of 0 x 0",
          "  designSize_ = size;\n", "", tests="runner_window"),
    # H16 survives under Wine, which has one monitor: the window's monitor and the suggestion's
    # are always the same there.
    fault("H16", "runner", "a DPI change fits the window into the work area of the monitor it "
          "leaves, not of the one it moves to",
          "WorkArea(::MonitorFromRect(suggested, MONITOR_DEFAULTTONEAREST))",
          "WorkArea(::MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST))",
          tests="runner_window"),
    fault("H17", "channels", "the speed line follows the global locale (a decimal comma)",
          "  line.imbue(std::locale::classic());\n", "", tests="network_speed_channel"),

    # Terminal text (portable, native tree) and the core's port and last words.
    fault("T1", "support", "a string body of exactly the bound counts as too long",
          "length - 2 > kMaxTerminalStringBody", "length - 1 > kMaxTerminalStringBody",
          tree="native", tests="utf8"),
    fault("T2", "support", "BEL does not end a string: a BEL-ended title stays in the text",
          "      if (c == kBell) return Step::kComplete;\n", "", tree="native", tests="utf8"),
    fault("T3", "support", "ESC \\ is never taken as the end of a string: an ST-ended link "
          "stays in the text", "partials[partials.size() - 2].state == State::kString",
          "partials.back().state == State::kString", tree="native", tests="utf8"),
    fault("T4", "support", "two-byte forms end only at 0x40: ESC 7 and ESC = leave a byte",
          "bool IsEscapeFinal(char c) { return c >= 0x30 && c <= 0x7E; }",
          "bool IsEscapeFinal(char c) { return c >= 0x40 && c <= 0x7E; }",
          tree="native", tests="utf8"),
    fault("T5", "support", "a line end inside a string is taken as body: a string that never "
          "ends hides the lines after it",
          "return IsControl(c) || length - 2 > kMaxTerminalStringBody",
          "return length - 2 > kMaxTerminalStringBody", tree="native", tests="utf8"),
    fault("T6", "support", "an ESC that begins no sequence stays in the text",
          "  text.erase(std::remove(text.begin(), text.end(), kEscape), text.end());\n", "",
          tree="native", tests="utf8"),
    fault("T7", "support", "a window that starts between the two bytes of an ST shows its "
          "backslash", "    start = EscapeBefore(text, start);\n", "",
          tree="native", tests="utf8"),
    fault("T8", "support", "a sequence that ended before the window pulls the text after it "
          "into the window", "      return end > from ? end - from : 0;",
          "      return end - from;", tree="native", tests="utf8"),
    fault("T9", "support", "a CSI sequence with intermediate bytes after its parameters "
          "(ESC[1 q) stays", "      [[fallthrough]];",
          "      return IsFinal(c) ? Step::kComplete : Step::kNone;",
          tree="native", tests="utf8"),
    fault("T10", "support", "the last readable line is cut inside a character",
          "readable.resize(Utf8PrefixLength(readable, maxBytes));",
          "readable.resize(std::min(readable.size(), maxBytes));", tree="native", tests="utf8"),
    fault("T11", "support", "a window that starts inside a sequence still being written shows "
          "its rest", "    case Sequence::kIncomplete:\n      return text.size() - from;",
          "    case Sequence::kIncomplete:\n      return 0;", tree="native", tests="utf8"),
    fault("T12", "proxy_core", "a holder listening on [::] goes unnamed",
          "address == kIpv6Any || address == kIpv6Loopback;", "address == kIpv6Loopback;",
          tests="install|proxy_core_service|vpn_control|e2e"),
    fault("T13", "proxy_core", "a holder listening on [::1] goes unnamed",
          "address == kIpv6Any || address == kIpv6Loopback;", "address == kIpv6Any;",
          tests="install|proxy_core_service|vpn_control|e2e"),
    fault("T14", "proxy_core", "IPv4 addresses are kept in the IPv4-compatible form ::a.b.c.d: "
          "an IPv6 socket bound to ::ffff:127.0.0.1 goes unnamed",
          "  mapped[10] = 0xFF;\n  mapped[11] = 0xFF;\n", "",
          tests="install|proxy_core_service|vpn_control|e2e"),
    fault("T15", "proxy_core", "IPv6 listener ports are kept in network order",
          "      listener.port = HostOrderPort(row.dwLocalPort);",
          "      listener.port = static_cast<uint16_t>(row.dwLocalPort);",
          tests="install|proxy_core_service|vpn_control|e2e"),
    fault("T16", "proxy_core", "a holder that cannot be named is called another thing",
          "return prefix + \"another program\";", "return prefix + \"an unknown program\";",
          tests="install|proxy_core_service|vpn_control|e2e"),
    fault("T17", "proxy_core", "the core's last words may be an earlier launch's line",
          "std::max(launchStart, size - kLastWordsWindowBytes)",
          "std::max(0LL, size - kLastWordsWindowBytes)",
          tests="install|proxy_core_service|vpn_control|e2e"),
    fault("T18", "proxy_core", "the core log section looks for its first line start at the "
          "window's file offset instead of in the bytes read",
          "bytes.find('\\n', static_cast<size_t>(window - start - 1))",
          "bytes.find('\\n', static_cast<size_t>(window - 1))",
          tests="install|proxy_core_service|vpn_control"),

    # proxy_core: the proxy in every view. The plain values and each connection's settings (the
    # LAN and every phonebook entry) are set, saved, judged view by view and put back; the
    # policy that makes the proxy per machine; the watch over the whole Internet Settings tree.
    # Only the real WinINet refuses the user-chosen flags as older systems do: X19 is caught by
    # e2e_wine10_py alone, which is skipped until scripts/wine10.sh setup has made its chroot.
    fault("X1", "proxy_core", "a set runs where a policy makes the proxy per machine",
          "  if (ProxyIsSetPerMachineByPolicy()) {", "  if (false) {"),
    fault("X2", "proxy_core", "the policy is looked for outside the Policies key: a per-machine "
          "policy goes unseen",
          "    L\"SOFTWARE\\\\Policies\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Internet Settings\";",
          "    L\"SOFTWARE\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Internet Settings\";"),
    fault("X3", "proxy_core", "the phonebook is looked for in rasapi.dll: no entry is ever listed "
          "and every set warns", "new SystemDll(L\"rasapi32.dll\")",
          "new SystemDll(L\"rasapi.dll\")", source="support"),
    fault("X4", "proxy_core", "the last phonebook entry listed is left out",
          "for (DWORD i = 0; i < count && i < entries.size(); ++i) {",
          "for (DWORD i = 0; i + 1 < count && i < entries.size(); ++i) {"),
    fault("X5", "proxy_core", "the phonebook is asked once with room for one entry: with two or "
          "more, only the LAN gets the proxy", "kListAttempts = 3;", "kListAttempts = 1;"),
    fault("X6", "proxy_core", "a profile that had no stored connection value keeps the one the "
          "set created",
          "    if (error == ERROR_SUCCESS && before != nullptr && !before->stored) {\n"
          "      error = DeleteStoredConnection(connection.name);\n"
          "    }\n", ""),
    fault("X7", "proxy_core", "deleting a stored connection value that is already gone counts "
          "as a refused restore",
          "  return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : static_cast<DWORD>(status);",
          "  return static_cast<DWORD>(status);"),
    fault("X8", "proxy_core", "the plain values are put back before the connections: WinINet's "
          "writes of the LAN settings overwrite them",
          "  for (size_t i = 0; i < judgement.now.connections.size(); ++i) {\n"
          "    if (judgement.connections[i] != Holds::kOurs) continue;",
          "  const DWORD plainFirst =\n"
          "      plainOurs && saved != nullptr ? WriteProxySettings(saved->plain) : ERROR_SUCCESS;\n"
          "  for (size_t i = 0; i < judgement.now.connections.size(); ++i) {\n"
          "    if (judgement.connections[i] != Holds::kOurs) continue;",
          also=[("  const DWORD plainError = writePlainValues();",
                 "  const DWORD plainError = plainFirst;")]),
    fault("X9", "proxy_core", "a command cut short stops one value early: the clear's three "
          "values after a refused restore no longer count as ours",
          "for (size_t cut = 0; cut <= 3; ++cut) {", "for (size_t cut = 0; cut < 3; ++cut) {"),
    fault("X10", "proxy_core", "a command cut short is taken to write its values last first",
          "fits = index < cut ? written(index) : asBefore(index);",
          "fits = index < cut ? asBefore(index) : written(index);"),
    fault("X11", "proxy_core", "the record's cleared mark is not applied to the plain values: "
          "a retried restore leaves them as the clear command left them",
          "CutShort(plain, judgement.saved.plain, record == ProxyRecordState::kCleared, address)",
          "CutShort(plain, judgement.saved.plain, false, address)"),
    fault("X12", "proxy_core", "a connection the user turned to direct while connected counts "
          "as ours and gets the saved settings back",
          "(saved != nullptr && record == ProxyRecordState::kCleared &&",
          "(saved != nullptr &&"),
    fault("X13", "proxy_core", "a refused restore is not tried again at the host's end",
          "  if (systemProxy_.RestorePending()) ClearSystemProxy();\n", ""),
    fault("X14", "proxy_core", "a saved file of an earlier version (plain values only) no "
          "longer parses",
          "  snapshot.connections.clear();\n  while (at < text.size()) {",
          "  snapshot.connections.clear();\n  if (at >= text.size()) return false;\n"
          "  while (at < text.size()) {"),
    fault("X15", "proxy_core", "a saved connection's stored mark is read inverted",
          "connection.stored = fields[6] == \"stored\";",
          "connection.stored = fields[6] == \"none\";"),
    fault("X16", "proxy_core", "an empty text is saved as nothing instead of \"-\": the LAN's "
          "empty name makes every saved file unreadable",
          "  if (text.empty()) return \"-\";\n", ""),
    fault("X17", "proxy_core", "a connection with a script or detection beside our server "
          "counts as ours",
          "return (settings.flags & kProxyKinds) == PROXY_TYPE_PROXY && settings.server == address",
          "return (settings.flags & PROXY_TYPE_PROXY) != 0 && settings.server == address"),
    fault("X18", "proxy_core", "a connection is described by its manual server before the "
          "detection that wins over it",
          "  if ((settings.flags & PROXY_TYPE_AUTO_DETECT) != 0) return L\"automatic detection\";\n",
          "",
          also=[("  if ((settings.flags & PROXY_TYPE_PROXY) != 0) return settings.server;\n",
                 "  if ((settings.flags & PROXY_TYPE_PROXY) != 0) return settings.server;\n"
                 "  if ((settings.flags & PROXY_TYPE_AUTO_DETECT) != 0) return L\"automatic detection\";\n")]),
    fault("X19", "proxy_core", "the fallback from the user-chosen flags waits for the wrong "
          "error: where they are refused, no connection can be read",
          "if (error == ERROR_INVALID_PARAMETER || (error == ERROR_SUCCESS && read.flags == 0)) {",
          "if (error == ERROR_INVALID_FUNCTION || (error == ERROR_SUCCESS && read.flags == 0)) {"),
    fault("X20", "proxy_core", "the watch covers the Internet Settings key alone: a change of "
          "the LAN settings in its Connections key goes unreported",
          "key.Get(), TRUE, REG_NOTIFY_CHANGE_LAST_SET", "key.Get(), FALSE, REG_NOTIFY_CHANGE_LAST_SET"),
    fault("X21", "proxy_core", "a set whose LAN settings are not ours afterwards still succeeds",
          "  if (!IsOurConnection(lan, orvanta::WideFromUtf8(address))) {", "  if (false) {"),
    fault("X22", "proxy_core", "a set also writes the script's address: the user's configuration "
          "script is cleared while connected",
          "const DWORD error = WriteConnection(name, ours, false);",
          "const DWORD error = WriteConnection(name, ours, true);"),
    fault("X23", "proxy_core", "a small file whose write failed leaves its partial copy behind",
          "      file.Reset();\n      DeleteFileW(partial.c_str());", "      file.Reset();"),
    # proxy_core: the command runner, the change watch and the per-view save
    # M1-M41 are the messaging and channels faults; these continue at M42.
    fault("M42", "proxy_core", "every command gains a -NoProfile switch: the command text "
          "differs from the one PowerShell is meant to get",
          "kPrefix[] = \"powershell.exe -Command \\\"\";",
          "kPrefix[] = \"powershell.exe -NoProfile -Command \\\"\";",
          tests="install|proxy_core_service|vpn_control"),
    fault("M43", "proxy_core", "the set command loses the separator after ProxyServer: its "
          "second and third statements run together",
          "address + \"'; \" + kPropertyCommand",
          "address + \"' \" + kPropertyCommand",
          tests="install|proxy_core_service|vpn_control"),
    fault("M44", "proxy_core", "the clear command's script is never closed by its quote",
          "\"-Name ProxyOverride -Value ''\\\"\";",
          "\"-Name ProxyOverride -Value ''\";",
          tests="install|proxy_core_service|vpn_control"),
    fault("M45", "proxy_core", "the system folder's PowerShell is taken from System32 itself, "
          "not from WindowsPowerShell\\v1.0",
          "SystemFolderPath(L\"WindowsPowerShell\\\\v1.0\\\\powershell.exe\")",
          "SystemFolderPath(L\"powershell.exe\")",
          tests="install|proxy_core_service|vpn_control"),
    fault("M46", "proxy_core", "the lifetimes are swapped in the runner: a set outlives the host "
          "and a clear ends with it",
          "if (lifetime == Lifetime::kEndsWithHost) options.killOnCloseJob = &job_;",
          "if (lifetime != Lifetime::kEndsWithHost) options.killOnCloseJob = &job_;",
          tests="install|proxy_core_service|vpn_control"),
    fault("M47", "proxy_core", "an unknown PowerShell path is not refused: the command search "
          "starts whatever powershell.exe it finds",
          "  if (options.application.empty()) {\n    outcome.startError = ERROR_FILE_NOT_FOUND;",
          "  if (false) {\n    outcome.startError = ERROR_FILE_NOT_FOUND;",
          tests="install|proxy_core_service|vpn_control"),
    fault("M48", "proxy_core", "the set is recorded before PowerShell is started: a command "
          "that never started leaves a record behind",
          "    return outcome;\n  }\n  orvanta::LaunchResult launched = orvanta::LaunchProcess(options);",
          "    return outcome;\n  }\n  if (onStarted) onStarted();\n"
          "  orvanta::LaunchResult launched = orvanta::LaunchProcess(options);",
          also=[("  outcome.started = true;\n  if (onStarted) onStarted();\n",
                 "  outcome.started = true;\n")],
          tests="install|proxy_core_service|vpn_control"),
    fault("M49", "proxy_core", "the set is recorded only once PowerShell has ended: a set that "
          "outlives its wait leaves no record",
          "  outcome.started = true;\n  if (onStarted) onStarted();\n",
          "  outcome.started = true;\n",
          also=[("  // An unreadable exit code counts as still running",
                 "  if (onStarted) onStarted();\n"
                 "  // An unreadable exit code counts as still running")],
          tests="install|proxy_core_service|vpn_control"),
    fault("M50", "proxy_core", "a command that outlived its wait reports exit code 0: a hung "
          "set or clear counts as done",
          "    pending_ = std::move(launched.handles.process);\n    return outcome;",
          "    pending_ = std::move(launched.handles.process);\n    outcome.exitCode = 0;\n"
          "    return outcome;",
          tests="install|proxy_core_service|vpn_control"),
    fault("M51", "proxy_core", "a new command does not end the one still running from before: "
          "a hung clear can land after the next set",
          "  EndPending();\n  Outcome outcome;", "  Outcome outcome;",
          tests="install|proxy_core_service|vpn_control"),
    fault("M52", "proxy_core", "the watch does not read the values once it is armed: a change "
          "made right after our writes goes unreported",
          "  ResetEvent(event_.Get());\n  if (Arm()) Check();",
          "  ResetEvent(event_.Get());\n  Arm();",
          tests="install|proxy_core_service|vpn_control"),
    fault("M53", "proxy_core", "the watch's key stays open after the watch stops",
          "  wait_.Cancel();\n  key_.Reset();", "  wait_.Cancel();",
          tests="install|proxy_core|vpn_control"),
    fault("M54", "proxy_core", "a LAN no longer ours is described by its manual server: a "
          "script or detection is reported as our server or as the proxy turned off",
          "    return Warning(\"the system proxy\", DescribeConnection(settings), \"traffic\");",
          "    return Warning(\"the system proxy\", settings.server, \"traffic\");",
          tests="install|proxy_core_service|vpn_control"),
    fault("M55", "proxy_core", "the plain values are judged even when the LAN is no longer ours: "
          "their shadow replaces the LAN's description",
          "    return Warning(\"the system proxy\", DescribeConnection(settings), \"traffic\");",
          "    ProxySettings shadow;\n"
          "    if (ReadProxySettings(shadow) == ERROR_SUCCESS && !IsOurProxy(shadow, address_)) {\n"
          "      return Warning(\"the system proxy\",\n"
          "                     IsProxyEnabled(shadow) ? ProxyServerText(shadow) : L\"\", \"traffic\");\n"
          "    }\n"
          "    return Warning(\"the system proxy\", DescribeConnection(settings), \"traffic\");",
          tests="install|proxy_core_service|vpn_control"),
    fault("M56", "proxy_core", "the warning of another program's proxy names another ending",
          "traffic + \" may bypass sing-box\";",
          "traffic + \" may bypass the core\";",
          tests="install|proxy_core_service|vpn_control"),
    fault("M57", "proxy_core", "the watch never judges the LAN: another program's change of "
          "the LAN settings alone goes unreported",
          "std::find(connections_.begin(), connections_.end(), std::wstring()) != connections_.end();",
          "std::find(connections_.begin(), connections_.end(), std::wstring()) == connections_.end() &&\n"
          "      false;",
          tests="install|proxy_core_service|vpn_control"),
    fault("M58", "proxy_core", "a view keeps its saved settings at the next set though it no "
          "longer holds ours: the user's choice made since is lost",
          "if (now.connections[i].name == name && connections[i] == Holds::kOurs) {",
          "if (now.connections[i].name == name) {",
          tests="install|proxy_core_service|vpn_control"),
    fault("M59", "proxy_core", "a view that still holds ours saves what it holds now (ours) "
          "instead of what was saved for it",
          "        return Find(saved.connections, name);",
          "        return Find(now.connections, name);",
          tests="install|proxy_core_service|vpn_control"),
    fault("M60", "proxy_core", "every connection is saved as keeping a value of its own: one "
          "that had none keeps the value the set created",
          "      Connection connection{name, ConnectionSettings(), HasStoredConnection(name)};",
          "      Connection connection{name, ConnectionSettings(), true};",
          tests="install|proxy_core_service|vpn_control"),
    fault("M61", "proxy_core", "ours left from an earlier set is saved as the user's "
          "connection settings",
          "        if (!IsOurConnection(connection.settings, address)) {\n"
          "          owed.connections.push_back(std::move(connection));\n"
          "        }\n",
          "        static_cast<void>(address);\n"
          "        owed.connections.push_back(std::move(connection));\n",
          tests="install|proxy_core_service|vpn_control"),
    fault("M62", "proxy_core", "the LAN is read back after the notices: a program that reacts "
          "to them at once makes a set that worked fail",
          "  const DWORD readError = ReadConnection(std::wstring(), lan);\n"
          "  changeWatch_.Start(taken);\n  TellRunningPrograms();\n",
          "  changeWatch_.Start(taken);\n  TellRunningPrograms();\n"
          "  const DWORD readError = ReadConnection(std::wstring(), lan);\n",
          tests="install|proxy_core_service|vpn_control"),
    fault("M63", "proxy_core", "a set that outlived its wait gets ProxyEnable put back: when it "
          "lands, PowerShell writes it as text, which WinINet takes as off",
          "if (!outcome.started || (outcome.exitCode != 0 && outcome.exitCode != STILL_ACTIVE)) {",
          "if (!outcome.started || outcome.exitCode != 0) {",
          tests="install|proxy_core_service|vpn_control"),
    # proxy_core: the record unit and the watch of every entry
    fault("E1", "proxy_core", "the cleared mark is written on the address's line: a cleared "
          "record reads back as a set",
          'address + "\\n" + (state == ProxyRecordState::kCleared ? kClearedMark : "")',
          'address + (state == ProxyRecordState::kCleared ? kClearedMark : "\\n")',
          tests="install|proxy_core_service|vpn_control"),
    fault("E2", "proxy_core", "the record's states are written swapped: a set leaves \"cleared\", "
          "a refused restore leaves a plain set",
          "(state == ProxyRecordState::kCleared ? kClearedMark",
          "(state == ProxyRecordState::kSet ? kClearedMark",
          tests="install|proxy_core_service|vpn_control"),
    fault("E3", "proxy_core", "ForgetProxySet deletes the record alone: the saved settings are "
          "left behind",
          "  DeleteFileW(SavedProxySettingsPath().c_str());\n  DeleteFileW(ProxyRecordPath().c_str());",
          "  DeleteFileW(ProxyRecordPath().c_str());",
          tests="install|proxy_core_service|vpn_control"),
    fault("E4", "proxy_core", "ForgetProxySet deletes the saved settings alone: the record is "
          "left behind",
          "  DeleteFileW(SavedProxySettingsPath().c_str());\n  DeleteFileW(ProxyRecordPath().c_str());",
          "  DeleteFileW(SavedProxySettingsPath().c_str());",
          tests="install|proxy_core_service|vpn_control"),
    fault("E5", "proxy_core", "the record's bound fits the longest address line alone: a cleared "
          "record cannot be read and counts as none",
          "constexpr DWORD kMaxRecordBytes = 64;", "constexpr DWORD kMaxRecordBytes = 22;",
          tests="install|proxy_core_service|vpn_control"),
    fault("E6", "proxy_core", "the watch judges the LAN only when the set did not reach it",
          "std::find(connections_.begin(), connections_.end(), std::wstring()) != connections_.end();",
          "std::find(connections_.begin(), connections_.end(), std::wstring()) == connections_.end();",
          tests="install|proxy_core_service|vpn_control"),
    fault("E7", "proxy_core", "the watch judges the plain values before the LAN: a script chosen "
          "on the settings page is reported as the proxy turned off",
          "  ConnectionSettings settings;\n"
          "  if (lanIsOurs && ReadConnection(std::wstring(), settings) == ERROR_SUCCESS &&\n"
          "      !IsOurConnection(settings, address_)) {\n"
          "    return Warning(\"the system proxy\", DescribeConnection(settings), \"traffic\");\n"
          "  }\n"
          "  ProxySettings plain;\n"
          "  if (ReadProxySettings(plain) != ERROR_SUCCESS) return std::nullopt;\n"
          "  if (!IsOurProxy(plain, address_)) {\n"
          "    return Warning(\"the system proxy\", IsProxyEnabled(plain) ? ProxyServerText(plain) : L\"\",\n"
          "                   \"traffic\");\n"
          "  }\n",
          "  ProxySettings plain;\n"
          "  if (ReadProxySettings(plain) != ERROR_SUCCESS) return std::nullopt;\n"
          "  if (!IsOurProxy(plain, address_)) {\n"
          "    return Warning(\"the system proxy\", IsProxyEnabled(plain) ? ProxyServerText(plain) : L\"\",\n"
          "                   \"traffic\");\n"
          "  }\n"
          "  ConnectionSettings settings;\n"
          "  if (lanIsOurs && ReadConnection(std::wstring(), settings) == ERROR_SUCCESS &&\n"
          "      !IsOurConnection(settings, address_)) {\n"
          "    return Warning(\"the system proxy\", DescribeConnection(settings), \"traffic\");\n"
          "  }\n",
          tests="install|proxy_core_service|vpn_control"),
    fault("E8", "proxy_core", "plain values that cannot be read are reported as the proxy turned "
          "off",
          "  if (ReadProxySettings(plain) != ERROR_SUCCESS) return std::nullopt;",
          "  if (ReadProxySettings(plain) != ERROR_SUCCESS) return Warning(\"the system proxy\", L\"\", \"traffic\");",
          tests="install|proxy_core_service|vpn_control"),
    fault("E9", "proxy_core", "the last entry the set reached is never judged",
          "  for (const std::wstring& name : connections_) {\n"
          "    if (!name.empty() && ReadConnection(name, settings) == ERROR_SUCCESS &&",
          "  for (size_t i = 0; i + 1 < connections_.size(); ++i) {\n"
          "    const std::wstring& name = connections_[i];\n"
          "    if (!name.empty() && ReadConnection(name, settings) == ERROR_SUCCESS &&",
          tests="install|proxy_core_service|vpn_control"),
    fault("E10", "proxy_core", "an entry's warning says \"traffic\" where it says \"traffic over it\"",
          "ConnectionLabel(name), DescribeConnection(settings),\n                     \"traffic over it\");",
          "ConnectionLabel(name), DescribeConnection(settings),\n                     \"traffic\");",
          tests="install|proxy_core_service|vpn_control"),
    fault("E11", "proxy_core", "an entry is described by its server: one turned direct with our "
          "server kept is reported as changed to ours",
          "ConnectionLabel(name), DescribeConnection(settings),",
          "ConnectionLabel(name), settings.server,",
          tests="install|proxy_core_service|vpn_control"),
    fault("E12", "proxy_core", "a watch that cannot read the plain values re-arms the report: the "
          "same departure is reported again",
          "  if (!departure) return;\n  if (departure->empty()) {",
          "  if (!departure || departure->empty()) {",
          tests="install|proxy_core_service|vpn_control"),
    fault("E13", "proxy_core", "the watch is told of the LAN alone, as before entries counted",
          "      taken.push_back(name);", "      if (name.empty()) taken.push_back(name);",
          tests="install|proxy_core_service|vpn_control"),
    fault("E14", "proxy_core", "an entry that refused our settings is still handed to the watch",
          "    } else {\n      taken.push_back(name);\n    }",
          "    }\n    taken.push_back(name);",
          tests="install|proxy_core_service|vpn_control"),
]
