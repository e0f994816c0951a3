// The C functions of the embedding runtime, flutter_windows.dll, as this host calls them.
//
// Every function is called on the UI thread, except the messenger's reference, lock,
// availability and response functions, which a reply may call from any thread. Handles are
// opaque to the host; texts are NUL-terminated UTF-8 unless a field says UTF-16.
#ifndef ORVANTA_MESSAGING_FLUTTER_WINDOWS_API_H_
#define ORVANTA_MESSAGING_FLUTTER_WINDOWS_API_H_

#include <windows.h>

#include <cstddef>
#include <cstdint>

#if defined(ORVANTA_BUILDING_RUNTIME)
#define ORVANTA_RUNTIME_API __declspec(dllexport)
#else
#define ORVANTA_RUNTIME_API __declspec(dllimport)
#endif

extern "C" {

typedef struct FlutterDesktopEngine* FlutterDesktopEngineRef;
typedef struct FlutterDesktopViewController* FlutterDesktopViewControllerRef;
typedef struct FlutterDesktopView* FlutterDesktopViewRef;
typedef struct FlutterDesktopMessenger* FlutterDesktopMessengerRef;
typedef struct FlutterDesktopPluginRegistrar* FlutterDesktopPluginRegistrarRef;
typedef struct FlutterDesktopMessageResponseHandle FlutterDesktopMessageResponseHandle;

// What the runtime tells the engine at creation: where the UI program's files lie and how
// to enter it. Every pointer is only valid for the duration of FlutterDesktopEngineCreate.
struct EngineProperties {
  const wchar_t* assetsPath;
  const wchar_t* icuDataPath;
  const wchar_t* aotLibraryPath;
  const char* entrypoint;  // never null; empty when the default entrypoint is meant
  int32_t entrypointArgc;
  const char** entrypointArgv;  // null when entrypointArgc is 0
  int32_t extraOption1;
  int32_t extraOption2;
};

static_assert(sizeof(void*) == 8, "the runtime records are laid out for x86-64");
static_assert(sizeof(EngineProperties) == 56, "EngineProperties must be 56 bytes");
static_assert(offsetof(EngineProperties, assetsPath) == 0, "assetsPath at 0");
static_assert(offsetof(EngineProperties, icuDataPath) == 8, "icuDataPath at 8");
static_assert(offsetof(EngineProperties, aotLibraryPath) == 16, "aotLibraryPath at 16");
static_assert(offsetof(EngineProperties, entrypoint) == 24, "entrypoint at 24");
static_assert(offsetof(EngineProperties, entrypointArgc) == 32, "entrypointArgc at 32");
static_assert(offsetof(EngineProperties, entrypointArgv) == 40, "entrypointArgv at 40");
static_assert(offsetof(EngineProperties, extraOption1) == 48, "extraOption1 at 48");
static_assert(offsetof(EngineProperties, extraOption2) == 52, "extraOption2 at 52");

// One incoming channel message. The host reads only the bytes, their count and the response
// handle; the runtime may use the first two fields as it likes.
struct FlutterDesktopMessage {
  size_t structSize;
  const char* channel;
  const uint8_t* message;
  size_t messageSize;
  const FlutterDesktopMessageResponseHandle* responseHandle;
};

static_assert(sizeof(FlutterDesktopMessage) == 40, "the message record has five 8-byte fields");
static_assert(offsetof(FlutterDesktopMessage, message) == 16, "message bytes at 16");
static_assert(offsetof(FlutterDesktopMessage, messageSize) == 24, "message size at 24");
static_assert(offsetof(FlutterDesktopMessage, responseHandle) == 32, "response handle at 32");

typedef void (*FlutterDesktopMessageCallback)(FlutterDesktopMessengerRef messenger,
                                              const FlutterDesktopMessage* message,
                                              void* user_data);
typedef void (*FlutterDesktopBinaryReply)(const uint8_t* data, size_t data_size, void* user_data);
typedef void (*FlutterDesktopOnNextFrameCallback)(void* user_data);

// Engine. Created by the host, handed to the view controller, which runs and ends it.
ORVANTA_RUNTIME_API FlutterDesktopEngineRef
FlutterDesktopEngineCreate(const EngineProperties* properties);
ORVANTA_RUNTIME_API bool FlutterDesktopEngineDestroy(FlutterDesktopEngineRef engine);
ORVANTA_RUNTIME_API FlutterDesktopMessengerRef
FlutterDesktopEngineGetMessenger(FlutterDesktopEngineRef engine);
ORVANTA_RUNTIME_API FlutterDesktopPluginRegistrarRef
FlutterDesktopEngineGetPluginRegistrar(FlutterDesktopEngineRef engine, const char* plugin_name);
ORVANTA_RUNTIME_API void FlutterDesktopEngineSetNextFrameCallback(
    FlutterDesktopEngineRef engine, FlutterDesktopOnNextFrameCallback callback, void* user_data);
ORVANTA_RUNTIME_API void FlutterDesktopEngineReloadSystemFonts(FlutterDesktopEngineRef engine);

// View controller and view. Null when the runtime refuses to create the controller.
ORVANTA_RUNTIME_API FlutterDesktopViewControllerRef
FlutterDesktopViewControllerCreate(int width, int height, FlutterDesktopEngineRef engine);
ORVANTA_RUNTIME_API void FlutterDesktopViewControllerDestroy(
    FlutterDesktopViewControllerRef controller);
ORVANTA_RUNTIME_API FlutterDesktopViewRef
FlutterDesktopViewControllerGetView(FlutterDesktopViewControllerRef controller);
ORVANTA_RUNTIME_API void FlutterDesktopViewControllerForceRedraw(
    FlutterDesktopViewControllerRef controller);
ORVANTA_RUNTIME_API bool FlutterDesktopViewControllerHandleTopLevelWindowProc(
    FlutterDesktopViewControllerRef controller, HWND hwnd, UINT message, WPARAM wparam,
    LPARAM lparam, LRESULT* result);
ORVANTA_RUNTIME_API HWND FlutterDesktopViewGetHWND(FlutterDesktopViewRef view);

// Messenger.
ORVANTA_RUNTIME_API void FlutterDesktopMessengerSetCallback(FlutterDesktopMessengerRef messenger,
                                                            const char* channel,
                                                            FlutterDesktopMessageCallback callback,
                                                            void* user_data);
ORVANTA_RUNTIME_API void FlutterDesktopMessengerSendResponse(
    FlutterDesktopMessengerRef messenger, const FlutterDesktopMessageResponseHandle* handle,
    const uint8_t* data, size_t data_length);
ORVANTA_RUNTIME_API bool FlutterDesktopMessengerSend(FlutterDesktopMessengerRef messenger,
                                                     const char* channel, const uint8_t* message,
                                                     size_t message_size);
ORVANTA_RUNTIME_API bool FlutterDesktopMessengerSendWithReply(
    FlutterDesktopMessengerRef messenger, const char* channel, const uint8_t* message,
    size_t message_size, FlutterDesktopBinaryReply reply, void* user_data);
ORVANTA_RUNTIME_API FlutterDesktopMessengerRef
FlutterDesktopMessengerAddRef(FlutterDesktopMessengerRef messenger);
ORVANTA_RUNTIME_API void FlutterDesktopMessengerRelease(FlutterDesktopMessengerRef messenger);
ORVANTA_RUNTIME_API FlutterDesktopMessengerRef
FlutterDesktopMessengerLock(FlutterDesktopMessengerRef messenger);
ORVANTA_RUNTIME_API void FlutterDesktopMessengerUnlock(FlutterDesktopMessengerRef messenger);
ORVANTA_RUNTIME_API bool FlutterDesktopMessengerIsAvailable(FlutterDesktopMessengerRef messenger);

// Process-wide helpers.
ORVANTA_RUNTIME_API UINT FlutterDesktopGetDpiForMonitor(HMONITOR monitor);
ORVANTA_RUNTIME_API void FlutterDesktopResyncOutputStreams();

}  // extern "C"

#endif  // ORVANTA_MESSAGING_FLUTTER_WINDOWS_API_H_
