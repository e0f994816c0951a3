// A MethodResult for handler tests that records every answer given through it, so a test can
// check that a handler answers exactly once, with what, and releases the result in time.
#ifndef ORVANTA_TESTS_CHANNELS_RECORDING_METHOD_RESULT_H_
#define ORVANTA_TESTS_CHANNELS_RECORDING_METHOD_RESULT_H_

#include <new>
#include <string>

#include "messaging/encodable_value.h"
#include "messaging/method_result.h"

// Outlives the result, so it can be read after the handler has released it.
struct RecordedAnswers {
  int count = 0;     // answers of any kind
  std::string kind;  // the last answer: "success", "error" or "not implemented"
  int releases = 0;  // times the result object was destroyed
  bool hasValue = false;
  flutter::EncodableValue value;
  std::string code;
  std::string message;
  bool hasDetails = false;
  // The next Success throws std::bad_alloc before it counts, as encoding a huge answer can.
  bool failNextSuccess = false;
};

class RecordingMethodResult : public flutter::MethodResult<flutter::EncodableValue> {
 public:
  explicit RecordingMethodResult(RecordedAnswers& answers) : answers_(answers) {}
  ~RecordingMethodResult() override { ++answers_.releases; }

 protected:
  void DeliverSuccess(const flutter::EncodableValue* result) override {
    if (answers_.failNextSuccess) {
      answers_.failNextSuccess = false;
      throw std::bad_alloc();
    }
    ++answers_.count;
    answers_.kind = "success";
    answers_.hasValue = result != nullptr;
    if (result != nullptr) answers_.value = *result;
  }
  void DeliverError(const std::string& code, const std::string& message,
                    const flutter::EncodableValue* details) override {
    ++answers_.count;
    answers_.kind = "error";
    answers_.code = code;
    answers_.message = message;
    answers_.hasDetails = details != nullptr;
  }
  void DeliverNotImplemented() override {
    ++answers_.count;
    answers_.kind = "not implemented";
  }

 private:
  RecordedAnswers& answers_;
};

#endif  // ORVANTA_TESTS_CHANNELS_RECORDING_METHOD_RESULT_H_
