// One log line on a standard stream: a prefix that names the writer ("SingBoxService: ",
// "MethodChannel: ", ...), the message and a line end, flushed at once so every line is out
// even if the process ends right after it.
#ifndef ORVANTA_SUPPORT_LOG_LINE_H_
#define ORVANTA_SUPPORT_LOG_LINE_H_

#include <ostream>
#include <string_view>

namespace orvanta {

inline void WriteLogLine(std::ostream& stream, std::string_view prefix, std::string_view message) {
  stream << prefix << message << std::endl;
}

}  // namespace orvanta

#endif  // ORVANTA_SUPPORT_LOG_LINE_H_
