#include "standins/flutter_windows/standin_runtime.h"

#include <utility>

namespace standin {

namespace {
constexpr size_t kPanelLines = 12;
}

Runtime& TheRuntime() {
  static Runtime* runtime = new Runtime();
  return *runtime;
}

void BridgeRequest::Finish(bool with_answer, uint32_t answer_status, const uint8_t* data,
                           size_t size) {
  {
    std::lock_guard<std::mutex> guard(mutex);
    if (finished) return;
    finished = true;
    answered = with_answer;
    status = answer_status;
    if (data != nullptr) response.assign(data, data + size);
  }
  done.notify_all();
}

void NotePanelLine(const std::wstring& line) {
  Runtime& runtime = TheRuntime();
  HWND view = nullptr;
  {
    std::lock_guard<std::mutex> guard(runtime.mutex);
    runtime.panelLines.push_back(line);
    while (runtime.panelLines.size() > kPanelLines) runtime.panelLines.pop_front();
    if (runtime.currentController != nullptr) view = runtime.currentController->view.hwnd;
  }
  if (view != nullptr) InvalidateRect(view, nullptr, TRUE);
}

std::string PeekMethodName(const uint8_t* data, size_t size) {
  // A call starts with a string value: tag 7 and a one-byte length for short names.
  if (data == nullptr || size < 2 || data[0] != 7 || data[1] >= 254) return "";
  size_t length = data[1];
  if (size < 2 + length) return "";
  return std::string(reinterpret_cast<const char*>(data + 2), length);
}

bool DeliverToHost(FlutterDesktopEngine* engine, const std::string& channel, const uint8_t* data,
                   size_t size, ResponseSink sink) {
  if (engine == nullptr || engine->messenger == nullptr) return false;
  FlutterDesktopMessenger* messenger = engine->messenger;
  FlutterDesktopMessageCallback callback = nullptr;
  void* user_data = nullptr;
  {
    std::lock_guard<std::recursive_mutex> guard(messenger->lock);
    auto found = messenger->callbacks.find(channel);
    if (messenger->engine == nullptr || found == messenger->callbacks.end()) return false;
    callback = found->second.first;
    user_data = found->second.second;
  }
  std::string method = PeekMethodName(data, size);
  NotePanelLine(L"-> " + FromUtf8(channel) + L" " +
                (method.empty() ? std::to_wstring(size) + L" bytes" : FromUtf8(method)));

  auto* pending = new PendingResponse{engine, channel, std::move(sink)};
  {
    Runtime& runtime = TheRuntime();
    std::lock_guard<std::mutex> guard(runtime.mutex);
    runtime.pending.insert(pending);
  }
  FlutterDesktopMessage record = {};
  record.structSize = sizeof(record);
  record.channel = channel.c_str();
  record.message = data;
  record.messageSize = size;
  record.responseHandle = reinterpret_cast<const FlutterDesktopMessageResponseHandle*>(pending);
  callback(messenger, &record, user_data);
  return true;
}

void AbandonEngineTraffic(FlutterDesktopEngine* engine) {
  Runtime& runtime = TheRuntime();
  std::vector<PendingResponse*> dropped;
  std::deque<std::shared_ptr<BridgeRequest>> queued;
  {
    std::lock_guard<std::mutex> guard(runtime.mutex);
    for (auto it = runtime.pending.begin(); it != runtime.pending.end();) {
      if ((*it)->engine == engine) {
        dropped.push_back(*it);
        it = runtime.pending.erase(it);
      } else {
        ++it;
      }
    }
    if (runtime.currentEngine == engine) queued.swap(runtime.bridgeQueue);
  }
  // Destroying a sink that belongs to the bridge ends its request without an answer.
  for (PendingResponse* pending : dropped) delete pending;
  for (auto& request : queued) request->Finish(false, 0, nullptr, 0);
}

std::string ToUtf8(const std::wstring& text) {
  if (text.empty()) return std::string();
  int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                 nullptr, nullptr);
  std::string out(static_cast<size_t>(size > 0 ? size : 0), '\0');
  if (size > 0) {
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], size,
                        nullptr, nullptr);
  }
  return out;
}

std::wstring FromUtf8(const std::string& text) {
  if (text.empty()) return std::wstring();
  int size =
      MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(size > 0 ? size : 0), L'\0');
  if (size > 0) {
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], size);
  }
  return out;
}

}  // namespace standin
