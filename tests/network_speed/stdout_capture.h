// Test helper: collects what is written to std::cout while it lives, and whether every byte
// written so far has also been flushed.
#ifndef ORVANTA_TESTS_NETWORK_SPEED_STDOUT_CAPTURE_H_
#define ORVANTA_TESTS_NETWORK_SPEED_STDOUT_CAPTURE_H_

#include <iostream>
#include <sstream>
#include <string>
#include <vector>

class StdoutCapture {
 public:
  StdoutCapture() : previous_(std::cout.rdbuf(&buffer_)) {}
  ~StdoutCapture() { std::cout.rdbuf(previous_); }

  StdoutCapture(const StdoutCapture&) = delete;
  StdoutCapture& operator=(const StdoutCapture&) = delete;

  std::string Text() const { return buffer_.str(); }

  // Complete lines since the last Clear; a trailing unterminated piece is returned as well.
  std::vector<std::string> Lines() const {
    std::vector<std::string> lines;
    std::istringstream in(buffer_.str());
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

  // True when nothing written since the last flush is still waiting in the buffer.
  bool AllFlushed() const { return buffer_.flushedSize == buffer_.str().size(); }

  void Clear() {
    buffer_.str("");
    buffer_.flushedSize = 0;
  }

 private:
  struct FlushTrackingBuffer : std::stringbuf {
    size_t flushedSize = 0;
    int sync() override {
      flushedSize = str().size();
      return 0;
    }
  };

  FlushTrackingBuffer buffer_;
  std::streambuf* previous_;
};

#endif  // ORVANTA_TESTS_NETWORK_SPEED_STDOUT_CAPTURE_H_
