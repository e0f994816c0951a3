// Prints a decoded value one line per value, children indented two spaces per level:
//   map (2)
//     string "downloadSpeed"      <- key
//       double 1.5                <- its value, one level below the key
// Strings are quoted with C escapes for quotes, backslashes and non-printable bytes.
#ifndef ORVANTA_TOOLS_VALUE_PRINTER_H_
#define ORVANTA_TOOLS_VALUE_PRINTER_H_

#include <ostream>
#include <string>

#include "messaging/encodable_value.h"

namespace orvanta_tools {

// Writes `label` (may be empty) and the value's line at `indent` levels, then its children.
void PrintValue(std::ostream& out, const flutter::EncodableValue& value, const std::string& label,
                int indent);

std::string QuoteText(const std::string& text);

}  // namespace orvanta_tools

#endif  // ORVANTA_TOOLS_VALUE_PRINTER_H_
