// Ends the process with exit code 0 before GoogleTest reports: CTest must count it as failed
// (the test passes only on the harness's verdict for it). Passing would mean an early exit passes
// every test.
#include <gtest/gtest.h>

#include <cstdlib>

TEST(HarnessTest, AnEarlyExitWithCodeZeroFails) { std::exit(0); }
