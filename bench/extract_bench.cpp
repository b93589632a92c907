// Extraction benchmark: times ZipDocument::Open on one archive against
// `unzip -qq -o -d` on the same archive in the same process run, alternating
// the two so both meet the same cache state, and reports the medians, their
// ratio and the peak resident memory. Run by run_extract.sh; not a test.
//
// Usage: arcwise_extract_bench <archive> <work folder> <runs> [--ours-only]
// --ours-only skips unzip, so the process's peak memory is ours alone.
#include <psapi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/ZipDocument.h"

namespace fs = std::filesystem;

namespace {

WString Wide(const std::string& path) {
  WString wide = Utf8ToUtf16(path);
  for (WCHAR& c : wide) {
    if (c == u'/') c = u'\\';
  }
  return wide;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

double Seconds(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: %s <archive> <work folder> <runs> [--ours-only]\n", argv[0]);
    return 2;
  }
  const std::string archive = argv[1];
  const std::string work = argv[2];
  const int runs = std::max(1, std::atoi(argv[3]));
  const bool oursOnly = argc > 4 && std::string(argv[4]) == "--ours-only";
  const std::string appTemp = work + "/apptemp";
  const std::string unzipTarget = work + "/unzip-out";
  fs::create_directories(appTemp);

  std::vector<double> ours;
  std::vector<double> theirs;
  size_t files = 0;
  for (int run = 0; run < runs; ++run) {
    for (int turn = 0; turn < 2; ++turn) {
      const bool oursNow = ((run + turn) % 2) == 0;
      if (oursNow) {
        const auto start = std::chrono::steady_clock::now();
        ZipDocument document(Wide(archive).c_str(), Wide(appTemp).c_str(), 0);
        ours.push_back(Seconds(start));
        if (!document.IsOpen()) {
          std::fprintf(stderr, "ZipDocument did not open %s\n", archive.c_str());
          return 1;
        }
        files = 0;
        while (!document.NextFile().empty()) ++files;
        // Deleting the tree (the document's Close) is not part of the timing.
      } else if (!oursOnly) {
        fs::remove_all(unzipTarget);
        const std::string command = "unzip -qq -o -d '" + unzipTarget + "' '" + archive + "'";
        const auto start = std::chrono::steady_clock::now();
        const int status = std::system(command.c_str());
        theirs.push_back(Seconds(start));
        if (status != 0) {
          std::fprintf(stderr, "unzip failed (%d)\n", status);
          return 1;
        }
        fs::remove_all(unzipTarget);
      }
    }
  }

  // Only this process: a forked child's figure starts from the parent's size,
  // so run_extract.sh measures unzip's peak with /usr/bin/time instead.
  PROCESS_MEMORY_COUNTERS memory = {};
  GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
  std::printf("archive %s: %zu files, %d runs\n", archive.c_str(), files, runs);
  std::printf("  ZipDocument::Open   median %.3f s\n", Median(ours));
  if (!oursOnly) {
    std::printf("  unzip -qq -o -d     median %.3f s\n", Median(theirs));
    std::printf("  ratio ours/unzip    %.3f\n", Median(ours) / Median(theirs));
  }
  std::printf("  peak RSS this process %zu KiB\n", memory.PeakWorkingSetSize / 1024);
  return 0;
}
