// The UI bridge: a loopback TCP listener through which tests and people play the UI program.
//
// Requests are read on bridge threads, queued, and served on the UI thread by the view window
// (ServeBridgeQueue); each connection waits for its answer before reading the next request.
// Protocol, all integers unsigned 32-bit little-endian:
//   request:  name length, channel name (UTF-8), message length, message bytes
//   response: status, length, bytes (status 0: the host's answer; 1: no handler)
// A request that can never be answered (the view or engine is gone) closes the connection.
#ifndef ORVANTA_STANDINS_FLUTTER_WINDOWS_UI_BRIDGE_H_
#define ORVANTA_STANDINS_FLUTTER_WINDOWS_UI_BRIDGE_H_

#include <string>

#include "standins/flutter_windows/standin_runtime.h"

namespace standin {

// Starts listening when ORVANTA_UI_BRIDGE_PORT holds a port; once per process.
void StartBridgeIfConfigured();

// Serves every queued request; called on the UI thread by the view window. A request may
// end the view controller (the host tears down on "standin/endsession"), so nothing of the
// controller is used past the request that ended it.
void ServeBridgeQueue();

// The JSON that "standin/state" answers; called on the UI thread.
std::string DescribeState();

}  // namespace standin

#endif  // ORVANTA_STANDINS_FLUTTER_WINDOWS_UI_BRIDGE_H_
