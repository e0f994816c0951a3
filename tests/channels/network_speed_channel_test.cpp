// HandleNetworkSpeedCall: dispatch, answers, log lines and the exactly-once rule, over a
// speed service whose table and clock are scripted.
#include "channels/network_speed_channel.h"

#include <gtest/gtest.h>

#include <locale>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tests/channels/recording_method_result.h"
#include "tests/network_speed/scripted_interface_table.h"
#include "tests/support/stream_capture.h"

namespace {

using flutter::EncodableMap;
using flutter::EncodableValue;
using Lines = std::vector<std::string>;

using Answers = RecordedAnswers;

// Numbers as a process-wide locale with a decimal comma writes them: 16.384,00.
struct CommaNumbers : std::numpunct<char> {
  char do_decimal_point() const override { return ','; }
  char do_thousands_sep() const override { return '.'; }
  std::string do_grouping() const override { return "\3"; }
};

class ScopedGlobalLocale {
 public:
  explicit ScopedGlobalLocale(const std::locale& locale) : previous_(std::locale::global(locale)) {}
  ~ScopedGlobalLocale() { std::locale::global(previous_); }

 private:
  std::locale previous_;
};

// Calls the handler once and checks the rules that hold for every call: one answer, and the
// result released before the handler returns.
Answers Call(NetworkSpeedService& service, const std::string& method,
             std::unique_ptr<EncodableValue> arguments = nullptr) {
  Answers answers;
  flutter::MethodCall<EncodableValue> call(method, std::move(arguments));
  HandleNetworkSpeedCall(service, call, std::make_unique<RecordingMethodResult>(answers));
  EXPECT_EQ(answers.count, 1) << method << ": answered exactly once";
  EXPECT_EQ(answers.releases, 1) << method << ": result released before returning";
  return answers;
}

// The answer of "getNetworkSpeed" as (key, value) pairs in the map's iteration order.
using Entries = std::vector<std::pair<std::string, double>>;
Entries SpeedEntries(const Answers& answers) {
  Entries entries;
  const auto* map = std::get_if<EncodableMap>(&answers.value);
  if (map == nullptr) return entries;
  for (const auto& [key, value] : *map) {
    const auto* name = std::get_if<std::string>(&key);
    const auto* number = std::get_if<double>(&value);
    entries.emplace_back(name ? *name : "<not a string>", number ? *number : -1.0);
  }
  return entries;
}

// The answer as a bool, or nothing when the answer holds anything else.
std::optional<bool> BoolAnswer(const Answers& answers) {
  const auto* flag = std::get_if<bool>(&answers.value);
  return answers.hasValue && flag ? std::optional<bool>(*flag) : std::nullopt;
}

TEST(NetworkSpeedChannelTest, InitAnswersTheBoolOfInitializeWithTheServiceLineInBetween) {
  ScriptedInterfaceTable table;
  table.rows = {{1, ScriptedInterfaceTable::kUp, 0, 0}};
  table.failReads = 1;
  NetworkSpeedService service(table.Source());
  StdoutCapture out;

  Answers answers = Call(service, "initNetworkSpeed");
  ASSERT_EQ(answers.kind, "success") << "a failed Initialize is not a channel error";
  EXPECT_EQ(BoolAnswer(answers), std::optional<bool>(false));
  EXPECT_EQ(out.Lines(), (Lines{"NetworkSpeedChannel: Received call for method: initNetworkSpeed",
                                "NetworkSpeedChannel: Initializing network speed monitoring...",
                                "Failed to get initial network interfaces",
                                "NetworkSpeedChannel: Init result: FAILED"}));

  out.Clear();
  answers = Call(service, "initNetworkSpeed");
  EXPECT_EQ(BoolAnswer(answers), std::optional<bool>(true));
  EXPECT_EQ(out.Lines(), (Lines{"NetworkSpeedChannel: Received call for method: initNetworkSpeed",
                                "NetworkSpeedChannel: Initializing network speed monitoring...",
                                "NetworkSpeedService initialized successfully",
                                "NetworkSpeedChannel: Init result: SUCCESS"}));

  EXPECT_TRUE(out.AllFlushed());
}

// Arguments are ignored: the UI's calls carry none, and this one passes a map. A plug-in or the
// runtime may set the process-wide locale; the line keeps its decimal point.
TEST(NetworkSpeedChannelTest, SpeedAnswerCarriesRawRatesAndLogLineShowsMegabits) {
  const ScopedGlobalLocale comma(std::locale(std::locale::classic(), new CommaNumbers));
  struct Case {
    const char* description;
    DWORD inBytes;
    DWORD outBytes;
    double download;
    double upload;
    const char* line;
  };
  // All over 2 s. 512 KiB/s is 4 Mib/s; 100 KiB/s is 0.78125 Mib/s, shown with two digits.
  const Case cases[] = {
      {"whole figures", 1048576, 204800, 512.0, 100.0,
       "NetworkSpeedChannel: Speed - Download: 4.00 Mbps, Upload: 0.78 Mbps"},
      {"fractions kept in the answer", 3000, 1, 3000.0 / 2048.0, 1.0 / 2048.0,
       "NetworkSpeedChannel: Speed - Download: 0.01 Mbps, Upload: 0.00 Mbps"},
      {"large rates", 0xFFFFFFFFu, 262144000, 4294967295.0 / 2048.0, 128000.0,
       "NetworkSpeedChannel: Speed - Download: 16384.00 Mbps, Upload: 1000.00 Mbps"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.description);
    ScriptedInterfaceTable table;
    table.rows = {{9, ScriptedInterfaceTable::kUp, 0, 0}};
    NetworkSpeedService service(table.Source());
    {
      // Before "initNetworkSpeed" the answer is zeros; the channel never initializes alone.
      StdoutCapture out;
      EXPECT_EQ(SpeedEntries(Call(service, "getNetworkSpeed")),
                (Entries{{"downloadSpeed", 0.0}, {"uploadSpeed", 0.0}}));
      EXPECT_EQ(out.Lines().back(),
                "NetworkSpeedChannel: Speed - Download: 0.00 Mbps, Upload: 0.00 Mbps");
      EXPECT_EQ(table.events, "");
    }
    Call(service, "initNetworkSpeed");
    table.rows[0].inOctets = c.inBytes;
    table.rows[0].outOctets = c.outBytes;
    table.tick = 2000;

    StdoutCapture out;
    const Answers answers = Call(service, "getNetworkSpeed",
                                 std::make_unique<EncodableValue>(EncodableMap{
                                     {EncodableValue("downloadSpeed"), EncodableValue(99.0)}}));
    EXPECT_EQ(SpeedEntries(answers),
              (Entries{{"downloadSpeed", c.download}, {"uploadSpeed", c.upload}}));
    EXPECT_EQ(out.Lines(),
              (Lines{"NetworkSpeedChannel: Received call for method: getNetworkSpeed", c.line}));
    EXPECT_TRUE(out.AllFlushed());
  }
}

TEST(NetworkSpeedChannelTest, OtherNamesAreInvalidMethodErrorsAndLeaveTheServiceAlone) {
  for (const std::string name : {"getnetworkspeed", "initNetworkSpeed ", "", "startV2Ray"}) {
    SCOPED_TRACE("method \"" + name + "\"");
    ScriptedInterfaceTable table;
    NetworkSpeedService service(table.Source());
    StdoutCapture out;
    const Answers answers =
        Call(service, name, std::make_unique<EncodableValue>(EncodableValue(int32_t{1})));
    ASSERT_EQ(answers.kind, "error");
    EXPECT_EQ(answers.code, "INVALID_METHOD");
    EXPECT_EQ(answers.message, "Method not implemented: " + name);
    EXPECT_FALSE(answers.hasDetails);
    EXPECT_EQ(out.Lines(), (Lines{"NetworkSpeedChannel: Received call for method: " + name,
                                  "NetworkSpeedChannel: Unknown method: " + name}));
    EXPECT_EQ(table.events, "");
  }
}

}  // namespace
