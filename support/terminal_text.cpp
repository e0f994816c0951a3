#include "support/terminal_text.h"

#include <vector>

#include "support/utf8.h"

namespace orvanta {
namespace {

constexpr char kEscape = '\x1B';

bool IsParameter(char c) { return c >= 0x30 && c <= 0x3F; }
bool IsIntermediate(char c) { return c >= 0x20 && c <= 0x2F; }
bool IsFinal(char c) { return c >= 0x40 && c <= 0x7E; }

enum class Sequence { kComplete, kIncomplete, kNone };

// The CSI sequence whose ESC is at `at`; on kComplete, `*end` is one past its final byte.
// Every byte of a sequence is ASCII, so it reads the same before and after the UTF-8 repair.
Sequence ReadSequence(std::string_view text, size_t at, size_t* end) {
  size_t next = at + 1;
  if (next == text.size()) return Sequence::kIncomplete;
  if (text[next] != '[') return Sequence::kNone;
  ++next;
  while (next < text.size() && IsParameter(text[next])) ++next;
  while (next < text.size() && IsIntermediate(text[next])) ++next;
  if (next == text.size()) return Sequence::kIncomplete;
  if (!IsFinal(text[next])) return Sequence::kNone;
  *end = next + 1;
  return Sequence::kComplete;
}

// How many bytes from `from` on belong to a sequence that began before it. A sequence holds no
// ESC but its first byte, so only the last ESC before `from` can have begun one.
size_t RestOfSequenceBefore(std::string_view text, size_t from) {
  size_t at = from;
  while (at > 0 && text[at - 1] != kEscape &&
         (text[at - 1] == '[' || IsParameter(text[at - 1]) || IsIntermediate(text[at - 1]))) {
    --at;
  }
  if (at == 0 || text[at - 1] != kEscape) return 0;
  size_t end = 0;
  switch (ReadSequence(text, at - 1, &end)) {
    case Sequence::kComplete:
      return end > from ? end - from : 0;
    case Sequence::kIncomplete:
      return text.size() - from;
    case Sequence::kNone:
      break;
  }
  return 0;
}

// In place, as what stays only ever moves towards the front: a log of a mebibyte costs no
// second copy. What is kept holds no sequence, also where removing one joins what stood before
// it to what follows: "ESC[1" ESC "[0m" "m" reads "ESC[1m" once the inner one is gone, so that
// goes too. Hence the partial sequences at the end of what is kept are stacked: each but the
// last was cut short by the next one's ESC, and goes on where it stopped once that is removed.
void RemoveSequences(std::string& text) {
  enum class State { kAfterEscape, kParameters, kIntermediates };
  struct Partial {
    size_t start;  // of its ESC, in what is kept
    State state;
  };
  std::vector<Partial> partials;
  size_t kept = 0;
  for (size_t at = 0; at < text.size(); ++at) {
    const char c = text[at];
    text[kept++] = c;
    if (c == kEscape) {
      partials.push_back({kept - 1, State::kAfterEscape});
      continue;
    }
    if (partials.empty()) continue;
    Partial& last = partials.back();
    if (last.state == State::kAfterEscape && c == '[') {
      last.state = State::kParameters;
      continue;
    }
    if (last.state != State::kAfterEscape) {
      if (last.state == State::kParameters && IsParameter(c)) continue;
      if (IsIntermediate(c)) {
        last.state = State::kIntermediates;
        continue;
      }
      if (IsFinal(c)) {
        kept = last.start;
        partials.pop_back();
        continue;
      }
    }
    // No sequence after all: its ESC stays as text, and every partial one before it stays cut
    // short for good.
    partials.clear();
  }
  // Not complete yet: the writer may still be writing it.
  if (!partials.empty()) kept = partials.front().start;
  text.resize(kept);
}

}  // namespace

std::string ReadableTerminalText(std::string_view text, size_t from) {
  if (from > text.size()) from = text.size();
  from += RestOfSequenceBefore(text, from);
  // Repaired first: removing a sequence from between two halves of a broken character must not
  // join them into one that was never written.
  std::string readable = ToValidUtf8(text.substr(from));
  RemoveSequences(readable);
  return readable;
}

std::string LastReadableLine(std::string_view text, size_t maxBytes) {
  size_t end = text.size();
  for (;;) {
    const size_t newline = end == 0 ? std::string_view::npos : text.rfind('\n', end - 1);
    const size_t start = newline == std::string_view::npos ? 0 : newline + 1;
    std::string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    std::string readable = ReadableTerminalText(line);
    if (!readable.empty()) {
      readable.resize(Utf8PrefixLength(readable, maxBytes));
      return readable;
    }
    if (newline == std::string_view::npos) return readable;
    end = newline;
  }
}

}  // namespace orvanta
