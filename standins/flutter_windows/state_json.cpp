// What "standin/state" answers: the JSON picture of the window, the view and everything the
// host has handed the runtime.
#include <cstdio>
#include <string>

#include "standins/flutter_windows/ui_bridge.h"

namespace standin {

namespace {

std::string Quote(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof(escaped), "\\u%04x", c);
          out += escaped;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

std::string Quote(const std::wstring& text) { return Quote(ToUtf8(text)); }

std::string Number(long long value) { return std::to_string(value); }

std::string WindowJson(HWND view) {
  if (view == nullptr) return "null";
  HWND top = GetAncestor(view, GA_ROOT);
  if (top == nullptr) return "null";
  wchar_t class_name[256] = {};
  GetClassNameW(top, class_name, 256);
  int title_length = GetWindowTextLengthW(top);
  std::wstring title(static_cast<size_t>(title_length) + 1, L'\0');
  title.resize(static_cast<size_t>(GetWindowTextW(top, &title[0], title_length + 1)));
  RECT rect = {};
  GetWindowRect(top, &rect);
  return std::string("{\"class\":") + Quote(std::wstring(class_name)) +
         ",\"title\":" + Quote(title) +
         ",\"visible\":" + (IsWindowVisible(top) ? "true" : "false") +
         ",\"x\":" + Number(rect.left) + ",\"y\":" + Number(rect.top) +
         ",\"width\":" + Number(rect.right - rect.left) +
         ",\"height\":" + Number(rect.bottom - rect.top) + "}";
}

// Milliseconds since system start at which this process was created, on the same clock as
// GetTickCount64, so start-up can be measured against first_frame_ms.
std::string ProcessStartMs() {
  FILETIME created, exited, kernel, user, now;
  if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return "null";
  GetSystemTimeAsFileTime(&now);
  ULONGLONG tick = GetTickCount64();
  auto to_u64 = [](const FILETIME& time) {
    return static_cast<unsigned long long>(time.dwHighDateTime) << 32 | time.dwLowDateTime;
  };
  unsigned long long age_ms = (to_u64(now) - to_u64(created)) / 10000u;
  if (age_ms > tick) return "null";
  return Number(static_cast<long long>(tick - age_ms));
}

}  // namespace

std::string DescribeState() {
  Runtime& runtime = TheRuntime();
  HWND view = nullptr;
  int requested_width = 0;
  int requested_height = 0;
  FlutterDesktopEngine* engine = nullptr;
  {
    std::lock_guard<std::mutex> guard(runtime.mutex);
    if (runtime.currentController != nullptr) {
      view = runtime.currentController->view.hwnd;
      requested_width = runtime.currentController->requestedWidth;
      requested_height = runtime.currentController->requestedHeight;
    }
    engine = runtime.currentEngine;
  }
  // Window calls may send messages to other threads; made before the lock is taken.
  std::string json = "{\"window\":" + WindowJson(view);
  if (view != nullptr) {
    RECT client = {};
    GetClientRect(view, &client);
    json += ",\"view\":{\"width\":" + Number(client.right) +
            ",\"height\":" + Number(client.bottom) +
            ",\"requested_width\":" + Number(requested_width) +
            ",\"requested_height\":" + Number(requested_height) + "}";
  } else {
    json += ",\"view\":null";
  }

  std::string channels = "[";
  if (engine != nullptr && engine->messenger != nullptr) {
    std::lock_guard<std::recursive_mutex> guard(engine->messenger->lock);
    bool first = true;
    for (const auto& entry : engine->messenger->callbacks) {  // std::map: already sorted
      channels += (first ? "" : ",") + Quote(entry.first);
      first = false;
    }
  }
  channels += "]";

  std::lock_guard<std::mutex> guard(runtime.mutex);
  if (runtime.properties) {
    const RecordedProperties& p = *runtime.properties;
    std::string arguments = "[";
    for (size_t i = 0; i < p.arguments.size(); ++i) {
      arguments += (i == 0 ? "" : ",") + Quote(p.arguments[i]);
    }
    arguments += "]";
    json += ",\"engine\":{\"assets_path\":" + Quote(p.assetsPath) +
            ",\"icu_data_path\":" + Quote(p.icuDataPath) +
            ",\"aot_library_path\":" + Quote(p.aotLibraryPath) +
            ",\"entrypoint\":" + Quote(p.entrypoint) + ",\"arguments\":" + arguments +
            ",\"argc\":" + Number(p.argc) + ",\"argv_null\":" + (p.argvNull ? "true" : "false") +
            ",\"extra_option1\":" + Number(p.extraOption1) +
            ",\"extra_option2\":" + Number(p.extraOption2) + "}";
  } else {
    json += ",\"engine\":null";
  }
  json += ",\"registrars\":[";
  for (size_t i = 0; i < runtime.registrarRequests.size(); ++i) {
    json += std::string(i == 0 ? "" : ",") +
            "{\"name\":" + Quote(runtime.registrarRequests[i].first) +
            ",\"handle\":" + std::to_string(runtime.registrarRequests[i].second) + "}";
  }
  json += "],\"plugin_registrations\":[";
  for (size_t i = 0; i < runtime.pluginRegistrations.size(); ++i) {
    json += std::string(i == 0 ? "" : ",") +
            "{\"library\":" + Quote(runtime.pluginRegistrations[i].library) +
            ",\"registrar\":" + std::to_string(runtime.pluginRegistrations[i].registrar) +
            ",\"apartment\":" + Quote(runtime.pluginRegistrations[i].apartment) + "}";
  }
  json += "],\"channels\":" + channels;
  json += ",\"messenger_refs\":" + Number(runtime.messengerReferences.load());
  json += ",\"messenger_locks_held\":" + Number(runtime.messengerLocksHeld.load());
  json += ",\"next_frame_callbacks\":" + Number(runtime.nextFrameCallbacks);
  json += ",\"font_reloads\":" + Number(runtime.fontReloads);
  json += ",\"dpi\":" + (runtime.lastDpi ? Number(*runtime.lastDpi) : std::string("null"));
  json += ",\"first_frame_ms\":" + (runtime.firstFrameMs
                                        ? Number(static_cast<long long>(*runtime.firstFrameMs))
                                        : std::string("null"));
  json += ",\"process_start_ms\":" + ProcessStartMs();
  json += ",\"engines_created\":" + Number(runtime.enginesCreated);
  json += ",\"engines_ended\":" + Number(runtime.enginesEnded);
  json += ",\"engine_destroy_calls\":" + Number(runtime.engineDestroyCalls);
  json += ",\"controllers_created\":" + Number(runtime.controllersCreated);
  json += ",\"controllers_destroyed\":" + Number(runtime.controllersDestroyed);
  json += ",\"responses_sent\":" + Number(runtime.responsesSent);
  json += ",\"responses_refused\":" + Number(runtime.responsesRefused);
  json += ",\"pending_responses\":" + Number(static_cast<long long>(runtime.pending.size()));
  json += ",\"output_resyncs\":" + Number(runtime.outputResyncs);
  json += "}";
  return json;
}

}  // namespace standin
