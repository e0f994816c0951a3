#include "support/terminal_text.h"

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
// second copy, and one without sequences is not touched.
void RemoveSequences(std::string& text) {
  size_t kept = 0;    // the result so far, at the front
  size_t unread = 0;  // where the text not yet moved begins
  for (size_t at = text.find(kEscape); at != std::string::npos; at = text.find(kEscape, at + 1)) {
    size_t end = 0;
    const Sequence sequence = ReadSequence(text, at, &end);
    if (sequence == Sequence::kNone) continue;
    std::char_traits<char>::move(&text[kept], text.data() + unread, at - unread);
    kept += at - unread;
    if (sequence == Sequence::kIncomplete) {
      text.resize(kept);
      return;
    }
    unread = end;
    at = end - 1;
  }
  if (unread == 0) return;
  std::char_traits<char>::move(&text[kept], text.data() + unread, text.size() - unread);
  text.resize(kept + text.size() - unread);
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
