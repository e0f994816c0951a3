#include "tools/codec_dump_cli.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "tests/messaging/codec_test_support.h"

namespace orvanta_tools {
namespace {

struct DumpRun {
  int status;
  std::string out;
  std::string err;          // the tool's own messages
  std::string diagnostics;  // the codec's lines on standard error
};

DumpRun Dump(const std::vector<std::string>& args, const std::string& stdin_text = "") {
  StderrCapture capture;
  std::istringstream in(stdin_text);
  std::ostringstream out, err;
  const int status = RunCodecDump(args, in, out, err);
  return {status, out.str(), err.str(), capture.Text()};
}

TEST(CodecDumpTest, PrintsCallsRepliesAndValuesWithTypesAndNesting) {
  const struct {
    std::vector<std::string> args;
    const char* stdin_text;
    const char* printed;
  } cases[] = {
      {{"07 09 69 73 52 75 6E 6E 69 6E 67 00"}, "", "method: \"isRunning\"\nargs: null\n"},
      {{"--call"},
       "07 01 6d\n 0d 01 07 01 6b\t0c 02 03 ff ff ff ff 01\n",
       "method: \"m\"\nargs: map (1)\n  string \"k\"\n    list (2)\n      int32 -1\n"
       "      bool true\n"},
      {{"--reply", "00", "06000000000000", "000000000000f83f"},
       "",
       "envelope: success\nresult: double 1.5\n"},
      {{"--reply", "0000"}, "", "envelope: success\nresult: none\n"},
      {{"--reply", "01 07 01 61 07 02 22 0a 08 02 00 ff"},
       "",
       "envelope: error\ncode: \"a\"\nmessage: \"\\\"\\n\"\ndetails: uint8_list (2) 00 ff\n"},
      {{"--value", "09 02 00 00 01 00 00 00 02 00 00 00"}, "", "int32_list (2) 1 2\n"},
      {{"--value", "0e 02 00 00 00 00 c0 3f 00 00 20 c0"}, "", "float32_list (2) 1.5 -2.5\n"},
      {{"--value", "07 03 61 01 7f"}, "", "string \"a\\x01\\x7f\"\n"},
      {{"--value", "0a 01 00 00 00 00 00 00 ff ff ff ff ff ff ff 7f"},
       "",
       "int64_list (1) 9223372036854775807\n"},
      // Keys come out in value order, as lowercase hex.
      {{"--reencode-value", "0D 02 07 01 62 01 07 01 61 02"}, "", "0d020701610207016201\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.printed);
    const DumpRun run = Dump(c.args, c.stdin_text);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, c.printed);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.diagnostics, "");
  }
}

TEST(CodecDumpTest, RejectsBadInputWithStatusAndMessage) {
  const struct {
    std::vector<std::string> args;
    int status;
    const char* err;
  } cases[] = {
      {{"--value", "0g"}, 2, "codec_dump: not hexadecimal: character 103 at position 1\n"},
      {{"--reencode-value", "070"}, 2, "codec_dump: odd number of hexadecimal digits\n"},
      {{"03 01 00 00 00"}, 1, "codec_dump: not a method call\n"},
      {{"--reply", "02"}, 1, "codec_dump: not a reply envelope\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.err);
    const DumpRun run = Dump(c.args);
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(run.err, c.err);
    EXPECT_EQ(run.out, "");
  }
  const DumpRun unknown = Dump({"--frobnicate", "00"});
  EXPECT_EQ(unknown.status, 2);
  EXPECT_EQ(unknown.err.rfind("codec_dump: unknown option --frobnicate\nusage:", 0), 0u);
}

}  // namespace
}  // namespace orvanta_tools
