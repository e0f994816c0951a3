// The call handler of the "network_speed_channel" method channel.
//
// "initNetworkSpeed" starts the measurement and answers the bool of Initialize;
// "getNetworkSpeed" answers the map {"downloadSpeed", "uploadSpeed"} of the service's rates
// in kibibytes per second, unchanged; any other name is answered with the error
// "INVALID_METHOD". Argument values are ignored. Each step is logged to standard output.
//
// The handler keeps no state: it uses the service it is handed, which the UI window owns, and
// answers every call exactly once through `result`, which it takes over and releases before
// it returns.
#ifndef ORVANTA_CHANNELS_NETWORK_SPEED_CHANNEL_H_
#define ORVANTA_CHANNELS_NETWORK_SPEED_CHANNEL_H_

#include <memory>

#include "messaging/encodable_value.h"
#include "messaging/method_call.h"
#include "messaging/method_result.h"
#include "network_speed/network_speed_service.h"

void HandleNetworkSpeedCall(NetworkSpeedService& service,
                            const flutter::MethodCall<flutter::EncodableValue>& call,
                            std::unique_ptr<flutter::MethodResult<flutter::EncodableValue>> result);

#endif  // ORVANTA_CHANNELS_NETWORK_SPEED_CHANNEL_H_
