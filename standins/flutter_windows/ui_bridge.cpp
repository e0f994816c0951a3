// winsock2.h must come before anything that includes windows.h.
#include <winsock2.h>
#include <ws2tcpip.h>

#include "standins/flutter_windows/ui_bridge.h"

#include <cstdlib>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

#include "standins/flutter_windows/view_window.h"

namespace standin {

namespace {

constexpr uint32_t kStatusAnswered = 0;
constexpr uint32_t kStatusNoHandler = 1;
// Larger requests are taken as a broken client rather than buffered.
constexpr uint32_t kMaxLength = 64u * 1024u * 1024u;

bool ReadExact(SOCKET socket, uint8_t* buffer, size_t size) {
  while (size > 0) {
    int chunk = size > 65536 ? 65536 : static_cast<int>(size);
    int got = recv(socket, reinterpret_cast<char*>(buffer), chunk, 0);
    if (got <= 0) return false;
    buffer += got;
    size -= static_cast<size_t>(got);
  }
  return true;
}

bool WriteExact(SOCKET socket, const uint8_t* buffer, size_t size) {
  while (size > 0) {
    int chunk = size > 65536 ? 65536 : static_cast<int>(size);
    int sent = send(socket, reinterpret_cast<const char*>(buffer), chunk, 0);
    if (sent <= 0) return false;
    buffer += sent;
    size -= static_cast<size_t>(sent);
  }
  return true;
}

bool ReadU32(SOCKET socket, uint32_t* value) {
  uint8_t bytes[4];
  if (!ReadExact(socket, bytes, 4)) return false;
  *value = static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
           static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
  return true;
}

void AppendU32(std::vector<uint8_t>* out, uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) out->push_back(static_cast<uint8_t>(value >> shift));
}

// Queues the request for the UI thread and wakes it; false when there is no view to serve it.
bool Submit(const std::shared_ptr<BridgeRequest>& request) {
  Runtime& runtime = TheRuntime();
  std::lock_guard<std::mutex> guard(runtime.mutex);
  FlutterDesktopViewController* controller = runtime.currentController;
  if (controller == nullptr || controller->view.hwnd == nullptr) return false;
  runtime.bridgeQueue.push_back(request);
  if (!PostMessageW(controller->view.hwnd, kBridgeMessage, 0, 0)) {
    runtime.bridgeQueue.pop_back();
    return false;
  }
  return true;
}

void ServeConnection(SOCKET socket) {
  for (;;) {
    auto request = std::make_shared<BridgeRequest>();
    uint32_t name_length = 0;
    uint32_t message_length = 0;
    if (!ReadU32(socket, &name_length) || name_length > kMaxLength) break;
    request->channel.resize(name_length);
    if (name_length > 0 &&
        !ReadExact(socket, reinterpret_cast<uint8_t*>(&request->channel[0]), name_length)) {
      break;
    }
    if (!ReadU32(socket, &message_length) || message_length > kMaxLength) break;
    request->message.resize(message_length);
    if (message_length > 0 && !ReadExact(socket, request->message.data(), message_length)) break;

    if (!Submit(request)) break;
    std::unique_lock<std::mutex> lock(request->mutex);
    request->done.wait(lock, [&] { return request->finished; });
    if (!request->answered) break;
    std::vector<uint8_t> response;
    response.reserve(8 + request->response.size());
    AppendU32(&response, request->status);
    AppendU32(&response, static_cast<uint32_t>(request->response.size()));
    response.insert(response.end(), request->response.begin(), request->response.end());
    lock.unlock();
    if (!WriteExact(socket, response.data(), response.size())) break;
  }
  closesocket(socket);
}

void Listen(SOCKET listener) {
  for (;;) {
    SOCKET client = accept(listener, nullptr, nullptr);
    if (client == INVALID_SOCKET) continue;
    std::thread(&ServeConnection, client).detach();
  }
}

HWND TopLevelOfView() {
  Runtime& runtime = TheRuntime();
  std::lock_guard<std::mutex> guard(runtime.mutex);
  FlutterDesktopViewController* controller = runtime.currentController;
  if (controller == nullptr || controller->view.hwnd == nullptr) return nullptr;
  return GetAncestor(controller->view.hwnd, GA_ROOT);
}

void Serve(const std::shared_ptr<BridgeRequest>& request) {
  const std::string& channel = request->channel;
  if (channel == "standin/state") {
    std::string json = DescribeState();
    request->Finish(true, kStatusAnswered, reinterpret_cast<const uint8_t*>(json.data()),
                    json.size());
    return;
  }
  if (channel == "standin/close") {
    if (HWND top = TopLevelOfView()) PostMessageW(top, WM_CLOSE, 0, 0);
    request->Finish(true, kStatusAnswered, nullptr, 0);
    return;
  }
  if (channel == "standin/endsession") {
    // As Windows does at log-off: ask, then tell, both synchronously on the UI thread. The
    // host may tear everything down in here, the view controller included.
    if (HWND top = TopLevelOfView()) {
      SendMessageW(top, WM_QUERYENDSESSION, 0, 0);
      SendMessageW(top, WM_ENDSESSION, TRUE, 0);
    }
    request->Finish(true, kStatusAnswered, nullptr, 0);
    return;
  }
  if (channel.compare(0, 8, "standin/") == 0) {
    request->Finish(true, kStatusNoHandler, nullptr, 0);
    return;
  }
  FlutterDesktopEngine* engine = nullptr;
  {
    Runtime& runtime = TheRuntime();
    std::lock_guard<std::mutex> guard(runtime.mutex);
    engine = runtime.currentEngine;
  }
  // Dropping the sink unanswered (the engine ended first) closes the connection.
  auto unanswered =
      std::shared_ptr<void>(nullptr, [request](void*) { request->Finish(false, 0, nullptr, 0); });
  bool delivered = DeliverToHost(engine, channel, request->message.data(), request->message.size(),
                                 [request, unanswered](const uint8_t* data, size_t size) {
                                   request->Finish(true, kStatusAnswered, data, size);
                                 });
  if (!delivered) request->Finish(true, kStatusNoHandler, nullptr, 0);
}

}  // namespace

void StartBridgeIfConfigured() {
  static std::once_flag started;
  std::call_once(started, [] {
    char buffer[16];
    DWORD length = GetEnvironmentVariableA("ORVANTA_UI_BRIDGE_PORT", buffer, sizeof(buffer));
    if (length == 0 || length >= sizeof(buffer)) return;
    char* end = nullptr;
    unsigned long port = std::strtoul(buffer, &end, 10);
    if (end == buffer || *end != '\0' || port == 0 || port > 65535) return;

    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return;
    SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (listener == INVALID_SOCKET) return;
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<u_short>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        listen(listener, SOMAXCONN) != 0) {
      closesocket(listener);
      return;
    }
    // Listening before the controller is handed back, so a client may connect at once.
    std::thread(&Listen, listener).detach();
  });
}

void ServeBridgeQueue() {
  for (;;) {
    std::shared_ptr<BridgeRequest> request;
    {
      Runtime& runtime = TheRuntime();
      std::lock_guard<std::mutex> guard(runtime.mutex);
      if (runtime.bridgeQueue.empty()) return;
      request = std::move(runtime.bridgeQueue.front());
      runtime.bridgeQueue.pop_front();
    }
    Serve(request);
  }
}

}  // namespace standin
