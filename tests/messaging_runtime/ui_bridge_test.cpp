// The stand-in's UI bridge over loopback TCP: wire format, routing, late answers and the
// stand-in's own channels.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "messaging/flutter_view_controller.h"
#include "messaging/method_channel.h"
#include "messaging/runtime_project.h"
#include "messaging/standard_method_codec.h"
#include "tests/messaging_runtime/standin_access.h"

namespace {

using flutter::EncodableValue;
using flutter::MethodCall;
using flutter::MethodResult;
using Bytes = std::vector<uint8_t>;
using Result = std::unique_ptr<MethodResult<EncodableValue>>;

// A free loopback port, chosen before any view controller exists: the bridge starts with the
// first one in the process.
int PickPort() {
  WSADATA data;
  WSAStartup(MAKEWORD(2, 2), &data);
  SOCKET probe = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof(address));
  int length = sizeof(address);
  getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length);
  closesocket(probe);
  return ntohs(address.sin_port);
}

const int kPort = [] {
  int port = PickPort();
  SetEnvironmentVariableA("ORVANTA_UI_BRIDGE_PORT", std::to_string(port).c_str());
  return port;
}();

void PutU32(Bytes* out, uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) out->push_back(static_cast<uint8_t>(value >> shift));
}

Bytes CallBytes(const std::string& method) {
  MethodCall<EncodableValue> call(method, std::make_unique<EncodableValue>());
  return *flutter::StandardMethodCodec::SharedInstance().EncodeCall(call);
}

struct Response {
  bool received = false;
  Bytes header;  // the raw status and length
  uint32_t status = 0;
  Bytes body;
};

class BridgeClient {
 public:
  BridgeClient() {
    socket_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<u_short>(kPort));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connected_ = connect(socket_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
  }
  ~BridgeClient() { closesocket(socket_); }

  bool Connected() const { return connected_; }

  Response Request(const std::string& channel, const Bytes& message) {
    Bytes request;
    PutU32(&request, static_cast<uint32_t>(channel.size()));
    request.insert(request.end(), channel.begin(), channel.end());
    PutU32(&request, static_cast<uint32_t>(message.size()));
    request.insert(request.end(), message.begin(), message.end());
    Response response;
    if (send(socket_, reinterpret_cast<const char*>(request.data()),
             static_cast<int>(request.size()), 0) != static_cast<int>(request.size())) {
      return response;
    }
    response.header.resize(8);
    if (!Read(response.header.data(), 8)) return response;
    response.status = Le32(&response.header[0]);
    response.body.resize(Le32(&response.header[4]));
    if (!Read(response.body.data(), response.body.size())) return response;
    response.received = true;
    return response;
  }

 private:
  static uint32_t Le32(const uint8_t* bytes) {
    return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
           static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
  }
  bool Read(uint8_t* buffer, size_t size) {
    while (size > 0) {
      int got = recv(socket_, reinterpret_cast<char*>(buffer), static_cast<int>(size), 0);
      if (got <= 0) return false;
      buffer += got;
      size -= static_cast<size_t>(got);
    }
    return true;
  }

  SOCKET socket_ = INVALID_SOCKET;
  bool connected_ = false;
};

// Runs `client` on its own thread while this (UI) thread serves window messages, calling
// `on_idle` between rounds. A client still blocked after a generous bound ends the process
// with a failure, since its thread cannot be stopped safely and a hang would stall the run.
bool RunClient(const std::function<void()>& client, const std::function<void()>& on_idle) {
  std::atomic<bool> done{false};
  std::thread worker([&] {
    client();
    done = true;
  });
  for (int round = 0; round < 3000 && !done; ++round) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    orvanta_test::PumpMessages();
    if (on_idle) on_idle();
  }
  if (!done) {
    std::fprintf(stderr, "the bridge client did not finish; the bridge is stuck\n");
    std::fflush(stderr);
    std::_Exit(1);
  }
  worker.join();
  return true;
}

class UiBridgeTest : public testing::Test {
 protected:
  orvanta_test::ScopedTempFolder temp_;
};

TEST_F(UiBridgeTest, RequestsAreAnsweredInOrderWithTheHostsBytes) {
  flutter::FlutterViewController controller(200, 100, RuntimeProject(L"data"));
  flutter::MethodChannel channel(&controller.GetEngine()->GetMessenger(), "test.channel",
                                 &flutter::StandardMethodCodec::SharedInstance());
  Result kept;
  channel.SetCallHandler([&](const MethodCall<EncodableValue>& call, Result result) {
    if (call.MethodName() == "later") {
      kept = std::move(result);
    } else {
      result->Success(EncodableValue(std::string("done")));
    }
  });

  std::vector<Response> responses;
  bool connected = false;
  ASSERT_TRUE(RunClient(
      [&] {
        BridgeClient client;
        connected = client.Connected();
        if (!connected) return;
        responses.push_back(client.Request("test.channel", CallBytes("now")));
        responses.push_back(client.Request("nobody.listens", CallBytes("now")));
        responses.push_back(client.Request("test.channel", CallBytes("later")));
        responses.push_back(client.Request("standin/state", {}));
      },
      [&] {
        // Answered outside the handler and off the UI thread, as a slow handler would.
        if (kept) {
          std::thread([&] { kept->Success(EncodableValue(true)); }).join();
          kept.reset();
        }
      }));
  ASSERT_TRUE(connected);
  ASSERT_EQ(responses.size(), 4u);
  for (const Response& response : responses) EXPECT_TRUE(response.received);
  EXPECT_EQ(responses[0].header, (Bytes{0, 0, 0, 0, 7, 0, 0, 0}));
  EXPECT_EQ(responses[0].body, (Bytes{0x00, 0x07, 0x04, 'd', 'o', 'n', 'e'}));
  EXPECT_EQ(responses[1].header, (Bytes{1, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(responses[2].status, 0u);
  EXPECT_EQ(responses[2].body, (Bytes{0x00, 0x01}));
  EXPECT_EQ(responses[3].status, 0u);
  std::string state(responses[3].body.begin(), responses[3].body.end());
  EXPECT_NE(state.find("\"channels\":[\"test.channel\"]"), std::string::npos) << state;
  EXPECT_NE(state.find("\"view\":{\"width\":200,\"height\":100"), std::string::npos) << state;
  EXPECT_NE(state.find("\"messenger_refs\":0"), std::string::npos) << state;
}

TEST_F(UiBridgeTest, RequestLeftPendingWhenTheEngineEndsClosesTheConnection) {
  auto controller =
      std::make_unique<flutter::FlutterViewController>(200, 100, RuntimeProject(L"data"));
  flutter::MethodChannel channel(&controller->GetEngine()->GetMessenger(), "test.channel",
                                 &flutter::StandardMethodCodec::SharedInstance());
  Result kept;
  channel.SetCallHandler(
      [&](const MethodCall<EncodableValue>&, Result result) { kept = std::move(result); });
  Response response;
  ASSERT_TRUE(RunClient(
      [&] {
        BridgeClient client;
        response = client.Request("test.channel", CallBytes("stopV2Ray"));
      },
      [&] {
        if (kept && controller) controller.reset();
      }));
  EXPECT_FALSE(response.received);
  ASSERT_NE(kept, nullptr);
  testing::internal::CaptureStderr();
  kept->Success(EncodableValue(true));  // the engine is gone: dropped without a word
  kept.reset();
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

struct TopLevelLog {
  std::vector<UINT> messages;
  std::vector<WPARAM> endSessionFlags;
};
TopLevelLog* g_log = nullptr;

LRESULT CALLBACK TopLevelProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (g_log != nullptr) {
    switch (message) {
      case WM_QUERYENDSESSION:
        g_log->messages.push_back(message);
        return TRUE;
      case WM_ENDSESSION:
        g_log->messages.push_back(message);
        g_log->endSessionFlags.push_back(wparam);
        return 0;
      case WM_CLOSE:
        g_log->messages.push_back(message);
        return 0;  // recorded, not acted on
      default:
        break;
    }
  }
  return DefWindowProcW(hwnd, message, wparam, lparam);
}

TEST_F(UiBridgeTest, StandinChannelsActOnTheTopLevelWindowHoldingTheView) {
  TopLevelLog log;
  g_log = &log;
  WNDCLASSW window_class = {};
  window_class.lpfnWndProc = &TopLevelProc;
  window_class.hInstance = GetModuleHandleW(nullptr);
  window_class.lpszClassName = L"OrvantaBridgeTestTop";
  RegisterClassW(&window_class);
  HWND top = CreateWindowExW(0, L"OrvantaBridgeTestTop",
                             L"Bridge \x00DC"
                             L"bung",
                             WS_OVERLAPPEDWINDOW, 10, 20, 300, 400, nullptr, nullptr,
                             GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(top, nullptr);
  auto controller =
      std::make_unique<flutter::FlutterViewController>(200, 100, RuntimeProject(L"data"));
  SetParent(controller->GetView()->GetHWND(), top);

  Response state, end_session, close, unknown;
  size_t seen_at_end_session_answer = 0;
  ASSERT_TRUE(RunClient(
      [&] {
        BridgeClient client;
        state = client.Request("standin/state", {});
        end_session = client.Request("standin/endsession", {});
        seen_at_end_session_answer = log.messages.size();
        close = client.Request("standin/close", {});
        unknown = client.Request("standin/nothing", {});
      },
      nullptr));
  orvanta_test::PumpMessages();

  std::string json(state.body.begin(), state.body.end());
  EXPECT_NE(json.find("\"window\":{\"class\":\"OrvantaBridgeTestTop\",\"title\":\"Bridge "
                      "\xC3\x9C"
                      "bung\",\"visible\":false,\"x\":10,\"y\":20,\"width\":300,\"height\":400}"),
            std::string::npos)
      << json;
  EXPECT_EQ(end_session.header, (Bytes{0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(seen_at_end_session_answer, 2u);
  EXPECT_EQ(close.header, (Bytes{0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(unknown.status, 1u);
  EXPECT_EQ(log.messages,
            (std::vector<UINT>{WM_QUERYENDSESSION, WM_ENDSESSION, static_cast<UINT>(WM_CLOSE)}));
  EXPECT_EQ(log.endSessionFlags, (std::vector<WPARAM>{TRUE}));

  controller.reset();
  DestroyWindow(top);
  g_log = nullptr;
}

}  // namespace
