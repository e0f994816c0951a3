// Every test passes and our main prints the pass line; then a static destructor crashes, writing
// through a null pointer. CTest must count it as failed (the test passes only on the harness's
// verdict for it).
#include <gtest/gtest.h>

namespace {

struct CrashesAtExit {
  ~CrashesAtExit() {
    volatile int* volatile nowhere = nullptr;
    *nowhere = 1;
  }
} crashesAtExit;

}  // namespace

TEST(HarnessTest, ACrashAfterThePassLineFails) { SUCCEED(); }
