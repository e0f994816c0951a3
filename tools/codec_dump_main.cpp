// codec_dump: prints channel messages given as hexadecimal text; see codec_dump_cli.h.
#include <iostream>
#include <string>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#endif

#include "tools/codec_dump_cli.h"

int main(int argc, char** argv) {
#ifdef _WIN32
  // Line ends exactly as printed, as on every other platform.
  _setmode(_fileno(stdout), _O_BINARY);
#endif
  const std::vector<std::string> args(argv + 1, argv + argc);
  const int status = orvanta_tools::RunCodecDump(args, std::cin, std::cout, std::cerr);
  std::cout.flush();
  return status;
}
