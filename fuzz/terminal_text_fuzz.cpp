// Feeds arbitrary bytes to the readable terminal text and compares it with a plain state
// machine that marks the CSI sequences first and repairs each stretch between them on its own,
// again and again until no sequence is left; the two agree because every byte of a sequence is
// ASCII, which ends any broken character.
// The first byte picks where the shown window begins; the last line is checked for its shape.
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

// True for the bytes that belong to a CSI sequence, including one not finished at the end.
std::vector<bool> SequenceBytes(std::string_view text) {
  enum class State { kText, kEscape, kParameters, kIntermediates } state = State::kText;
  std::vector<bool> inSequence(text.size(), false);
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == 0x1B) {
      state = State::kEscape;
      start = i;
      continue;
    }
    const bool parameter = c >= 0x30 && c <= 0x3F;
    const bool intermediate = c >= 0x20 && c <= 0x2F;
    const bool final = c >= 0x40 && c <= 0x7E;
    switch (state) {
      case State::kText:
        break;
      case State::kEscape:
        state = c == '[' ? State::kParameters : State::kText;
        break;
      case State::kParameters:
      case State::kIntermediates:
        if (parameter && state == State::kParameters) break;
        if (intermediate) {
          state = State::kIntermediates;
          break;
        }
        if (final) {
          for (size_t k = start; k <= i; ++k) inSequence[k] = true;
        }
        state = State::kText;
        break;
    }
  }
  if (state != State::kText) {
    for (size_t k = start; k < text.size(); ++k) inSequence[k] = true;
  }
  return inSequence;
}

std::string RemoveMarked(std::string_view text, size_t from) {
  const std::vector<bool> inSequence = SequenceBytes(text);
  std::string out;
  size_t stretch = from;
  for (size_t i = from; i <= text.size(); ++i) {
    if (i == text.size() || inSequence[i]) {
      out += orvanta::ToValidUtf8(text.substr(stretch, i - stretch));
      stretch = i + 1;
    }
  }
  return out;
}

// Removing a sequence can join what stood around it into another: removed again until none is
// left.
std::string Expected(std::string_view text, size_t from) {
  std::string out = RemoveMarked(text, from);
  for (std::string again = RemoveMarked(out, 0); again != out; again = RemoveMarked(out, 0)) {
    out = again;
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
  const size_t from = data[0] % (text.size() + 1);
  const std::string readable = orvanta::ReadableTerminalText(text, from);
  Require(orvanta::ToValidUtf8(readable) == readable, "not well-formed UTF-8");
  Require(readable == Expected(text, from), "differs from the state machine");

  const std::string line = orvanta::LastReadableLine(text, 64);
  Require(line.size() <= 64, "last line longer than asked");
  Require(orvanta::ToValidUtf8(line) == line, "last line not well-formed UTF-8");
  Require(line.find('\n') == std::string::npos, "last line holds a line end");
  return 0;
}
