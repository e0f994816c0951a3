// Test-only entry points of the stand-in runtime, beyond the runtime's own functions.
//
// They are not in the runtime's import library: callers look them up with
// GetProcAddress(GetModuleHandleA("flutter_windows.dll"), "<name>"), so the product never
// depends on them. All of them are called on the UI thread unless noted.
#ifndef ORVANTA_STANDINS_FLUTTER_WINDOWS_STANDIN_HOOKS_H_
#define ORVANTA_STANDINS_FLUTTER_WINDOWS_STANDIN_HOOKS_H_

#include <cstddef>
#include <cstdint>

extern "C" {

// Receives the host's answer to one delivered message, once, on whatever thread the host
// answers. Never called when the host leaves the message unanswered or its engine ends first.
typedef void (*OrvantaStandinResponseCallback)(const uint8_t* data, size_t size, void* user_data);

// "OrvantaStandinDeliverMessage": hands `data` to the host's callback for `channel` on the
// newest live engine, as an incoming message. Returns 0 when a callback took it, 1 when no
// callback is registered for the channel (or there is no engine).
typedef int (*OrvantaStandinDeliverMessageFn)(const char* channel, const uint8_t* data, size_t size,
                                              OrvantaStandinResponseCallback on_response,
                                              void* user_data);

// "OrvantaStandinDescribeState": writes the state JSON (as "standin/state" answers it),
// truncated to `capacity` bytes, and returns its full length.
typedef size_t (*OrvantaStandinDescribeStateFn)(char* buffer, size_t capacity);

// "OrvantaStandinChannelUserData": the user data registered with the callback of `channel`
// on the newest live engine, or null when the channel has no callback.
typedef void* (*OrvantaStandinChannelUserDataFn)(const char* channel);

// "OrvantaStandinRecordPluginRegistration": called by the plug-in stand-ins when their
// registration function is entered, with the COM apartment of the calling thread ("STA",
// "MTA", "NA" or "none"), as a real plug-in that uses COM would find it. Any thread.
typedef void (*OrvantaStandinRecordPluginRegistrationFn)(const char* plugin_library,
                                                         void* registrar, const char* apartment);

}  // extern "C"

#endif  // ORVANTA_STANDINS_FLUTTER_WINDOWS_STANDIN_HOOKS_H_
