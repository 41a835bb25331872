// The main of every unit-test program: GoogleTest's, except that a run in which nothing
// failed but some test was skipped ends with status 77, which ctest shows as skipped
// (SKIP_RETURN_CODE) instead of counting the program as passed.
#include <gtest/gtest.h>

namespace {
constexpr int kSkippedStatus = 77;
}

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  int result = RUN_ALL_TESTS();
  if (result == 0 && testing::UnitTest::GetInstance()->skipped_test_count() > 0) return kSkippedStatus;
  return result;
}
