// The host's wrapper of one runtime engine: creates it from a RuntimeProject and owns its
// messenger (and with it every channel handler).
//
// The wrapper destroys the runtime engine itself only while it still owns it; the view
// controller takes the engine over with HandOverEngine, after which the runtime ends it and
// the wrapper never does. The handle stays set after the hand-over, so registrars, font
// reloads and next-frame requests keep working. If the runtime refuses to create the engine,
// the messenger is inert and every engine operation is skipped.
#ifndef ORVANTA_MESSAGING_FLUTTER_ENGINE_H_
#define ORVANTA_MESSAGING_FLUTTER_ENGINE_H_

#include <functional>
#include <memory>
#include <string>

#include "messaging/binary_messenger.h"
#include "messaging/binary_messenger_impl.h"
#include "messaging/flutter_windows_api.h"
#include "messaging/plugin_registry.h"
#include "messaging/runtime_project.h"

namespace flutter {

class FlutterEngine : public PluginRegistry {
 public:
  explicit FlutterEngine(const RuntimeProject& project);
  ~FlutterEngine() override;

  BinaryMessenger& GetMessenger();

  FlutterDesktopPluginRegistrarRef GetPluginRegistrar(const std::string& plugin_name) override;

  void ReloadSystemFonts();

  // Runs `callback` once on the UI thread after the next frame. A later call replaces a
  // callback that has not run yet.
  void SetNextFrameCallback(std::function<void()> callback);

  // Gives up ownership of the runtime engine and returns its handle.
  FlutterDesktopEngineRef HandOverEngine();

 private:
  static void DispatchNextFrame(void* user_data);

  FlutterDesktopEngineRef engineHandle_ = nullptr;
  std::unique_ptr<BinaryMessengerImpl> messenger_;
  bool ownsEngine_ = true;
  std::function<void()> nextFrameCallback_;
};

}  // namespace flutter

#endif  // ORVANTA_MESSAGING_FLUTTER_ENGINE_H_
