// Inner records of the stand-in runtime and the process-wide state they share.
//
// One mutex (Runtime::mutex) guards everything here except each messenger's own lock, which
// the host takes through FlutterDesktopMessengerLock. No callback into the host is ever
// made while Runtime::mutex is held, because the host may call back into the runtime.
#ifndef ORVANTA_STANDINS_FLUTTER_WINDOWS_STANDIN_RUNTIME_H_
#define ORVANTA_STANDINS_FLUTTER_WINDOWS_STANDIN_RUNTIME_H_

#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "messaging/flutter_windows_api.h"

struct FlutterDesktopMessenger {
  std::recursive_mutex lock;               // what FlutterDesktopMessengerLock takes
  FlutterDesktopEngine* engine = nullptr;  // null once the engine has ended
  std::atomic<long> references{1};         // the engine's own, plus one per host AddRef
  std::map<std::string, std::pair<FlutterDesktopMessageCallback, void*>> callbacks;
};

struct FlutterDesktopPluginRegistrar {
  FlutterDesktopEngine* engine = nullptr;
  std::string name;
};

struct FlutterDesktopView {
  HWND hwnd = nullptr;
};

struct FlutterDesktopViewController {
  FlutterDesktopEngine* engine = nullptr;
  HWND parking = nullptr;  // hidden top-level window holding the view until the host adopts it
  FlutterDesktopView view;
  int requestedWidth = 0;
  int requestedHeight = 0;
  // ORVANTA_STANDIN_HIDE_ON_CLOSE=1 at creation: the UI keeps its window on close.
  bool hideOnClose = false;
};

struct FlutterDesktopEngine {
  FlutterDesktopMessenger* messenger = nullptr;
  std::map<std::string, std::unique_ptr<FlutterDesktopPluginRegistrar>> registrars;
  FlutterDesktopOnNextFrameCallback nextFrame = nullptr;
  void* nextFrameData = nullptr;
  FlutterDesktopViewController* controller = nullptr;
};

namespace standin {

// Completes one delivered message: called at most once, with the host's answer.
using ResponseSink = std::function<void(const uint8_t* data, size_t size)>;

// A message handed to the host and not yet answered; its address is the response handle.
struct PendingResponse {
  FlutterDesktopEngine* engine = nullptr;
  std::string channel;
  ResponseSink sink;
};

// One request read by the bridge, waiting for the UI thread (and then for the host).
struct BridgeRequest {
  std::string channel;
  std::vector<uint8_t> message;
  std::mutex mutex;
  std::condition_variable done;
  bool finished = false;
  bool answered = false;  // false when finished without an answer: the connection is closed
  uint32_t status = 0;
  std::vector<uint8_t> response;

  void Finish(bool with_answer, uint32_t answer_status, const uint8_t* data, size_t size);
};

struct RecordedProperties {
  std::wstring assetsPath, icuDataPath, aotLibraryPath;
  std::string entrypoint;
  int32_t argc = 0;
  bool argvNull = true;
  std::vector<std::string> arguments;
  int32_t extraOption1 = 0, extraOption2 = 0;
};

struct Runtime {
  std::mutex mutex;

  // What the newest engine was created with, and what happened to it.
  std::optional<RecordedProperties> properties;
  std::vector<std::pair<std::string, uintptr_t>> registrarRequests;
  struct PluginRegistration {
    std::string library;
    uintptr_t registrar = 0;
    std::string apartment;  // the COM apartment of the thread that registered it
  };
  std::vector<PluginRegistration> pluginRegistrations;
  int nextFrameCallbacks = 0;
  int fontReloads = 0;
  std::optional<uint64_t> firstFrameMs;

  // Process-wide counters.
  std::atomic<long> messengerReferences{0};  // outstanding host AddRefs
  std::atomic<long> messengerLocksHeld{0};   // Lock calls not yet matched by Unlock
  int enginesCreated = 0;
  int engineDestroyCalls = 0;
  int enginesEnded = 0;
  int controllersCreated = 0;
  int controllersDestroyed = 0;
  int responsesSent = 0;
  int responsesRefused = 0;  // unknown, stale or already used response handles
  int outputResyncs = 0;
  std::optional<UINT> lastDpi;

  FlutterDesktopEngine* currentEngine = nullptr;
  FlutterDesktopViewController* currentController = nullptr;
  std::set<PendingResponse*> pending;
  std::deque<std::shared_ptr<BridgeRequest>> bridgeQueue;
  std::deque<std::wstring> panelLines;  // newest last, shown by the view
};

// Never destroyed: bridge threads may still run while the process ends.
Runtime& TheRuntime();

// Appends a line to the status panel and repaints the current view. Takes the mutex.
void NotePanelLine(const std::wstring& line);

// Hands a message to the host's callback for `channel` on `engine`, on the calling (UI)
// thread. False when the channel has no callback.
bool DeliverToHost(FlutterDesktopEngine* engine, const std::string& channel, const uint8_t* data,
                   size_t size, ResponseSink sink);

// Drops every unanswered message and queued bridge request of `engine`.
void AbandonEngineTraffic(FlutterDesktopEngine* engine);

// Ends an engine: drops its traffic, makes its messenger unavailable and frees it.
void EndEngine(FlutterDesktopEngine* engine);

// The method name of a standard-codec call, or "" when the bytes do not start with one.
std::string PeekMethodName(const uint8_t* data, size_t size);

std::string ToUtf8(const std::wstring& text);
std::wstring FromUtf8(const std::string& text);

}  // namespace standin

#endif  // ORVANTA_STANDINS_FLUTTER_WINDOWS_STANDIN_RUNTIME_H_
