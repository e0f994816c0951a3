#include "support/terminal_text.h"

#include <algorithm>
#include <vector>

#include "support/utf8.h"

namespace orvanta {
namespace {

constexpr char kEscape = '\x1B';
constexpr char kBell = '\x07';

// The 8-bit forms of these controls (0x9B for CSI, 0x9D for OSC, 0x9C for ST) are not read as
// such: in UTF-8 text those bytes are parts of characters.
bool IsControl(char c) { return static_cast<unsigned char>(c) < 0x20; }
bool IsParameter(char c) { return c >= 0x30 && c <= 0x3F; }
bool IsIntermediate(char c) { return c >= 0x20 && c <= 0x2F; }
bool IsFinal(char c) { return c >= 0x40 && c <= 0x7E; }
bool IsEscapeFinal(char c) { return c >= 0x30 && c <= 0x7E; }
bool IsStringIntroducer(char c) { return c == ']' || c == 'P' || c == 'X' || c == '^' || c == '_'; }

enum class State { kAfterEscape, kEscapeIntermediates, kParameters, kIntermediates, kString };
enum class Step { kGoesOn, kComplete, kNone };

// The next byte `c` of a sequence in `state`, which is then `length` bytes long from its ESC.
// Never an ESC: that interrupts any sequence, or in a string may begin its ST.
Step Advance(State& state, char c, size_t length) {
  switch (state) {
    case State::kAfterEscape:
      if (c == '[') {
        state = State::kParameters;
        return Step::kGoesOn;
      }
      if (IsStringIntroducer(c)) {
        state = State::kString;
        return Step::kGoesOn;
      }
      if (IsIntermediate(c)) {
        state = State::kEscapeIntermediates;
        return Step::kGoesOn;
      }
      // ESC "\" only ends a string. As a sequence of its own too, whether it ends a string that
      // an inner sequence cut short would depend on which of the two is removed first.
      return IsEscapeFinal(c) && c != '\\' ? Step::kComplete : Step::kNone;
    case State::kEscapeIntermediates:
      if (IsIntermediate(c)) return Step::kGoesOn;
      return IsEscapeFinal(c) ? Step::kComplete : Step::kNone;
    case State::kParameters:
      if (IsParameter(c)) return Step::kGoesOn;
      [[fallthrough]];
    case State::kIntermediates:
      if (IsIntermediate(c)) {
        state = State::kIntermediates;
        return Step::kGoesOn;
      }
      return IsFinal(c) ? Step::kComplete : Step::kNone;
    case State::kString:
      if (c == kBell) return Step::kComplete;
      // The body follows the ESC and the introducer.
      return IsControl(c) || length - 2 > kMaxTerminalStringBody ? Step::kNone : Step::kGoesOn;
  }
  return Step::kNone;
}

enum class Sequence { kComplete, kIncomplete, kNone };

// The sequence whose ESC is at `at`, read on its own; on kComplete, `*end` is one past its last
// byte. Every byte that decides where a sequence ends is ASCII, so it reads the same before and
// after the UTF-8 repair.
Sequence ReadSequence(std::string_view text, size_t at, size_t* end) {
  State state = State::kAfterEscape;
  for (size_t next = at + 1; next < text.size(); ++next) {
    if (text[next] == kEscape) {
      if (state != State::kString) return Sequence::kNone;
      if (next + 1 == text.size()) return Sequence::kIncomplete;
      if (text[next + 1] != '\\') return Sequence::kNone;
      *end = next + 2;
      return Sequence::kComplete;
    }
    switch (Advance(state, text[next], next + 1 - at)) {
      case Step::kGoesOn:
        continue;
      case Step::kComplete:
        *end = next + 1;
        return Sequence::kComplete;
      case Step::kNone:
        return Sequence::kNone;
    }
  }
  return Sequence::kIncomplete;
}

// The ESC nearest before `at` with no control byte between them, or npos. Every byte of a
// sequence but its ESC and the ESC of a string's ST is from 0x20 up.
size_t EscapeBefore(std::string_view text, size_t at) {
  while (at > 0 && !IsControl(text[at - 1])) --at;
  return at > 0 && text[at - 1] == kEscape ? at - 1 : std::string_view::npos;
}

// How many bytes from `from` on belong to a sequence that began before it. That sequence began
// at the last ESC before `from`, or, when that one is an ST cut between its two bytes, at the
// ESC of the string it ends.
size_t RestOfSequenceBefore(std::string_view text, size_t from) {
  size_t start = EscapeBefore(text, from);
  if (start != std::string_view::npos && start + 1 == from && from < text.size() &&
      text[from] == '\\') {
    start = EscapeBefore(text, start);
  }
  if (start == std::string_view::npos) return 0;
  size_t end = 0;
  switch (ReadSequence(text, start, &end)) {
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
// An ESC cutting a string short may be the first byte of its ST instead.
void RemoveSequences(std::string& text) {
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
    if (c == '\\' && last.state == State::kAfterEscape && partials.size() > 1 &&
        partials[partials.size() - 2].state == State::kString) {
      // ST: the end of the string this ESC cut short.
      partials.pop_back();
      kept = partials.back().start;
      partials.pop_back();
      continue;
    }
    switch (Advance(last.state, c, kept - last.start)) {
      case Step::kGoesOn:
        break;
      case Step::kComplete:
        kept = last.start;
        partials.pop_back();
        break;
      case Step::kNone:
        // No sequence after all: the rest of it stays as text, and every partial one before it
        // stays cut short for good. Their ESCs go below.
        partials.clear();
        break;
    }
  }
  // Not complete yet: the writer may still be writing it.
  if (!partials.empty()) kept = partials.front().start;
  text.resize(kept);
  // Every ESC still here began no sequence; what follows it is text.
  text.erase(std::remove(text.begin(), text.end(), kEscape), text.end());
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
