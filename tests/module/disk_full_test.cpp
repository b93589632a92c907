// A disk that fills up while the filter object writes: the copy of a loaded
// stream or the extraction fails, Load answers HRESULT_FROM_WIN32(
// ERROR_DISK_FULL) rather than the E_FAIL of an archive it cannot read,
// extraction stops at the first write that does not fit, and nothing is left
// in the working folder. The disk is the preloaded WriteFile of
// support/disk_full_preload.cpp; the test runs itself again with it.
#include "module/module_test_util.h"
#include "support/run_process.h"
#include "support/scoped_env.h"

namespace module_test {
namespace {

namespace fs = std::filesystem;

using Counter = unsigned (*)();
using Reset = void (*)();

Counter RefusedWrites() { return reinterpret_cast<Counter>(dlsym(RTLD_DEFAULT, "ArcwiseTestRefusedWrites")); }

class DiskFullTest : public ModuleTest {
 protected:
  std::vector<std::string> WorkingFolderContent() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(m_work)) names.push_back(entry.path().filename().string());
    return names;
  }
};

// Runs only in the copy of this program that LoadReportsTheFullDisk starts.
TEST_F(DiskFullTest, DISABLED_WithThePreloadedDisk) {
  if (!RefusedWrites()) GTEST_SKIP() << "needs the disk-full library preloaded; LoadReportsTheFullDisk runs it so";
  const auto reset = reinterpret_cast<Reset>(dlsym(RTLD_DEFAULT, "ArcwiseTestResetDiskFull"));
  const std::string block(100 * 1024, 'z');
  const std::string archive = MakeArchive("big.zip", {{"a.txt", block}, {"b.txt", block}, {"c.txt", block}});
  const size_t archiveSize = fs::file_size(archive);

  const struct {
    const char* route;
    size_t room;  // bytes the disk takes before it is full
  } cases[] = {
      {"path, the first entry does not fit", 1000},
      {"stream, the copy does not fit", 1000},
      {"stream, the copy fits but the first entry does not", archiveSize + 1000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.route);
    const bool byStream = std::string(c.route).rfind("stream", 0) == 0;
    ComPtr<IPersistFile> file;
    ASSERT_EQ(S_OK, Create(file));
    reset();
    HRESULT hr = E_UNEXPECTED;
    {
      arcwise_test::ScopedEnv room("ARCWISE_TEST_DISK_FULL_AFTER", std::to_string(c.room));
      if (byStream) {
        ComPtr<IPersistStream> stream;
        ASSERT_EQ(S_OK, file.As(&stream));
        hr = stream->Load(MakeTestStream(ReadAll(archive)).Get());
      } else {
        hr = file->Load(Utf8ToUtf16(archive).c_str(), 0);
      }
    }
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_DISK_FULL), hr);
    EXPECT_EQ(1u, RefusedWrites()()) << "every entry after a full disk was tried too";
    EXPECT_EQ(std::vector<std::string>(), WorkingFolderContent());
  }
}

TEST(DiskFull, LoadReportsTheFullDisk) {
  const arcwise_test::ProcessResult run = arcwise_test::RunProcess(
      "/proc/self/exe", {"--gtest_filter=DiskFullTest.DISABLED_WithThePreloadedDisk", "--gtest_also_run_disabled_tests"},
      arcwise_test::PreloadEnvironment(ARCWISE_DISK_FULL_PRELOAD));
  EXPECT_EQ(0, run.exitCode) << run.out << run.err;
  EXPECT_NE(std::string::npos, run.out.find("[  PASSED  ] 1 test")) << run.out;
  EXPECT_EQ(std::string::npos, run.out.find("SKIPPED")) << run.out;
}

}  // namespace
}  // namespace module_test
