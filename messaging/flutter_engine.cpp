#include "messaging/flutter_engine.h"

#include <iostream>
#include <utility>
#include <vector>

#include "support/log_line.h"

namespace flutter {

FlutterEngine::FlutterEngine(const RuntimeProject& project) {
  std::vector<const char*> arguments;
  arguments.reserve(project.entrypointArguments.size());
  for (const std::string& argument : project.entrypointArguments) {
    arguments.push_back(argument.c_str());
  }
  EngineProperties properties = {};
  properties.assetsPath = project.assetsPath.c_str();
  properties.icuDataPath = project.icuDataPath.c_str();
  properties.aotLibraryPath = project.aotLibraryPath.c_str();
  properties.entrypoint = project.entrypoint.c_str();
  properties.entrypointArgc = static_cast<int32_t>(arguments.size());
  properties.entrypointArgv = arguments.empty() ? nullptr : arguments.data();
  properties.extraOption1 = project.extraOption1;
  properties.extraOption2 = project.extraOption2;

  engineHandle_ = FlutterDesktopEngineCreate(&properties);
  messenger_ = std::make_unique<BinaryMessengerImpl>(
      engineHandle_ != nullptr ? FlutterDesktopEngineGetMessenger(engineHandle_) : nullptr);
}

FlutterEngine::~FlutterEngine() {
  if (engineHandle_ != nullptr && ownsEngine_) FlutterDesktopEngineDestroy(engineHandle_);
  engineHandle_ = nullptr;
  nextFrameCallback_ = nullptr;
  messenger_.reset();
}

BinaryMessenger& FlutterEngine::GetMessenger() { return *messenger_; }

FlutterDesktopPluginRegistrarRef FlutterEngine::GetPluginRegistrar(const std::string& plugin_name) {
  if (engineHandle_ == nullptr) {
    orvanta::WriteLogLine(
        std::cerr, "",
        "Cannot get plugin registrar on an engine that isn't running; call Run first.");
    return nullptr;
  }
  return FlutterDesktopEngineGetPluginRegistrar(engineHandle_, plugin_name.c_str());
}

void FlutterEngine::ReloadSystemFonts() {
  if (engineHandle_ != nullptr) FlutterDesktopEngineReloadSystemFonts(engineHandle_);
}

void FlutterEngine::SetNextFrameCallback(std::function<void()> callback) {
  nextFrameCallback_ = std::move(callback);
  if (engineHandle_ != nullptr) {
    FlutterDesktopEngineSetNextFrameCallback(engineHandle_, &DispatchNextFrame, this);
  }
}

FlutterDesktopEngineRef FlutterEngine::HandOverEngine() {
  ownsEngine_ = false;
  return engineHandle_;
}

void FlutterEngine::DispatchNextFrame(void* user_data) {
  auto* engine = static_cast<FlutterEngine*>(user_data);
  // Taken out before it runs: a callback that asks for another frame must not have its new
  // callback destroyed when this one finishes.
  std::function<void()> callback = std::move(engine->nextFrameCallback_);
  engine->nextFrameCallback_ = nullptr;
  if (callback) callback();
}

}  // namespace flutter
