// Every test passes and our main prints the pass line; then, as the process ends, a static
// destructor ends it with exit code 1, as LeakSanitizer ends a process that leaked. CTest must
// count it as failed (the test passes only on the harness's verdict for it): the pass line alone is
// not a pass.
#include <gtest/gtest.h>

#include <cstdlib>

namespace {

struct FailsAtExit {
  ~FailsAtExit() { std::_Exit(1); }
} failsAtExit;

}  // namespace

TEST(HarnessTest, AFailingExitCodeAfterThePassLineFails) { SUCCEED(); }
