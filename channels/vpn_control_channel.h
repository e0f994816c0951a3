// The handler of the "v2ray.windows.channel" method channel: the UI's control of the proxy
// core ("startV2Ray", "stopV2Ray", "isRunning", "getLogs", "clearSystemProxy").
//
// Stateless; `service` is the caller's one SingBoxService and must outlive the call. Every
// call is answered exactly once through `result`: service outcomes as Success with a bool
// (or the log text), an unknown method name as the error "INVALID_METHOD". Progress lines go
// to standard output with the prefix "MethodChannel: ".
#ifndef ORVANTA_CHANNELS_VPN_CONTROL_CHANNEL_H_
#define ORVANTA_CHANNELS_VPN_CONTROL_CHANNEL_H_

#include <memory>

#include "messaging/encodable_value.h"
#include "messaging/method_call.h"
#include "messaging/method_result.h"
#include "proxy_core/sing_box_service.h"

void HandleVpnControlCall(SingBoxService& service,
                          const flutter::MethodCall<flutter::EncodableValue>& call,
                          std::unique_ptr<flutter::MethodResult<flutter::EncodableValue>> result);

#endif  // ORVANTA_CHANNELS_VPN_CONTROL_CHANNEL_H_
