// The runtime's engine, messenger and process-wide functions.
#include <utility>

#include "standins/flutter_windows/standin_runtime.h"
#include "standins/flutter_windows/view_window.h"

using standin::Runtime;
using standin::TheRuntime;

namespace {

void ReleaseMessenger(FlutterDesktopMessenger* messenger) {
  if (messenger->references.fetch_sub(1) == 1) delete messenger;
}

}  // namespace

namespace standin {

void EndEngine(FlutterDesktopEngine* engine) {
  AbandonEngineTraffic(engine);
  {
    std::lock_guard<std::recursive_mutex> guard(engine->messenger->lock);
    engine->messenger->engine = nullptr;
    engine->messenger->callbacks.clear();
  }
  ReleaseMessenger(engine->messenger);
  Runtime& runtime = TheRuntime();
  {
    std::lock_guard<std::mutex> guard(runtime.mutex);
    ++runtime.enginesEnded;
    if (runtime.currentEngine == engine) runtime.currentEngine = nullptr;
  }
  delete engine;
}

}  // namespace standin

extern "C" {

FlutterDesktopEngineRef FlutterDesktopEngineCreate(const EngineProperties* properties) {
  if (properties == nullptr) return nullptr;
  // Copied now: the host's pointers die when this call returns.
  standin::RecordedProperties recorded;
  if (properties->assetsPath != nullptr) recorded.assetsPath = properties->assetsPath;
  if (properties->icuDataPath != nullptr) recorded.icuDataPath = properties->icuDataPath;
  if (properties->aotLibraryPath != nullptr) recorded.aotLibraryPath = properties->aotLibraryPath;
  if (properties->entrypoint != nullptr) recorded.entrypoint = properties->entrypoint;
  recorded.argc = properties->entrypointArgc;
  recorded.argvNull = properties->entrypointArgv == nullptr;
  if (properties->entrypointArgv != nullptr) {
    for (int32_t i = 0; i < properties->entrypointArgc; ++i) {
      const char* argument = properties->entrypointArgv[i];
      recorded.arguments.push_back(argument != nullptr ? argument : "");
    }
  }
  recorded.extraOption1 = properties->extraOption1;
  recorded.extraOption2 = properties->extraOption2;

  auto* engine = new FlutterDesktopEngine();
  engine->messenger = new FlutterDesktopMessenger();
  engine->messenger->engine = engine;

  Runtime& runtime = TheRuntime();
  std::lock_guard<std::mutex> guard(runtime.mutex);
  runtime.properties = std::move(recorded);
  runtime.registrarRequests.clear();
  runtime.pluginRegistrations.clear();
  runtime.nextFrameCallbacks = 0;
  runtime.fontReloads = 0;
  runtime.firstFrameMs.reset();
  ++runtime.enginesCreated;
  runtime.currentEngine = engine;
  return engine;
}

bool FlutterDesktopEngineDestroy(FlutterDesktopEngineRef engine) {
  {
    Runtime& runtime = TheRuntime();
    std::lock_guard<std::mutex> guard(runtime.mutex);
    ++runtime.engineDestroyCalls;
  }
  if (engine == nullptr) return false;
  // An engine run by a view controller ends with the controller, never here.
  if (engine->controller != nullptr) return false;
  standin::EndEngine(engine);
  return true;
}

FlutterDesktopMessengerRef FlutterDesktopEngineGetMessenger(FlutterDesktopEngineRef engine) {
  return engine != nullptr ? engine->messenger : nullptr;
}

FlutterDesktopPluginRegistrarRef FlutterDesktopEngineGetPluginRegistrar(
    FlutterDesktopEngineRef engine, const char* plugin_name) {
  if (engine == nullptr || plugin_name == nullptr) return nullptr;
  std::unique_ptr<FlutterDesktopPluginRegistrar>& slot = engine->registrars[plugin_name];
  if (!slot) {
    slot = std::make_unique<FlutterDesktopPluginRegistrar>();
    slot->engine = engine;
    slot->name = plugin_name;
  }
  Runtime& runtime = TheRuntime();
  std::lock_guard<std::mutex> guard(runtime.mutex);
  runtime.registrarRequests.emplace_back(plugin_name, reinterpret_cast<uintptr_t>(slot.get()));
  return slot.get();
}

void FlutterDesktopEngineSetNextFrameCallback(FlutterDesktopEngineRef engine,
                                              FlutterDesktopOnNextFrameCallback callback,
                                              void* user_data) {
  if (engine == nullptr) return;
  engine->nextFrame = callback;
  engine->nextFrameData = user_data;
}

void FlutterDesktopEngineReloadSystemFonts(FlutterDesktopEngineRef engine) {
  if (engine == nullptr) return;
  Runtime& runtime = TheRuntime();
  std::lock_guard<std::mutex> guard(runtime.mutex);
  ++runtime.fontReloads;
}

void FlutterDesktopMessengerSetCallback(FlutterDesktopMessengerRef messenger, const char* channel,
                                        FlutterDesktopMessageCallback callback, void* user_data) {
  if (messenger == nullptr || channel == nullptr) return;
  std::lock_guard<std::recursive_mutex> guard(messenger->lock);
  if (messenger->engine == nullptr) return;
  if (callback == nullptr) {
    messenger->callbacks.erase(channel);
  } else {
    messenger->callbacks[channel] = {callback, user_data};
  }
}

void FlutterDesktopMessengerSendResponse(FlutterDesktopMessengerRef messenger,
                                         const FlutterDesktopMessageResponseHandle* handle,
                                         const uint8_t* data, size_t data_length) {
  Runtime& runtime = TheRuntime();
  auto* pending = reinterpret_cast<standin::PendingResponse*>(
      const_cast<FlutterDesktopMessageResponseHandle*>(handle));
  {
    std::lock_guard<std::mutex> guard(runtime.mutex);
    auto found = runtime.pending.find(pending);
    if (messenger == nullptr || found == runtime.pending.end() ||
        (*found)->engine->messenger != messenger) {
      ++runtime.responsesRefused;
      return;
    }
    runtime.pending.erase(found);
    ++runtime.responsesSent;
  }
  standin::NotePanelLine(L"<- " + standin::FromUtf8(pending->channel) + L" " +
                         std::to_wstring(data_length) + L" bytes");
  if (pending->sink) pending->sink(data, data_length);
  delete pending;
}

bool FlutterDesktopMessengerSend(FlutterDesktopMessengerRef messenger, const char* channel,
                                 const uint8_t* message, size_t message_size) {
  // The stand-in has no UI program to receive messages from the host.
  static_cast<void>(channel);
  static_cast<void>(message);
  static_cast<void>(message_size);
  return messenger != nullptr && FlutterDesktopMessengerIsAvailable(messenger);
}

bool FlutterDesktopMessengerSendWithReply(FlutterDesktopMessengerRef messenger, const char* channel,
                                          const uint8_t* message, size_t message_size,
                                          FlutterDesktopBinaryReply reply, void* user_data) {
  // Nothing on the other side can answer, so the message is refused rather than left with a
  // reply that would never come.
  static_cast<void>(messenger);
  static_cast<void>(channel);
  static_cast<void>(message);
  static_cast<void>(message_size);
  static_cast<void>(reply);
  static_cast<void>(user_data);
  return false;
}

FlutterDesktopMessengerRef FlutterDesktopMessengerAddRef(FlutterDesktopMessengerRef messenger) {
  if (messenger == nullptr) return nullptr;
  messenger->references.fetch_add(1);
  TheRuntime().messengerReferences.fetch_add(1);
  return messenger;
}

void FlutterDesktopMessengerRelease(FlutterDesktopMessengerRef messenger) {
  if (messenger == nullptr) return;
  TheRuntime().messengerReferences.fetch_sub(1);
  ReleaseMessenger(messenger);
}

FlutterDesktopMessengerRef FlutterDesktopMessengerLock(FlutterDesktopMessengerRef messenger) {
  if (messenger == nullptr) return nullptr;
  messenger->lock.lock();
  TheRuntime().messengerLocksHeld.fetch_add(1);
  return messenger;
}

void FlutterDesktopMessengerUnlock(FlutterDesktopMessengerRef messenger) {
  if (messenger == nullptr) return;
  TheRuntime().messengerLocksHeld.fetch_sub(1);
  messenger->lock.unlock();
}

bool FlutterDesktopMessengerIsAvailable(FlutterDesktopMessengerRef messenger) {
  if (messenger == nullptr) return false;
  std::lock_guard<std::recursive_mutex> guard(messenger->lock);
  return messenger->engine != nullptr;
}

UINT FlutterDesktopGetDpiForMonitor(HMONITOR monitor) {
  UINT dpi = standin::MonitorDpi(monitor);
  Runtime& runtime = TheRuntime();
  std::lock_guard<std::mutex> guard(runtime.mutex);
  runtime.lastDpi = dpi;
  return dpi;
}

void FlutterDesktopResyncOutputStreams() {
  Runtime& runtime = TheRuntime();
  std::lock_guard<std::mutex> guard(runtime.mutex);
  ++runtime.outputResyncs;
}

}  // extern "C"
