// NetworkSpeedService against a scripted interface table and clock: the arithmetic, the
// snapshot rules, the order of the reads and every failure path of a table read.
#include "network_speed/network_speed_service.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "tests/network_speed/scripted_interface_table.h"
#include "tests/support/stream_capture.h"

namespace {

using Row = ScriptedInterfaceTable::Row;
constexpr DWORD kUp = ScriptedInterfaceTable::kUp;
constexpr DWORD kDown = ScriptedInterfaceTable::kDown;
const std::string kInitialized = "NetworkSpeedService initialized successfully";
const std::string kCleanedUp = "NetworkSpeedService cleaned up";
const std::string kInitFailed = "Failed to get initial network interfaces";

using Lines = std::vector<std::string>;

TEST(NetworkSpeedServiceTest, UninitializedServiceAnswersZerosWithoutTouchingTableOrClock) {
  ScriptedInterfaceTable table;
  table.rows = {{1, kUp, 100, 200}};
  StdoutCapture out;
  {
    NetworkSpeedService service(table.Source());
    table.rows[0].inOctets = 5000000;
    table.tick = 10000;
    const NetworkSpeed speed = service.GetSpeed();
    EXPECT_EQ(speed.download, 0.0);
    EXPECT_EQ(speed.upload, 0.0);
    service.Cleanup();
  }
  EXPECT_EQ(table.events, "") << "construction, GetSpeed, Cleanup and destruction read nothing";
  EXPECT_EQ(out.Text(), "") << "Cleanup of a never initialized service logs nothing";
}

TEST(NetworkSpeedServiceTest, InitializeReadsTableThenClockAndSecondInitializeKeepsBaseline) {
  ScriptedInterfaceTable table;
  table.rows = {{7, kUp, 1000, 2000}};
  table.tick = 5000;
  StdoutCapture out;
  NetworkSpeedService service(table.Source());

  ASSERT_TRUE(service.Initialize());
  EXPECT_EQ(table.events, "SFK") << "the tick of a baseline is read after the table";
  EXPECT_FALSE(table.sawUnsortedRequest);
  EXPECT_FALSE(table.sawDirtyBuffer);
  EXPECT_EQ(out.Lines(), Lines{kInitialized});
  EXPECT_TRUE(out.AllFlushed());

  // A second Initialize must neither read nor move the baseline.
  table.rows[0].inOctets += 1024;
  table.tick = 6000;
  out.Clear();
  table.events.clear();
  EXPECT_TRUE(service.Initialize());
  EXPECT_EQ(table.events, "");
  EXPECT_EQ(out.Text(), "");

  table.rows[0].inOctets += 1024;
  table.tick = 7000;  // 2 s after the first baseline, 2048 bytes since then
  const NetworkSpeed speed = service.GetSpeed();
  EXPECT_EQ(table.events, "KSF") << "GetSpeed reads the clock before the table";
  EXPECT_EQ(speed.download, 1.0);
  EXPECT_EQ(speed.upload, 0.0);
}

TEST(NetworkSpeedServiceTest, RatesAreKibibytesPerSecondOverTheElapsedTicks) {
  ScriptedInterfaceTable table;
  table.rows = {{3, kUp, 0, 0}};
  table.tick = 20000;
  NetworkSpeedService service(table.Source());
  ASSERT_TRUE(service.Initialize());

  table.rows[0].inOctets = 1048576;
  table.rows[0].outOctets = 204800;
  table.tick = 22000;
  NetworkSpeed speed = service.GetSpeed();
  EXPECT_EQ(speed.download, 512.0);
  EXPECT_EQ(speed.upload, 100.0);

  // The new snapshot is the next baseline.
  table.rows[0].inOctets += 3 * 1024;
  table.tick = 23500;
  speed = service.GetSpeed();
  EXPECT_EQ(speed.download, 2.0);
  EXPECT_EQ(speed.upload, 0.0);
}

TEST(NetworkSpeedServiceTest, CallsCloserThan100MsAnswerZerosAndKeepTheBaseline) {
  ScriptedInterfaceTable table;
  table.rows = {{1, kUp, 0, 0}};
  table.tick = 1000;
  NetworkSpeedService service(table.Source());
  ASSERT_TRUE(service.Initialize());

  table.rows[0].inOctets = 10240;
  table.tick = 1050;
  table.events.clear();
  NetworkSpeed speed = service.GetSpeed();
  EXPECT_EQ(speed.download, 0.0);
  EXPECT_EQ(table.TableReads(), 0u) << "a call inside 100 ms takes no snapshot";

  table.rows[0].inOctets = 20480;
  table.tick = 1099;
  EXPECT_EQ(service.GetSpeed().download, 0.0);

  table.tick = 2000;  // the whole second since the baseline counts
  speed = service.GetSpeed();
  EXPECT_EQ(speed.download, 20.0);

  // Exactly 100 ms is long enough.
  table.rows[0].inOctets += 1024;
  table.tick = 2100;
  EXPECT_EQ(service.GetSpeed().download, 10.0);
}

TEST(NetworkSpeedServiceTest, CounterAndTickWrapsAreTakenModulo2To32) {
  ScriptedInterfaceTable table;
  table.rows = {{1, kUp, 4294967296u - 296u, 4294967295u}};
  table.tick = 4294967296u - 500u;  // 49.7 days after system start
  NetworkSpeedService service(table.Source());
  ASSERT_TRUE(service.Initialize());

  table.rows[0].inOctets = 500;    // 796 bytes across the wrap
  table.rows[0].outOctets = 1023;  // 1024 bytes across the wrap
  table.tick = 500;                // 1000 ms across the wrap
  const NetworkSpeed speed = service.GetSpeed();
  EXPECT_EQ(speed.download, 796.0 / 1024.0);
  EXPECT_EQ(speed.upload, 1.0);
}

TEST(NetworkSpeedServiceTest, OnlyInterfacesOperationalAtBothSnapshotsCount) {
  ScriptedInterfaceTable table;
  table.rows = {
      {1, kUp, 0, 0},        // counts
      {2, kUp, 1000, 1000},  // counts
      {3, kDown, 0, 0},      // operational only at the second snapshot
      {4, kUp, 0, 0},        // operational only at the first snapshot
  };
  table.tick = 0;
  NetworkSpeedService service(table.Source());
  ASSERT_TRUE(service.Initialize());

  table.rows =
      {
          {1, kUp, 1024, 2048},       {2, kUp, 1000 + 3072, 1000 + 4096},
          {3, kUp, 1 << 20, 1 << 20}, {4, kDown, 1 << 20, 1 << 20},
          {5, kUp, 1 << 20, 1 << 20},  // not present at the first snapshot
      };
  table.tick = 1000;
  NetworkSpeed speed = service.GetSpeed();
  EXPECT_EQ(speed.download, 4.0);
  EXPECT_EQ(speed.upload, 6.0);

  // Interfaces 3 and 5 are in the baseline now; 4 is not, so its first operational snapshot
  // only starts its count.
  table.rows[2].inOctets += 1024;
  table.rows[3].operStatus = kUp;
  table.rows[3].inOctets += 1024 * 1024;
  table.rows[4].outOctets += 2048;
  table.tick = 2000;
  speed = service.GetSpeed();
  EXPECT_EQ(speed.download, 1.0);
  EXPECT_EQ(speed.upload, 2.0);
}

TEST(NetworkSpeedServiceTest, FailedReadDuringGetSpeedAnswersZerosSilentlyUntilTheCallAfterNext) {
  ScriptedInterfaceTable table;
  table.rows = {{1, kUp, 0, 0}};
  NetworkSpeedService service(table.Source());
  ASSERT_TRUE(service.Initialize());
  StdoutCapture out;

  table.rows[0].inOctets = 1024;
  table.tick = 1000;
  table.failSizingCalls = 1;
  EXPECT_EQ(service.GetSpeed().download, 0.0);

  table.rows[0].inOctets = 2048;
  table.tick = 2000;
  EXPECT_EQ(service.GetSpeed().download, 0.0) << "the empty baseline pairs nothing";

  table.rows[0].inOctets = 4096;
  table.tick = 3000;
  EXPECT_EQ(service.GetSpeed().download, 2.0);
  EXPECT_EQ(out.Text(), "");
}

TEST(NetworkSpeedServiceTest, FailedInitializeLogsAndLeavesServiceUninitialized) {
  ScriptedInterfaceTable table;
  table.rows = {{1, kUp, 0, 0}};
  table.failSizingCalls = 1;
  StdoutCapture out;
  {
    NetworkSpeedService service(table.Source());
    EXPECT_FALSE(service.Initialize());
    EXPECT_EQ(out.Lines(), Lines{kInitFailed});
    EXPECT_TRUE(out.AllFlushed());
    EXPECT_EQ(table.events, "S") << "no tick is read for a failed baseline";

    table.events.clear();
    table.tick = 5000;
    EXPECT_EQ(service.GetSpeed().download, 0.0);
    EXPECT_EQ(table.events, "") << "still uninitialized: GetSpeed reads nothing";
    service.Cleanup();
    EXPECT_EQ(out.Lines(), Lines{kInitFailed}) << "Cleanup after a failed Initialize is silent";

    // The UI may ask again; then the service works.
    out.Clear();
    EXPECT_TRUE(service.Initialize());
    table.rows[0].inOctets = 1024;
    table.tick = 6000;
    EXPECT_EQ(service.GetSpeed().download, 1.0);
  }
  EXPECT_EQ(out.Lines(), (Lines{kInitialized, kCleanedUp})) << "destruction runs Cleanup";
  EXPECT_TRUE(out.AllFlushed());
}

TEST(NetworkSpeedServiceTest, CleanupForgetsBaselineAndNextInitializeTakesANewOne) {
  ScriptedInterfaceTable table;
  table.rows = {{1, kUp, 0, 0}};
  StdoutCapture out;
  NetworkSpeedService service(table.Source());
  ASSERT_TRUE(service.Initialize());
  service.Cleanup();
  service.Cleanup();
  EXPECT_EQ(out.Lines(), (Lines{kInitialized, kCleanedUp})) << "only the first Cleanup logs";

  table.tick = 1000;
  EXPECT_EQ(service.GetSpeed().download, 0.0);

  table.rows[0].inOctets = 1 << 20;
  table.tick = 2000;
  ASSERT_TRUE(service.Initialize());
  table.rows[0].inOctets += 1024;
  table.tick = 3000;
  EXPECT_EQ(service.GetSpeed().download, 1.0) << "measured from the new baseline only";
  EXPECT_EQ(out.Lines(), (Lines{kInitialized, kCleanedUp, kInitialized}));
}

TEST(NetworkSpeedServiceTest, MisbehavingTableReadsFailTheSnapshot) {
  struct Case {
    const char* description;
    void (*script)(ScriptedInterfaceTable&);
    const char* events;
  };
  const Case cases[] = {
      {"sizing call answers an error", [](ScriptedInterfaceTable& t) { t.failSizingCalls = 1; },
       "S"},
      {"sizing call answers success without a buffer",
       [](ScriptedInterfaceTable& t) { t.sizingAnswer = NO_ERROR; }, "S"},
      {"filling call answers an error", [](ScriptedInterfaceTable& t) { t.failFillingCalls = 1; },
       "SF"},
      {"table grew between the calls", [](ScriptedInterfaceTable& t) { t.growBetweenCalls = true; },
       "SF"},
      {"size below the table header",
       [](ScriptedInterfaceTable& t) {
         t.sizeShrink =
             static_cast<ULONG>(offsetof(MIB_IFTABLE, table) + 2 * sizeof(MIB_IFROW) - 1);
       },
       "S"},
      {"entry count beyond the buffer", [](ScriptedInterfaceTable& t) { t.claimExtraEntries = 1; },
       "SF"},
      {"entry count far beyond the buffer",
       [](ScriptedInterfaceTable& t) { t.claimExtraEntries = 0xFFFFFFF0u; }, "SF"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.description);
    ScriptedInterfaceTable table;
    table.rows = {{1, kUp, 0, 0}, {2, kUp, 0, 0}};
    c.script(table);
    StdoutCapture out;
    NetworkSpeedService service(table.Source());
    EXPECT_FALSE(service.Initialize());
    EXPECT_EQ(table.events, c.events);
    EXPECT_EQ(out.Lines(), Lines{kInitFailed});
  }
}

TEST(NetworkSpeedServiceTest, EmptyOperationalTableIsASuccessfulSnapshot) {
  ScriptedInterfaceTable table;
  table.rows = {{1, kDown, 0, 0}};
  NetworkSpeedService service(table.Source());
  EXPECT_TRUE(service.Initialize());
  table.rows.clear();
  table.tick = 1000;
  EXPECT_EQ(service.GetSpeed().download, 0.0);
  table.rows = {{1, kUp, 0, 0}};
  table.tick = 2000;
  EXPECT_EQ(service.GetSpeed().download, 0.0);
  table.rows[0].inOctets = 2048;
  table.tick = 3000;
  EXPECT_EQ(service.GetSpeed().download, 2.0);
}

// The front-to-back scan for the first stored row with the same index, summed in the order of
// the new rows: what MeasureRates must reproduce bit for bit, whatever order or duplicates
// the snapshots have.
NetworkSpeed ReferenceRates(const std::vector<InterfaceCounters>& previous,
                            const std::vector<InterfaceCounters>& current, double elapsed) {
  NetworkSpeed speed{0.0, 0.0};
  for (const InterfaceCounters& row : current) {
    for (const InterfaceCounters& before : previous) {
      if (before.index != row.index) continue;
      speed.download += static_cast<double>(static_cast<uint32_t>(row.inOctets - before.inOctets)) *
                        0.0009765625 / elapsed;
      speed.upload += static_cast<double>(static_cast<uint32_t>(row.outOctets - before.outOctets)) *
                      0.0009765625 / elapsed;
      break;
    }
  }
  return speed;
}

TEST(MeasureRatesTest, PairsEachRowWithTheFirstStoredRowOfItsIndexInAnyOrder) {
  // Duplicated indices in the stored snapshot: the first one is the partner.
  const std::vector<InterfaceCounters> sortedWithDuplicates = {{1, 0, 0}, {2, 100, 0}, {2, 0, 0}};
  const std::vector<InterfaceCounters> unsortedWithDuplicates = {{2, 100, 0}, {1, 0, 0}, {2, 0, 0}};
  const std::vector<InterfaceCounters> now = {{2, 1124, 0}};
  EXPECT_EQ(MeasureRates(sortedWithDuplicates, now, 1.0).download, 1.0);
  EXPECT_EQ(MeasureRates(unsortedWithDuplicates, now, 1.0).download, 1.0);
  EXPECT_EQ(MeasureRates({}, now, 1.0).download, 0.0);
  EXPECT_EQ(MeasureRates(now, {}, 1.0).download, 0.0);

  std::mt19937 random(12345);
  for (int round = 0; round < 300; ++round) {
    const size_t size = 1 + random() % 80;
    const uint32_t indexRange = 1 + static_cast<uint32_t>(random() % (2 * size));
    auto makeRows = [&] {
      std::vector<InterfaceCounters> rows(random() % (size + 1));
      for (InterfaceCounters& r : rows) {
        r = {static_cast<uint32_t>(random() % indexRange), static_cast<uint32_t>(random()),
             static_cast<uint32_t>(random())};
      }
      if (round % 3 == 0) {
        std::sort(rows.begin(), rows.end(),
                  [](const InterfaceCounters& a, const InterfaceCounters& b) {
                    return a.index < b.index;
                  });
      }
      return rows;
    };
    const std::vector<InterfaceCounters> previous = makeRows();
    const std::vector<InterfaceCounters> current = makeRows();
    const double elapsed = 0.1 + static_cast<double>(random() % 5000) / 1000.0;
    const NetworkSpeed expected = ReferenceRates(previous, current, elapsed);
    const NetworkSpeed actual = MeasureRates(previous, current, elapsed);
    ASSERT_EQ(actual.download, expected.download) << "round " << round;
    ASSERT_EQ(actual.upload, expected.upload) << "round " << round;
  }
}

}  // namespace
