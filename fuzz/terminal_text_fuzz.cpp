// Feeds arbitrary bytes to the readable terminal text and compares it with a plain grammar: the
// sequence that begins at the first byte of the shown window's part before it is found in one
// scan of the whole text; the rest is repaired, then scanned for sequences (each read on its own
// from its ESC) and rid of them again and again until no sequence is left, and last of every
// ESC. The two agree because every byte that ends a sequence is ASCII, which ends any broken
// character.
// The first byte picks where the shown window begins; the last line is checked for its shape.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "support/terminal_text.h"
#include "support/utf8.h"

namespace {

void Require(bool condition, const char* what) {
  if (!condition) {
    std::fputs(what, stderr);
    std::fputs("\n", stderr);
    std::abort();
  }
}

constexpr unsigned char kEsc = 0x1B;

unsigned char At(std::string_view text, size_t i) { return static_cast<unsigned char>(text[i]); }
bool InRange(unsigned char c, unsigned char low, unsigned char high) {
  return c >= low && c <= high;
}

struct Span {
  size_t begin;
  size_t end;
};

enum class Found { kSequence, kUnfinished, kNothing };

// Reads the sequence whose ESC is at `at`. kSequence: `*stop` is one past it. kNothing: there is
// none, and the scan goes on at `*stop` (no ESC before it). kUnfinished: it runs to the end.
Found ReadOne(std::string_view text, size_t at, size_t* stop) {
  const size_t n = text.size();
  size_t i = at + 1;
  if (i == n) return Found::kUnfinished;
  const unsigned char kind = At(text, i);
  if (kind == '[') {
    for (++i; i < n && InRange(At(text, i), 0x30, 0x3F);) ++i;
    while (i < n && InRange(At(text, i), 0x20, 0x2F)) ++i;
    if (i == n) return Found::kUnfinished;
    *stop = InRange(At(text, i), 0x40, 0x7E) ? i + 1 : i;
    return *stop > i ? Found::kSequence : Found::kNothing;
  }
  if (kind == ']' || kind == 'P' || kind == 'X' || kind == '^' || kind == '_') {
    for (size_t body = 0;; ++body) {
      ++i;
      if (i == n) return Found::kUnfinished;
      const unsigned char c = At(text, i);
      if (c == 0x07) {
        *stop = i + 1;
        return Found::kSequence;
      }
      if (c == kEsc) {
        if (i + 1 == n) return Found::kUnfinished;
        *stop = text[i + 1] == '\\' ? i + 2 : i;
        return text[i + 1] == '\\' ? Found::kSequence : Found::kNothing;
      }
      if (c < 0x20 || body == orvanta::kMaxTerminalStringBody) {
        *stop = i;
        return Found::kNothing;
      }
    }
  }
  while (i < n && InRange(At(text, i), 0x20, 0x2F)) ++i;
  if (i == n) return Found::kUnfinished;
  const bool lone = i == at + 1 && kind == '\\';
  *stop = InRange(At(text, i), 0x30, 0x7E) && !lone ? i + 1 : i;
  return *stop > i ? Found::kSequence : Found::kNothing;
}

// One scan from the start: every ESC outside a sequence begins one.
std::vector<Span> Sequences(std::string_view text) {
  std::vector<Span> spans;
  size_t i = 0;
  while (i < text.size()) {
    if (At(text, i) != kEsc) {
      ++i;
      continue;
    }
    size_t stop = 0;
    switch (ReadOne(text, i, &stop)) {
      case Found::kSequence:
        spans.push_back({i, stop});
        i = stop;
        break;
      case Found::kUnfinished:
        spans.push_back({i, text.size()});
        return spans;
      case Found::kNothing:
        i = stop;
        break;
    }
  }
  return spans;
}

std::string Expected(std::string_view text, size_t from) {
  size_t shown = from;
  for (const Span& span : Sequences(text)) {
    if (span.begin < from && span.end > from) shown = span.end;
  }
  std::string out = orvanta::ToValidUtf8(text.substr(shown));
  // Removing a sequence can join what stood around it into another.
  for (std::vector<Span> spans = Sequences(out); !spans.empty(); spans = Sequences(out)) {
    std::string rest;
    size_t at = 0;
    for (const Span& span : spans) {
      rest.append(out, at, span.begin - at);
      at = span.end;
    }
    rest.append(out, at, std::string::npos);
    out = rest;
  }
  out.erase(std::remove(out.begin(), out.end(), static_cast<char>(kEsc)), out.end());
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
  const size_t from = data[0] % (text.size() + 1);
  const std::string readable = orvanta::ReadableTerminalText(text, from);
  Require(orvanta::ToValidUtf8(readable) == readable, "not well-formed UTF-8");
  Require(readable.find('\x1b') == std::string::npos, "an ESC left in the text");
  Require(readable == Expected(text, from), "differs from the grammar");

  const std::string line = orvanta::LastReadableLine(text, 64);
  Require(line.size() <= 64, "last line longer than asked");
  Require(orvanta::ToValidUtf8(line) == line, "last line not well-formed UTF-8");
  Require(line.find('\n') == std::string::npos, "last line holds a line end");
  return 0;
}
