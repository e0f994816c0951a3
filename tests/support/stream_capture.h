// Test helper: collects what is written to a standard stream while it lives, and whether every
// byte written so far has also been flushed (log lines are a contract: each one is flushed).
#ifndef ORVANTA_TESTS_SUPPORT_STREAM_CAPTURE_H_
#define ORVANTA_TESTS_SUPPORT_STREAM_CAPTURE_H_

#include <iostream>
#include <sstream>
#include <string>
#include <vector>

class StreamCapture {
 public:
  explicit StreamCapture(std::ostream& stream)
      : stream_(stream), previous_(stream.rdbuf(&buffer_)) {}
  ~StreamCapture() { stream_.rdbuf(previous_); }

  StreamCapture(const StreamCapture&) = delete;
  StreamCapture& operator=(const StreamCapture&) = delete;

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

  std::ostream& stream_;
  FlushTrackingBuffer buffer_;
  std::streambuf* previous_;
};

struct StdoutCapture : StreamCapture {
  StdoutCapture() : StreamCapture(std::cout) {}
};

struct StderrCapture : StreamCapture {
  StderrCapture() : StreamCapture(std::cerr) {}
};

#endif  // ORVANTA_TESTS_SUPPORT_STREAM_CAPTURE_H_
