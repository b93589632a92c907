// IPersistFile::Load on the filter object made by the real module: the
// archive is extracted into a folder of its own inside the working folder,
// which lives exactly as long as the loaded document; failed loads and a
// missing working folder.
#include <thread>

#include "module/module_test_util.h"
#include "support/scoped_env.h"

namespace module_test {
namespace {

namespace fs = std::filesystem;

using arcwise_test::WindowsPath;

WString CurFile(IPersistFile* file, HRESULT* result) {
  LPOLESTR path = nullptr;
  *result = file->GetCurFile(&path);
  WString text = path ? WString(path) : WString();
  CoTaskMemFree(path);
  return text;
}

class FileLoadTest : public ModuleTest {
 protected:
  void SetUp() override {
    ModuleTest::SetUp();
    m_first = MakeArchive("first.zip", {{"a.txt", "alpha"}, {"dir/b.txt", "beta"}});
    m_second = MakeArchive("second.zip", {{"c.txt", "gamma"}});
  }

  // The one extraction folder in the working folder.
  fs::path OnlyExtractionFolder() {
    auto folders = WorkEntries("aw");
    EXPECT_EQ(1u, folders.size());
    return folders.empty() ? fs::path() : fs::path(m_work) / folders.front();
  }

  std::string m_first;
  std::string m_second;
};

TEST_F(FileLoadTest, ExtractionFolderLivesAsLongAsTheObject) {
  ComPtr<IPersistFile> file;
  ASSERT_EQ(S_OK, Create(file));
  ASSERT_EQ(S_OK, file->Load(WindowsPath(m_first).c_str(), STGM_READ));

  const fs::path folder = OnlyExtractionFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ("alpha", ReadAll(folder / "a.txt"));
  EXPECT_EQ("beta", ReadAll(folder / "dir" / "b.txt"));
  const DWORD attributes = GetFileAttributesW(Utf8ToUtf16(folder.string()).c_str());
  ASSERT_NE(INVALID_FILE_ATTRIBUTES, attributes);
  EXPECT_TRUE(attributes & FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);

  HRESULT hr = E_UNEXPECTED;
  EXPECT_EQ(WindowsPath(m_first), CurFile(file.Get(), &hr));
  EXPECT_EQ(S_OK, hr);
  // The archive itself is not held open after loading.
  EXPECT_TRUE(fs::remove(m_first));

  file = nullptr;
  EXPECT_FALSE(fs::exists(folder));
  EXPECT_TRUE(WorkEntries("aw").empty());
}

TEST_F(FileLoadTest, SecondLoadRemovesTheFirstExtraction) {
  ComPtr<IPersistFile> file;
  ASSERT_EQ(S_OK, Create(file));
  ASSERT_EQ(S_OK, file->Load(WindowsPath(m_first).c_str(), 0));
  const fs::path firstFolder = OnlyExtractionFolder();

  ASSERT_EQ(S_OK, file->Load(WindowsPath(m_second).c_str(), 0));
  EXPECT_FALSE(fs::exists(firstFolder));
  const fs::path secondFolder = OnlyExtractionFolder();
  EXPECT_NE(firstFolder, secondFolder);
  EXPECT_EQ("gamma", ReadAll(secondFolder / "c.txt"));
  HRESULT hr = E_UNEXPECTED;
  EXPECT_EQ(WindowsPath(m_second), CurFile(file.Get(), &hr));
}

TEST_F(FileLoadTest, FailedLoadKeepsThePathAndLeavesTheObjectUsable) {
  SetProductDword(W("DebugMode"), 1);
  const std::string notZip = arcwise_test::TestRoot() + "/archives/notes.zip";
  { std::ofstream(notZip) << "this is not an archive"; }

  ComPtr<IPersistFile> file;
  ASSERT_EQ(S_OK, Create(file));
  ASSERT_EQ(S_OK, file->Load(WindowsPath(m_first).c_str(), 0));
  const fs::path firstFolder = OnlyExtractionFolder();

  arcwise_test::DebugCapture capture;
  EXPECT_EQ(E_FAIL, file->Load(WindowsPath(notZip).c_str(), 0));
  EXPECT_FALSE(fs::exists(firstFolder)) << "the earlier document is released first";
  EXPECT_TRUE(WorkEntries("aw").empty()) << "the failed document left its folder";
  HRESULT hr = E_UNEXPECTED;
  EXPECT_EQ(WindowsPath(notZip), CurFile(file.Get(), &hr));
  EXPECT_EQ(S_OK, hr);
  EXPECT_EQ(1u, CountLines(capture.Lines(), W("Quillmark Arcwise Filter:ERROR: Open Document failed for ") +
                                                WindowsPath(notZip) + W(" \n")))
      << capture.Text();

  const WString missing = WindowsPath(arcwise_test::TestRoot() + "/archives/missing.zip");
  EXPECT_EQ(E_FAIL, file->Load(missing.c_str(), 0));
  EXPECT_EQ(missing, CurFile(file.Get(), &hr));

  ASSERT_EQ(S_OK, file->Load(WindowsPath(m_second).c_str(), 0));
  EXPECT_EQ("gamma", ReadAll(OnlyExtractionFolder() / "c.txt"));
}

TEST_F(FileLoadTest, NullPathChangesNothing) {
  ComPtr<IPersistFile> file;
  ASSERT_EQ(S_OK, Create(file));
  ASSERT_EQ(S_OK, file->Load(WindowsPath(m_first).c_str(), 0));
  const fs::path folder = OnlyExtractionFolder();
  EXPECT_EQ(E_INVALIDARG, file->Load(nullptr, 0));
  EXPECT_TRUE(fs::exists(folder / "a.txt"));
  HRESULT hr = E_UNEXPECTED;
  EXPECT_EQ(WindowsPath(m_first), CurFile(file.Get(), &hr));
}

TEST_F(FileLoadTest, NoWorkingFolderFailsBothLoadsWithItsCause) {
  // Neither TempPath nor the system temporary folder is usable when the
  // configuration is built: a folder that is not there is reported as such,
  // anything else as the access failure hosts have always had.
  const std::string notAFolder = arcwise_test::TestRoot() + "/a-file";
  { std::ofstream(notAFolder) << "x"; }
  const struct {
    std::string systemTemp;
    HRESULT expected;
  } cases[] = {
      {arcwise_test::TestRoot() + "/no-such-folder", HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND)},
      {notAFolder, E_ACCESSDENIED},
  };
  SHDeleteKeyW(HKEY_LOCAL_MACHINE, kProductKey.c_str());
  SetProductDword(W("DebugMode"), 1);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.systemTemp);
    arcwise_test::DebugCapture capture;
    ComPtr<IPersistFile> file;
    HRESULT created = E_UNEXPECTED;
    {
      arcwise_test::ScopedEnv systemTemp("TMPDIR", c.systemTemp);
      created = Create(file);
    }
    ASSERT_EQ(S_OK, created);
    EXPECT_EQ(1u, CountLines(capture.Lines(), W("INFO: AppTempDir is not defined \n"))) << capture.Text();

    EXPECT_EQ(c.expected, file->Load(WindowsPath(m_first).c_str(), 0));
    EXPECT_EQ(1u, CountLines(capture.Lines(), W("Quillmark Arcwise Filter:ERROR: AppTempDir is not defined. "
                                                "Cannot process ") +
                                                  WindowsPath(m_first) + W(" \n")))
        << capture.Text();
    HRESULT hr = E_UNEXPECTED;
    CurFile(file.Get(), &hr);
    EXPECT_EQ(E_FAIL, hr);

    ComPtr<IPersistStream> stream;
    ASSERT_EQ(S_OK, file.As(&stream));
    auto source = MakeTestStream(ReadAll(m_first));
    EXPECT_EQ(c.expected, stream->Load(source.Get()));
    EXPECT_EQ(1u, CountLines(capture.Lines(),
                             W("Quillmark Arcwise Filter:ERROR: AppTempDir is not defined. The Stream cannot be "
                               "processed \n")))
        << capture.Text();
    EXPECT_TRUE(source->reads.empty());
    // The configuration is made once per module load.
    file = nullptr;
    stream = nullptr;
    CoFreeUnusedLibraries();
  }
}

TEST_F(FileLoadTest, ObjectsOnDifferentThreadsExtractIntoFoldersOfTheirOwn) {
  constexpr int kThreads = 4;
  std::vector<ComPtr<IPersistFile>> files(kThreads);
  std::vector<HRESULT> results(kThreads, E_FAIL);
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&, i] {
      CoInitializeEx(nullptr, COINIT_MULTITHREADED);
      results[i] = Create(files[i]);
      if (SUCCEEDED(results[i])) results[i] = files[i]->Load(WindowsPath(m_first).c_str(), 0);
      CoUninitialize();
    });
  }
  for (auto& thread : threads) thread.join();
  for (int i = 0; i < kThreads; ++i) EXPECT_EQ(S_OK, results[i]) << "thread " << i;

  const auto folders = WorkEntries("aw");
  ASSERT_EQ(size_t(kThreads), folders.size());
  for (const auto& folder : folders) EXPECT_EQ("beta", ReadAll(fs::path(m_work) / folder / "dir" / "b.txt"));
  files[0] = nullptr;
  EXPECT_EQ(size_t(kThreads - 1), WorkEntries("aw").size());
  files.clear();
  EXPECT_TRUE(WorkEntries("aw").empty());
}

}  // namespace
}  // namespace module_test
