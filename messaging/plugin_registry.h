// A source of plug-in registrars: each UI plug-in library registers itself with the registrar
// it gets here. The registrar belongs to the runtime engine; callers do not own it.
#ifndef ORVANTA_MESSAGING_PLUGIN_REGISTRY_H_
#define ORVANTA_MESSAGING_PLUGIN_REGISTRY_H_

#include <string>

#include "messaging/flutter_windows_api.h"

namespace flutter {

class PluginRegistry {
 public:
  PluginRegistry() = default;
  virtual ~PluginRegistry() = default;

  PluginRegistry(const PluginRegistry&) = delete;
  PluginRegistry& operator=(const PluginRegistry&) = delete;

  // Null when there is no running engine to register with.
  virtual FlutterDesktopPluginRegistrarRef GetPluginRegistrar(const std::string& plugin_name) = 0;
};

}  // namespace flutter

#endif  // ORVANTA_MESSAGING_PLUGIN_REGISTRY_H_
