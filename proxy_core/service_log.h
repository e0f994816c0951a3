// How the parts of the proxy core service write to the service's log: one call per message,
// which the service stamps with the time and keeps for GetLogs.
#ifndef ORVANTA_PROXY_CORE_SERVICE_LOG_H_
#define ORVANTA_PROXY_CORE_SERVICE_LOG_H_

#include <functional>
#include <string>

using ServiceLog = std::function<void(const std::string& message)>;

#endif  // ORVANTA_PROXY_CORE_SERVICE_LOG_H_
