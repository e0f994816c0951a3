// The record a set of the system proxy leaves in the working folder as soon as its command runs,
// so that a run that ended with the proxy set (a crash, a kill) is cleaned up by the next one.
// It holds the address set and, once a refused restore turned the proxy off instead, a second
// line "cleared": the saved settings are still owed, and what that clear left counts as ours.
// It goes together with the saved settings once no view is ours any more.
#ifndef ORVANTA_PROXY_CORE_PROXY_RECORD_H_
#define ORVANTA_PROXY_CORE_PROXY_RECORD_H_

#include <windows.h>

#include <string>

enum class ProxyRecordState { kNone, kSet, kCleared };

// What the record says; kNone when there is none or it cannot be read. Anything but a cleared
// record, an earlier version's (the address alone) among it, is a set.
ProxyRecordState ReadProxyRecord();
// Replaces the record with `state` (kSet or kCleared) for `address`, making the working folder
// first; the system's error code.
DWORD WriteProxyRecord(const std::string& address, ProxyRecordState state);
// Deletes the record and the saved settings.
void ForgetProxySet();

#endif  // ORVANTA_PROXY_CORE_PROXY_RECORD_H_
