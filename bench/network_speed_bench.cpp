// Times one NetworkSpeedService::GetSpeed call and the row pairing behind it.
//
//   GetSpeed, scripted table: the whole call (clock, table read, filter, pairing, sums) over a
//     table of N interfaces that are up, which the fake allocates and fills by copying, as
//     GetIfTable2 does.
//   GetSpeed, real table: the same call with the system's GetIfTable2 (clock scripted so every
//     call measures instead of hitting the 100 ms rule), and how many table reads one sample
//     makes.
//   Pairing: MeasureRates alone with the previous snapshot sorted (the normal case) and
//     shuffled (sorted index built per call), against a front-to-back scan per row (the
//     quadratic reference) and a hash-map index.
//
// Each figure is the mean over a batch of calls that lasted at least 50 ms.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
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

// A prepared interface table of `count` rows that are up, whose counters grow on every read.
class FakeTable {
 public:
  explicit FakeTable(size_t count) : rows_(count) {
    for (size_t i = 0; i < count; ++i) {
      rows_[i].InterfaceIndex = static_cast<NET_IFINDEX>(i + 1);
      rows_[i].OperStatus = IfOperStatusUp;
    }
  }

  InterfaceTableSource Source() {
    InterfaceTableSource source;
    source.getIfTable2 = [this](OwnedInterfaceTable* table) -> DWORD {
      const size_t bytes =
          offsetof(MIB_IF_TABLE2, Table) + std::max<size_t>(rows_.size(), 1) * sizeof(MIB_IF_ROW2);
      auto* filled = static_cast<MIB_IF_TABLE2*>(std::malloc(bytes));
      if (filled == nullptr) return ERROR_NOT_ENOUGH_MEMORY;
      *table = OwnedInterfaceTable(filled, {[](MIB_IF_TABLE2* t) { std::free(t); }});
      filled->NumEntries = static_cast<ULONG>(rows_.size());
      for (MIB_IF_ROW2& row : rows_) {
        row.InOctets += 1500;
        row.OutOctets += 400;
      }
      std::memcpy(filled->Table, rows_.data(), rows_.size() * sizeof(MIB_IF_ROW2));
      return NO_ERROR;
    };
    source.getTickCount = [this] { return tick_ += 1000; };
    return source;
  }

 private:
  std::vector<MIB_IF_ROW2> rows_;
  DWORD tick_ = 0;
};

std::vector<InterfaceCounters> Rows(size_t count, uint64_t growth) {
  std::vector<InterfaceCounters> rows(count);
  for (size_t i = 0; i < count; ++i) {
    rows[i] = {static_cast<uint32_t>(i + 1), i * growth, i * growth};
  }
  return rows;
}

double Grown(uint64_t before, uint64_t now) {
  return static_cast<double>(now < before ? 0 : now - before);
}

NetworkSpeed ScanPairing(const std::vector<InterfaceCounters>& previous,
                         const std::vector<InterfaceCounters>& current, double elapsed) {
  NetworkSpeed speed{0.0, 0.0};
  for (const InterfaceCounters& row : current) {
    for (const InterfaceCounters& before : previous) {
      if (before.index != row.index) continue;
      speed.download += Grown(before.inOctets, row.inOctets) / 1024.0 / elapsed;
      speed.upload += Grown(before.outOctets, row.outOctets) / 1024.0 / elapsed;
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
    speed.download += Grown(before.inOctets, row.inOctets) / 1024.0 / elapsed;
    speed.upload += Grown(before.outOctets, row.outOctets) / 1024.0 / elapsed;
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
  long long reads = 0;
  const auto read = source.getIfTable2;
  source.getIfTable2 = [&reads, read](OwnedInterfaceTable* table) {
    ++reads;
    return read(table);
  };
  DWORD tick = 0;
  source.getTickCount = [&tick] { return tick += 1000; };

  OwnedInterfaceTable table;
  std::vector<InterfaceCounters> counted;
  if (source.getIfTable2(&table) != NO_ERROR || !table || !ReadOperationalRows(source, &counted)) {
    std::printf("GetSpeed, real table: the table could not be read\n");
    return;
  }
  NetworkSpeedService service(source);
  service.Initialize();
  long long samples = 0;
  reads = 0;
  const double ns = NanosecondsPerCall([&] {
    g_sink = g_sink + service.GetSpeed().download;
    ++samples;
  });
  std::printf(
      "GetSpeed, real table (%lu rows, %zu counted): %10.0f ns/call, %.2f table reads/call\n",
      static_cast<unsigned long>(table->NumEntries), counted.size(), ns,
      static_cast<double>(reads) / static_cast<double>(samples));
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
