// Debug output capture, last-error slots and the synchronisation primitives.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "support/test_env.h"

namespace {

TEST(DebugOutput, CaptureSeesEachCallWholeAndReleasesStderrAfterwards) {
  {
    arcwise_test::DebugCapture capture;
    OutputDebugStringW(W("first line\n"));
    OutputDebugStringA("second \xC3\xA9\n");
    OutputDebugStringW(nullptr);
    auto lines = capture.Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], WString(W("first line\n")));
    EXPECT_EQ(lines[1], WString(W("second \u00e9\n")));
  }
  testing::internal::CaptureStderr();
  OutputDebugStringW(W("to stderr \u00fc\n"));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "to stderr \xC3\xBC\n");
}

TEST(LastError, IsPerThread) {
  SetLastError(ERROR_ACCESS_DENIED);
  DWORD seenByOther = 12345;
  std::thread other([&] {
    seenByOther = GetLastError();
    SetLastError(ERROR_FILE_NOT_FOUND);
  });
  other.join();
  EXPECT_EQ(seenByOther, static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

TEST(Sync, CriticalSectionIsRecursiveAndExcludesOtherThreads) {
  CRITICAL_SECTION cs;
  InitializeCriticalSection(&cs);
  long counter = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 10000; ++i) {
        EnterCriticalSection(&cs);
        EnterCriticalSection(&cs);  // the owner may enter again
        ++counter;
        LeaveCriticalSection(&cs);
        LeaveCriticalSection(&cs);
      }
    });
  }
  for (auto& t : threads) t.join();
  DeleteCriticalSection(&cs);
  EXPECT_EQ(counter, 80000);
}

TEST(Sync, InterlockedOperationsReturnTheNewOrPreviousValue) {
  LONG value = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 10000; ++i) InterlockedIncrement(&value);
      for (int i = 0; i < 5000; ++i) InterlockedDecrement(&value);
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(value, 40000);
  EXPECT_EQ(InterlockedIncrement(&value), 40001);
  EXPECT_EQ(InterlockedExchange(&value, 7), 40001);
  EXPECT_EQ(InterlockedCompareExchange(&value, 9, 8), 7);  // no swap: comparand differs
  EXPECT_EQ(value, 7);
  EXPECT_EQ(InterlockedCompareExchange(&value, 9, 7), 7);
  EXPECT_EQ(value, 9);
}

}  // namespace
