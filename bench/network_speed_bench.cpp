// Times one NetworkSpeedService::GetSpeed call and the row pairing behind it.
//
//   GetSpeed, scripted table: the whole call (clock, two-call table read, filter, pairing,
//     sums) over a table of N operational interfaces that the fake fills by copying, as the
//     system does.
//   GetSpeed, real table: the same call with the system's GetIfTable (clock scripted so every
//     call measures instead of hitting the 100 ms rule).
//   Pairing: MeasureRates alone with the previous snapshot sorted (the normal case) and
//     shuffled (sorted index built per call), against a front-to-back scan per row (the
//     quadratic reference) and a hash-map index.
//
// Each figure is the mean over a batch of calls that lasted at least 50 ms.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <numeric>
#include <random>
#include <unordered_map>
#include <vector>

#include "network_speed/interface_counters.h"
#include "network_speed/interface_table.h"
#include "network_speed/network_speed_service.h"

namespace {

volatile double g_sink = 0.0;

template <typename Body>
double NanosecondsPerCall(Body&& body) {
  // Batches grow until one lasts 50 ms, so reading the clock (slow under Wine) does not count.
  using Clock = std::chrono::steady_clock;
  for (long long batch = 1;; batch *= 2) {
    const auto start = Clock::now();
    for (long long i = 0; i < batch; ++i) body();
    const auto spent = Clock::now() - start;
    if (spent >= std::chrono::milliseconds(50) || batch >= (1LL << 30)) {
      return static_cast<double>(
                 std::chrono::duration_cast<std::chrono::nanoseconds>(spent).count()) /
             static_cast<double>(batch);
    }
  }
}

// A prepared interface table of `count` operational rows whose counters grow on every read.
class FakeTable {
 public:
  explicit FakeTable(size_t count)
      : bytes_(offsetof(MIB_IFTABLE, table) + count * sizeof(MIB_IFROW)) {
    auto* table = reinterpret_cast<MIB_IFTABLE*>(bytes_.data());
    table->dwNumEntries = static_cast<DWORD>(count);
    for (size_t i = 0; i < count; ++i) {
      MIB_IFROW& row = *(table->table + i);
      row.dwIndex = static_cast<DWORD>(i + 1);
      row.dwOperStatus = static_cast<decltype(row.dwOperStatus)>(MIB_IF_OPER_STATUS_OPERATIONAL);
    }
  }

  InterfaceTableSource Source() {
    InterfaceTableSource source;
    source.getIfTable = [this](PMIB_IFTABLE table, PULONG size, BOOL) -> DWORD {
      const ULONG needed = static_cast<ULONG>(bytes_.size());
      if (table == nullptr || *size < needed) {
        *size = needed;
        return ERROR_INSUFFICIENT_BUFFER;
      }
      auto* mine = reinterpret_cast<MIB_IFTABLE*>(bytes_.data());
      for (DWORD i = 0; i < mine->dwNumEntries; ++i) {
        (mine->table + i)->dwInOctets += 1500;
        (mine->table + i)->dwOutOctets += 400;
      }
      std::memcpy(table, bytes_.data(), bytes_.size());
      return NO_ERROR;
    };
    source.getTickCount = [this] { return tick_ += 1000; };
    return source;
  }

 private:
  std::vector<unsigned char> bytes_;
  DWORD tick_ = 0;
};

std::vector<InterfaceCounters> Rows(size_t count, uint32_t growth) {
  std::vector<InterfaceCounters> rows(count);
  for (size_t i = 0; i < count; ++i) {
    rows[i] = {static_cast<uint32_t>(i + 1), static_cast<uint32_t>(i) * growth,
               static_cast<uint32_t>(i) * growth};
  }
  return rows;
}

NetworkSpeed ScanPairing(const std::vector<InterfaceCounters>& previous,
                         const std::vector<InterfaceCounters>& current, double elapsed) {
  NetworkSpeed speed{0.0, 0.0};
  for (const InterfaceCounters& row : current) {
    for (const InterfaceCounters& before : previous) {
      if (before.index != row.index) continue;
      speed.download += static_cast<double>(row.inOctets - before.inOctets) / 1024.0 / elapsed;
      speed.upload += static_cast<double>(row.outOctets - before.outOctets) / 1024.0 / elapsed;
      break;
    }
  }
  return speed;
}

NetworkSpeed HashPairing(const std::vector<InterfaceCounters>& previous,
                         const std::vector<InterfaceCounters>& current, double elapsed) {
  std::unordered_map<uint32_t, size_t> first;
  first.reserve(previous.size());
  for (size_t i = 0; i < previous.size(); ++i) first.emplace(previous[i].index, i);
  NetworkSpeed speed{0.0, 0.0};
  for (const InterfaceCounters& row : current) {
    auto it = first.find(row.index);
    if (it == first.end()) continue;
    const InterfaceCounters& before = previous[it->second];
    speed.download += static_cast<double>(row.inOctets - before.inOctets) / 1024.0 / elapsed;
    speed.upload += static_cast<double>(row.outOctets - before.outOctets) / 1024.0 / elapsed;
  }
  return speed;
}

void BenchGetSpeedScripted(size_t count) {
  FakeTable table(count);
  NetworkSpeedService service(table.Source());
  service.Initialize();
  const double ns = NanosecondsPerCall([&] { g_sink = g_sink + service.GetSpeed().download; });
  std::printf("GetSpeed, scripted table, %5zu interfaces: %10.0f ns/call\n", count, ns);
}

void BenchTableRead(size_t count) {
  FakeTable table(count);
  const InterfaceTableSource source = table.Source();
  std::vector<InterfaceCounters> rows;
  const double ns = NanosecondsPerCall([&] {
    ReadOperationalRows(source, &rows);
    g_sink = g_sink + static_cast<double>(rows.size());
  });
  std::printf("  of which the table read, %5zu interfaces: %10.0f ns/call\n", count, ns);
}

void BenchGetSpeedRealTable() {
  InterfaceTableSource source = InterfaceTableSource::System();
  DWORD tick = 0;
  source.getTickCount = [&tick] { return tick += 1000; };
  NetworkSpeedService service(source);
  if (!service.Initialize()) {
    std::printf("GetSpeed, real table: the table could not be read\n");
    return;
  }
  ULONG size = 0;
  GetIfTable(nullptr, &size, TRUE);
  const size_t rows = (size - offsetof(MIB_IFTABLE, table)) / sizeof(MIB_IFROW);
  const double ns = NanosecondsPerCall([&] { g_sink = g_sink + service.GetSpeed().download; });
  std::printf("GetSpeed, real table (%zu rows):         %10.0f ns/call\n", rows, ns);
}

void BenchPairing(size_t count) {
  const std::vector<InterfaceCounters> previous = Rows(count, 10);
  const std::vector<InterfaceCounters> current = Rows(count, 20);
  std::vector<InterfaceCounters> shuffled = previous;
  std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(7));

  const double sorted =
      NanosecondsPerCall([&] { g_sink = g_sink + MeasureRates(previous, current, 1.0).download; });
  const double unsorted =
      NanosecondsPerCall([&] { g_sink = g_sink + MeasureRates(shuffled, current, 1.0).download; });
  const double scan =
      NanosecondsPerCall([&] { g_sink = g_sink + ScanPairing(previous, current, 1.0).download; });
  const double hash =
      NanosecondsPerCall([&] { g_sink = g_sink + HashPairing(previous, current, 1.0).download; });
  std::printf(
      "Pairing, %5zu interfaces: sorted %9.0f ns, shuffled %9.0f ns, "
      "scan %10.0f ns, hash map %9.0f ns\n",
      count, sorted, unsorted, scan, hash);
}

}  // namespace

int main() {
  BenchGetSpeedScripted(64);
  BenchTableRead(64);
  BenchGetSpeedScripted(1024);
  BenchTableRead(1024);
  BenchGetSpeedRealTable();
  BenchPairing(64);
  BenchPairing(1024);
  return 0;
}
