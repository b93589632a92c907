// Test entry point shared by every suite: sets up the private folder and
// registry before any test and removes them after the last one.
#include <gtest/gtest.h>

namespace arcwise_test {
void InitTestEnvironment();
void CleanupTestEnvironment();
}  // namespace arcwise_test

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  arcwise_test::InitTestEnvironment();
  int result = RUN_ALL_TESTS();
  arcwise_test::CleanupTestEnvironment();
  return result;
}
