// The codec_dump command line, separated from main() so that tests can drive it.
//
//   codec_dump [--call|--reply|--value] [HEX...]   decode and print (default --call)
//   codec_dump --reencode-value HEX                decode one bare value, print it re-encoded
//
// HEX comes from the arguments (joined) or, when there is none, from `in`; whitespace is
// allowed. Exit status: 0 decoded, 1 the bytes are not a call or not a reply envelope,
// 2 usage error or input that is not hexadecimal (message on `err`). The codec's own
// diagnostics go to standard error as always.
#ifndef ORVANTA_TOOLS_CODEC_DUMP_CLI_H_
#define ORVANTA_TOOLS_CODEC_DUMP_CLI_H_

#include <istream>
#include <ostream>
#include <string>
#include <vector>

namespace orvanta_tools {

int RunCodecDump(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
                 std::ostream& err);

}  // namespace orvanta_tools

#endif  // ORVANTA_TOOLS_CODEC_DUMP_CLI_H_
