// NetworkSpeedService against a scripted interface table and clock: the arithmetic, which rows
// count, the snapshot rules, the order of the reads and the failure paths of a table read.
#include "network_speed/network_speed_service.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/network_speed/scripted_interface_table.h"
#include "tests/support/stream_capture.h"

namespace {

using Row = ScriptedInterfaceTable::Row;
using Rows = std::vector<Row>;
constexpr IF_OPER_STATUS kUp = ScriptedInterfaceTable::kUp;
constexpr IF_OPER_STATUS kDown = ScriptedInterfaceTable::kDown;
constexpr bool kFilter = ScriptedInterfaceTable::kFilter;
constexpr uint64_t k4GiB = uint64_t{1} << 32;
const std::string kInitialized = "NetworkSpeedService initialized successfully";
const std::string kCleanedUp = "NetworkSpeedService cleaned up";
const std::string kInitFailed = "Failed to get initial network interfaces";

using Lines = std::vector<std::string>;

// Which calls read the table ("T") and the clock ("K"), in which order, and what they log.
TEST(NetworkSpeedServiceTest, LifecycleReadsOnlyWhenItShouldAndLogsEachStepOnce) {
  ScriptedInterfaceTable table;
  table.rows = {{7, kUp, 1000, 2000}};
  table.tick = 5000;
  StdoutCapture out;
  {
    NetworkSpeedService service(table.Source());
    EXPECT_EQ(service.GetSpeed().download, 0.0);
    service.Cleanup();
    EXPECT_EQ(table.events, "") << "uninitialized: nothing is read";
    EXPECT_EQ(out.Text(), "") << "Cleanup of a never initialized service logs nothing";

    // A failed baseline (an error, or success without a table) logs and leaves it
    // uninitialized; the UI may ask again.
    for (const bool noTable : {false, true}) {
      table.failReads = noTable ? 0 : 1;
      table.answerNoTable = noTable;
      table.events.clear();
      EXPECT_FALSE(service.Initialize());
      EXPECT_EQ(table.events, "T") << "no tick is read for a failed baseline";
      EXPECT_EQ(service.GetSpeed().download, 0.0);
      EXPECT_EQ(table.events, "T");
    }
    table.answerNoTable = false;
    EXPECT_EQ(out.Lines(), (Lines{kInitFailed, kInitFailed}));

    table.events.clear();
    ASSERT_TRUE(service.Initialize());
    EXPECT_EQ(table.events, "TK") << "the tick of a baseline is read after the table";
    // A second Initialize neither reads nor moves the baseline.
    table.rows[0].inOctets += 1024;
    table.tick = 6000;
    EXPECT_TRUE(service.Initialize());
    table.rows[0].inOctets += 1024;
    table.tick = 7000;  // 2 s after the baseline, 2048 bytes since then
    EXPECT_EQ(service.GetSpeed().download, 1.0);
    EXPECT_EQ(table.events, "TKKT") << "GetSpeed reads the clock before the table, once";

    // Cleanup forgets the baseline (and logs once); a new Initialize starts from scratch.
    service.Cleanup();
    service.Cleanup();
    EXPECT_EQ(service.GetSpeed().download, 0.0);
    table.rows[0].inOctets = 1 << 20;
    ASSERT_TRUE(service.Initialize());
    table.rows[0].inOctets += 1024;
    table.tick = 8000;
    EXPECT_EQ(service.GetSpeed().download, 1.0) << "measured from the new baseline only";
  }
  EXPECT_EQ(out.Lines(),
            (Lines{kInitFailed, kInitFailed, kInitialized, kCleanedUp, kInitialized, kCleanedUp}))
      << "destruction runs Cleanup";
  EXPECT_TRUE(out.AllFlushed());
  EXPECT_EQ(ScriptedInterfaceTable::liveTables, 0) << "every table read was released";
}

TEST(NetworkSpeedServiceTest, RatesAreKibibytesPerSecondOverAtLeast100Ms) {
  ScriptedInterfaceTable table;
  table.rows = {{3, kUp, 0, 0}};
  table.tick = 4294967296u - 500u;  // 49.7 days after system start: the tick count wraps next
  NetworkSpeedService service(table.Source());
  ASSERT_TRUE(service.Initialize());

  table.rows[0].inOctets = 1048576;
  table.rows[0].outOctets = 204800;
  table.tick = 1500;  // 2000 ms across the wrap
  NetworkSpeed speed = service.GetSpeed();
  EXPECT_EQ(speed.download, 512.0);
  EXPECT_EQ(speed.upload, 100.0);

  // Closer than 100 ms: zeros, no snapshot; the next call measures the whole time.
  table.rows[0].inOctets += 10240;
  table.tick = 1550;
  table.events.clear();
  EXPECT_EQ(service.GetSpeed().download, 0.0);
  EXPECT_EQ(table.events, "K") << "no table is read for it";
  table.rows[0].inOctets += 10240;
  table.tick = 1599;
  EXPECT_EQ(service.GetSpeed().download, 0.0);
  table.tick = 2500;
  EXPECT_EQ(service.GetSpeed().download, 20.0);

  // Exactly 100 ms is long enough.
  table.rows[0].inOctets += 1024;
  table.tick = 2600;
  EXPECT_EQ(service.GetSpeed().download, 10.0);
}

// One measurement over 1 s between two scripted tables.
TEST(NetworkSpeedServiceTest, EachAdapterCountsOnceAndOnlyTheGrowthOfItsCounters) {
  struct Case {
    const char* description;
    double download;
    double upload;
    Rows before;
    Rows after;
  };
  const Case cases[] = {
      {"an adapter beside two of its filter interfaces, all with the same counters", 10.0, 2.0,
       Rows{{4, kUp, 0, 0}, {5, kUp, 0, 0, kFilter}, {6, kUp, 0, 0, kFilter}},
       Rows{{4, kUp, 10240, 2048}, {5, kUp, 10240, 2048, kFilter}, {6, kUp, 10240, 2048, kFilter}}},
      {"a filter interface alone, and no row counted at the first snapshot", 0.0, 0.0,
       Rows{{1, kDown, 0, 0}, {5, kUp, 0, 0, kFilter}},
       Rows{{1, kUp, 4096, 0}, {5, kUp, 4096, 4096, kFilter}}},
      {"two adapters add up", 4.0, 6.0, Rows{{1, kUp, 0, 0}, {2, kUp, 1000, 1000}},
       Rows{{1, kUp, 1024, 2048}, {2, kUp, 1000 + 3072, 1000 + 4096}}},
      {"rows not up at the new snapshot", 1.0, 0.0,
       Rows{{1, kUp, 0, 0}, {2, kUp, 0, 0}, {3, kUp, 0, 0}},
       Rows{{1, kUp, 1024, 0}, {2, kDown, 4096, 0}, {3, IfOperStatusDormant, 4096, 0}}},
      {"rows not up, or absent, at the previous snapshot", 1.0, 0.0,
       Rows{{1, kDown, 0, 0}, {2, kUp, 0, 0}},
       Rows{{1, kUp, 4096, 0}, {2, kUp, 1024, 0}, {3, kUp, 4096, 0}}},
      {"counters crossing 2^32", 796.0 / 1024.0, 1.0, Rows{{1, kUp, k4GiB - 296, k4GiB - 1}},
       Rows{{1, kUp, k4GiB + 500, k4GiB + 1023}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.description);
    ScriptedInterfaceTable table;
    table.rows = c.before;
    NetworkSpeedService service(table.Source());
    ASSERT_TRUE(service.Initialize());
    table.rows = c.after;
    table.tick = 1000;
    const NetworkSpeed speed = service.GetSpeed();
    EXPECT_EQ(speed.download, c.download);
    EXPECT_EQ(speed.upload, c.upload);
    EXPECT_EQ(ScriptedInterfaceTable::liveTables, 0) << "every table read was released";
  }
}

// A second adapter's 1 KiB/s counts all along, except across a failed read, which answers
// zeros without a word and leaves an empty snapshot that pairs nothing.
TEST(NetworkSpeedServiceTest, AdapterThatWentDownWasResetOrUnreadCountsAgainFromItsNextSnapshot) {
  ScriptedInterfaceTable table;
  table.rows = {{1, kUp, 1000, 1000}, {2, kUp, 0, 0}};
  NetworkSpeedService service(table.Source());
  ASSERT_TRUE(service.Initialize());
  StdoutCapture out;
  const struct {
    const char* description;
    Row adapter;
    bool readFails;
    double download;
    double upload;
  } steps[] = {
      {"down: its traffic is not counted", {1, kDown, 9000, 9000}, false, 1.0, 0.0},
      {"up again with reset counters: no partner yet", {1, kUp, 100, 100}, false, 1.0, 0.0},
      {"up since the last snapshot: counts", {1, kUp, 100 + 2048, 100 + 1024}, false, 3.0, 1.0},
      {"received count reset between snapshots: no spike", {1, kUp, 50, 2148}, false, 1.0, 1.0},
      {"counts from the reset value", {1, kUp, 50 + 3072, 2148}, false, 4.0, 0.0},
      {"the table cannot be read", {1, kUp, 4146, 2148}, true, 0.0, 0.0},
      {"the empty snapshot pairs nothing", {1, kUp, 5170, 2148}, false, 0.0, 0.0},
      {"counts from the snapshot after", {1, kUp, 5170 + 2048, 2148}, false, 3.0, 0.0},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.description);
    table.rows[0] = step.adapter;
    table.rows[1].inOctets += 1024;
    table.tick += 1000;
    table.failReads = step.readFails ? 1 : 0;
    const NetworkSpeed speed = service.GetSpeed();
    EXPECT_EQ(speed.download, step.download);
    EXPECT_EQ(speed.upload, step.upload);
  }
  EXPECT_EQ(out.Text(), "");
}

TEST(MeasureRatesTest, PairsEachRowWithTheFirstStoredRowOfItsIndexInAnyOrder) {
  // Duplicated indices in the stored snapshot: the first one is the partner.
  const std::vector<InterfaceCounters> sortedWithDuplicates = {{1, 0, 0}, {2, 100, 0}, {2, 0, 0}};
  const std::vector<InterfaceCounters> unsortedWithDuplicates = {{2, 100, 0}, {1, 0, 0}, {2, 0, 0}};
  const std::vector<InterfaceCounters> now = {{2, 1124, 0}};
  EXPECT_EQ(MeasureRates(sortedWithDuplicates, now, 1.0).download, 1.0);
  EXPECT_EQ(MeasureRates(unsortedWithDuplicates, now, 1.0).download, 1.0);
}

}  // namespace
