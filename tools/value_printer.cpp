#include "tools/value_printer.h"

#include <cstdint>
#include <cstdio>
#include <limits>
#include <sstream>
#include <vector>

namespace orvanta_tools {
namespace {

using flutter::EncodableList;
using flutter::EncodableMap;
using flutter::EncodableValue;

void Indent(std::ostream& out, int indent) {
  for (int i = 0; i < indent; ++i) out << "  ";
}

// Enough digits that the printed number reads back as the same double.
std::string Number(double value) {
  std::ostringstream text;
  text.precision(std::numeric_limits<double>::max_digits10);
  text << value;
  return text.str();
}

template <typename Element>
void PrintElements(std::ostream& out, const char* type, const std::vector<Element>& elements) {
  out << type << " (" << elements.size() << ")";
  for (const Element& element : elements) {
    out << ' ';
    if constexpr (std::is_floating_point<Element>::value) {
      out << Number(static_cast<double>(element));
    } else {
      out << static_cast<int64_t>(element);
    }
  }
}

}  // namespace

std::string QuoteText(const std::string& text) {
  std::string quoted = "\"";
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      quoted.push_back('\\');
      quoted.push_back(c);
    } else if (c == '\n') {
      quoted += "\\n";
    } else if (byte < 0x20 || byte == 0x7F) {
      char escaped[5];
      std::snprintf(escaped, sizeof(escaped), "\\x%02x", byte);
      quoted += escaped;
    } else {
      quoted.push_back(c);  // UTF-8 passes through
    }
  }
  quoted.push_back('"');
  return quoted;
}

void PrintValue(std::ostream& out, const EncodableValue& value, const std::string& label,
                int indent) {
  Indent(out, indent);
  if (!label.empty()) out << label << ": ";
  if (std::holds_alternative<std::monostate>(value)) {
    out << "null\n";
  } else if (const auto* b = std::get_if<bool>(&value)) {
    out << "bool " << (*b ? "true" : "false") << '\n';
  } else if (const auto* i32 = std::get_if<int32_t>(&value)) {
    out << "int32 " << *i32 << '\n';
  } else if (const auto* i64 = std::get_if<int64_t>(&value)) {
    out << "int64 " << *i64 << '\n';
  } else if (const auto* d = std::get_if<double>(&value)) {
    out << "double " << Number(*d) << '\n';
  } else if (const auto* s = std::get_if<std::string>(&value)) {
    out << "string " << QuoteText(*s) << '\n';
  } else if (const auto* u8 = std::get_if<std::vector<uint8_t>>(&value)) {
    out << "uint8_list (" << u8->size() << ")";
    static const char kDigits[] = "0123456789abcdef";
    for (uint8_t byte : *u8) out << ' ' << kDigits[byte >> 4] << kDigits[byte & 0xF];
    out << '\n';
  } else if (const auto* l32 = std::get_if<std::vector<int32_t>>(&value)) {
    PrintElements(out, "int32_list", *l32);
    out << '\n';
  } else if (const auto* l64 = std::get_if<std::vector<int64_t>>(&value)) {
    PrintElements(out, "int64_list", *l64);
    out << '\n';
  } else if (const auto* f64 = std::get_if<std::vector<double>>(&value)) {
    PrintElements(out, "float64_list", *f64);
    out << '\n';
  } else if (const auto* f32 = std::get_if<std::vector<float>>(&value)) {
    PrintElements(out, "float32_list", *f32);
    out << '\n';
  } else if (const auto* list = std::get_if<EncodableList>(&value)) {
    out << "list (" << list->size() << ")\n";
    for (const EncodableValue& element : *list) PrintValue(out, element, "", indent + 1);
  } else if (const auto* map = std::get_if<EncodableMap>(&value)) {
    out << "map (" << map->size() << ")\n";
    for (const auto& entry : *map) {
      PrintValue(out, entry.first, "", indent + 1);
      PrintValue(out, entry.second, "", indent + 2);
    }
  } else {
    out << "custom\n";  // never produced by decoding
  }
}

}  // namespace orvanta_tools
