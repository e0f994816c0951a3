#include "network_speed/network_speed_service.h"

#include <iostream>
#include <utility>

namespace {

constexpr double kMinimumIntervalSeconds = 0.1;

void LogLine(const char* text) { std::cout << text << std::endl; }

}  // namespace

NetworkSpeedService::NetworkSpeedService() : NetworkSpeedService(InterfaceTableSource::System()) {}

NetworkSpeedService::NetworkSpeedService(InterfaceTableSource tableSource)
    : source(std::move(tableSource)) {}

NetworkSpeedService::~NetworkSpeedService() { Cleanup(); }

bool NetworkSpeedService::Initialize() {
  if (initialized) return true;
  std::vector<InterfaceCounters> rows;
  if (!ReadOperationalRows(source, &rows)) {
    LogLine("Failed to get initial network interfaces");
    return false;
  }
  lastRows = std::move(rows);
  lastTick = source.getTickCount();
  initialized = true;
  LogLine("NetworkSpeedService initialized successfully");
  return true;
}

NetworkSpeed NetworkSpeedService::GetSpeed() {
  if (!initialized) return {0.0, 0.0};

  // The clock comes first: a call inside the minimum interval must not cost a table read.
  const uint32_t now = source.getTickCount();
  // Unsigned subtraction keeps the interval right across the tick counter's wrap after
  // about 49.7 days.
  const double elapsedSeconds = static_cast<double>(static_cast<uint32_t>(now - lastTick)) / 1000.0;
  if (kMinimumIntervalSeconds > elapsedSeconds) return {0.0, 0.0};

  std::vector<InterfaceCounters> rows;
  if (!ReadOperationalRows(source, &rows)) rows.clear();

  const NetworkSpeed speed = MeasureRates(lastRows, rows, elapsedSeconds);
  lastRows = std::move(rows);
  lastTick = now;
  return speed;
}

void NetworkSpeedService::Cleanup() {
  if (!initialized) return;
  lastRows.clear();
  initialized = false;
  LogLine("NetworkSpeedService cleaned up");
}
