#include "network_speed/network_speed_service.h"

#include "support/log_line.h"

#include <iostream>
#include <utility>

namespace {

constexpr double kMinimumIntervalSeconds = 0.1;

void LogLine(const char* text) { orvanta::WriteLogLine(std::cout, "", text); }

}  // namespace

NetworkSpeedService::NetworkSpeedService() : NetworkSpeedService(InterfaceTableSource::System()) {}

NetworkSpeedService::NetworkSpeedService(InterfaceTableSource tableSource)
    : source_(std::move(tableSource)) {}

NetworkSpeedService::~NetworkSpeedService() { Cleanup(); }

bool NetworkSpeedService::Initialize() {
  if (initialized_) return true;
  std::vector<InterfaceCounters> rows;
  if (!ReadOperationalRows(source_, &rows)) {
    LogLine("Failed to get initial network interfaces");
    return false;
  }
  lastRows_ = std::move(rows);
  lastTick_ = source_.getTickCount();
  initialized_ = true;
  LogLine("NetworkSpeedService initialized successfully");
  return true;
}

NetworkSpeed NetworkSpeedService::GetSpeed() {
  if (!initialized_) return {0.0, 0.0};

  // The clock comes first: a call inside the minimum interval must not cost a table read.
  const uint32_t now = source_.getTickCount();
  // Unsigned subtraction keeps the interval right across the tick counter's wrap after
  // about 49.7 days.
  const double elapsedSeconds =
      static_cast<double>(static_cast<uint32_t>(now - lastTick_)) / 1000.0;
  if (kMinimumIntervalSeconds > elapsedSeconds) return {0.0, 0.0};

  std::vector<InterfaceCounters> rows;
  if (!ReadOperationalRows(source_, &rows)) rows.clear();

  const NetworkSpeed speed = MeasureRates(lastRows_, rows, elapsedSeconds);
  lastRows_ = std::move(rows);
  lastTick_ = now;
  return speed;
}

void NetworkSpeedService::Cleanup() {
  if (!initialized_) return;
  lastRows_.clear();
  initialized_ = false;
  LogLine("NetworkSpeedService cleaned up");
}
