// GetProcessMemoryInfo: the working set follows what the process touches,
// the peak never falls below it, and only the caller's own process answers.
#include <gtest/gtest.h>

#include <psapi.h>

#include <cstring>
#include <memory>

#include "compat/Win32Compat.h"

namespace {

PROCESS_MEMORY_COUNTERS Counters() {
  PROCESS_MEMORY_COUNTERS counters = {};
  EXPECT_TRUE(GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters));
  return counters;
}

TEST(ProcessMemory, TouchedMemoryRaisesTheWorkingSetAndThePeak) {
  const PROCESS_MEMORY_COUNTERS before = Counters();
  EXPECT_EQ(sizeof(PROCESS_MEMORY_COUNTERS), before.cb);
  EXPECT_GT(before.WorkingSetSize, 0u);
  EXPECT_GE(before.PeakWorkingSetSize, before.WorkingSetSize);

  constexpr size_t kBytes = 64 << 20;
  auto block = std::make_unique<char[]>(kBytes);
  std::memset(block.get(), 1, kBytes);
  const PROCESS_MEMORY_COUNTERS after = Counters();
  EXPECT_GE(after.WorkingSetSize, before.WorkingSetSize + kBytes / 2);
  EXPECT_GE(after.PeakWorkingSetSize, after.WorkingSetSize);
  EXPECT_GE(after.PageFaultCount, before.PageFaultCount);
  EXPECT_EQ(1, block[kBytes - 1]);
}

TEST(ProcessMemory, OtherHandlesAndShortRecordsAreRefused) {
  PROCESS_MEMORY_COUNTERS counters = {};
  struct Case {
    HANDLE process;
    DWORD size;
    DWORD error;
  } const cases[] = {
      {nullptr, sizeof counters, ERROR_INVALID_HANDLE},
      {GetCurrentProcess(), sizeof counters - 1, ERROR_INSUFFICIENT_BUFFER},
  };
  for (const Case& c : cases) {
    SetLastError(0);
    EXPECT_FALSE(GetProcessMemoryInfo(c.process, &counters, c.size));
    EXPECT_EQ(c.error, GetLastError());
  }
}

}  // namespace
