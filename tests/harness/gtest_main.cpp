// The main of every GoogleTest executable of the project. It announces a complete run on a line
// of its own, which CTest requires, only when GoogleTest itself reports success: a test that
// ends the process early with exit code 0 (an exit(0), a return from a fixture on the way out)
// never gets here, and fails.
#include <gtest/gtest.h>

#include <cstdio>

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  const int result = RUN_ALL_TESTS();
  const testing::UnitTest& run = *testing::UnitTest::GetInstance();
  if (result == 0 && run.Passed()) {
    std::printf("orvanta-gtest: %d of %d tests passed\n", run.successful_test_count(),
                run.test_to_run_count());
    std::fflush(stdout);
  }
  return result;
}
