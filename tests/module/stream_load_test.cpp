// IPersistStream::Load on the filter object made by the real module: a
// stream over a file that still exists is loaded from that file; anything
// else is copied, 4,093 bytes per read, into a "qmk" temporary file in the
// working folder that is gone again when Load returns.
#include "module/module_test_util.h"
#include "support/stream_util.h"

namespace module_test {
namespace {

namespace fs = std::filesystem;

using arcwise_test::WindowsPath;

class StreamLoadTest : public ModuleTest {
 protected:
  void SetUp() override {
    ModuleTest::SetUp();
    m_archive = MakeArchive("streamed.zip", {{"a.txt", "alpha"}, {"dir/b.txt", "beta"}});
    // Every line from the module's load on is captured.
    SetProductDword(W("DebugMode"), 3);
    ASSERT_EQ(S_OK, Create(m_stream));
    ASSERT_EQ(S_OK, m_stream.As(&m_file));
  }
  void TearDown() override {
    m_stream = nullptr;
    m_file = nullptr;
    EXPECT_TRUE(WorkEntries("aw").empty());
    EXPECT_TRUE(TempCopies().empty());
    ModuleTest::TearDown();
  }

  // Temporary copies in the working folder ("QMK.tmp" is the configuration's
  // write probe, not a copy).
  std::vector<std::string> TempCopies() const {
    auto names = WorkEntries("qmk");
    names.erase(std::remove(names.begin(), names.end(), "QMK.tmp"), names.end());
    return names;
  }

  HRESULT CurFile(WString* path) {
    LPOLESTR text = nullptr;
    HRESULT hr = m_file->GetCurFile(&text);
    if (text) *path = text;
    CoTaskMemFree(text);
    return hr;
  }

  // The extracted content of the one loaded document.
  void ExpectExtracted() {
    auto folders = WorkEntries("aw");
    ASSERT_EQ(1u, folders.size());
    const fs::path folder = fs::path(m_work) / folders.front();
    EXPECT_EQ("alpha", ReadAll(folder / "a.txt"));
    EXPECT_EQ("beta", ReadAll(folder / "dir" / "b.txt"));
  }

  arcwise_test::DebugCapture m_capture;
  std::string m_archive;
  ComPtr<IPersistStream> m_stream;
  ComPtr<IPersistFile> m_file;
};

TEST_F(StreamLoadTest, NamedStreamOfAnExistingArchiveIsLoadedFromItsFile) {
  // Reading this stream would fail: the load must not need it. Its size is
  // the file's, which is what lets the name stand for the stream.
  auto source = MakeTestStream(std::string(ReadAll(m_archive).size(), 'x'));
  source->name = WindowsPath(m_archive);
  source->failReadAt = 0;
  ASSERT_EQ(S_OK, m_stream->Load(source.Get()));
  EXPECT_TRUE(source->reads.empty());
  ExpectExtracted();
  WString path;
  EXPECT_EQ(S_OK, CurFile(&path));
  EXPECT_EQ(WindowsPath(m_archive), path);
}

TEST_F(StreamLoadTest, ShellFileStreamIsLoadedFromItsFileWithoutMovingIt) {
  m_capture.Clear();
  ComPtr<IStream> source;
  ASSERT_EQ(S_OK, SHCreateStreamOnFileEx(WindowsPath(m_archive).c_str(), STGM_READ | STGM_SHARE_DENY_WRITE,
                                         FILE_ATTRIBUTE_NORMAL, FALSE, nullptr, &source));
  STATSTG stat = {};
  ASSERT_EQ(S_OK, source->Stat(&stat, STATFLAG_DEFAULT));
  ASSERT_NE(nullptr, stat.pwcsName);
  const WString name = stat.pwcsName;
  CoTaskMemFree(stat.pwcsName);

  ASSERT_EQ(S_OK, m_stream->Load(source.Get()));
  ExpectExtracted();
  WString path;
  EXPECT_EQ(S_OK, CurFile(&path));
  EXPECT_EQ(name, path);
  EXPECT_EQ(0u, arcwise_test::Position(source.Get()));
  const auto lines = m_capture.Lines();
  EXPECT_EQ(1u, CountLines(lines, W("Quillmark Arcwise Filter:INFO: IStorage name is ") + name + W(" \n")))
      << m_capture.Text();
  // A direct load returns at once: no exit line.
  EXPECT_EQ(1u, CountLines(lines, W("INFO: entered IPersistStream::Load \n")));
  EXPECT_EQ(0u, CountLines(lines, W("INFO: exited IPersistStream::Load")));
}

TEST_F(StreamLoadTest, StreamWhoseFileIsGoneIsCopiedAndTheCopyDeleted) {
  m_capture.Clear();
  ComPtr<IStream> source;
  ASSERT_EQ(S_OK, SHCreateStreamOnFileEx(WindowsPath(m_archive).c_str(), STGM_READ | STGM_SHARE_DENY_NONE,
                                         FILE_ATTRIBUTE_NORMAL, FALSE, nullptr, &source));
  // The stream stays readable; its name no longer leads anywhere.
  ASSERT_TRUE(fs::remove(m_archive));

  ASSERT_EQ(S_OK, m_stream->Load(source.Get()));
  ExpectExtracted();
  EXPECT_TRUE(TempCopies().empty());
  WString path;
  EXPECT_EQ(E_FAIL, CurFile(&path)) << "GetCurFile names the deleted copy";
  EXPECT_EQ(1u, CountLines(m_capture.Lines(), W("INFO: Read-Only access denied for ")));
  EXPECT_EQ(1u, CountLines(m_capture.Lines(), W(". Error code = 2 \n"))) << m_capture.Text();
  EXPECT_EQ(1u, CountLines(m_capture.Lines(), W("INFO: exited IPersistStream::Load \n")));
}

TEST_F(StreamLoadTest, NamedStreamThatIsNotAnArchiveFallsBackToACopy) {
  const std::string text = arcwise_test::TestRoot() + "/archives/readme.txt";
  { std::ofstream(text) << "plain text"; }
  auto source = MakeTestStream(ReadAll(m_archive));
  source->name = WindowsPath(text);
  ASSERT_EQ(S_OK, m_stream->Load(source.Get()));
  EXPECT_FALSE(source->reads.empty());
  ExpectExtracted();
  WString path;
  EXPECT_EQ(E_FAIL, CurFile(&path));
}

// The stream's name stands for the stream only as an absolute path of a file
// of the stream's size; a relative or unrelated name never brings another
// file's content in.
TEST_F(StreamLoadTest, OnlyAnAbsoluteNameOfAFileOfTheStreamsSizeStandsForIt) {
  const std::string other = MakeArchive("other.zip", {{"a.txt", "ALPHA"}, {"dir/b.txt", "BETA"}});
  const std::string larger = MakeArchive("larger.zip", {{"a.txt", "ALPHA!"}, {"dir/b.txt", "BETA"}});
  ASSERT_EQ(fs::file_size(m_archive), fs::file_size(other));
  const std::string previous = fs::current_path();
  fs::current_path(fs::path(other).parent_path());
  const struct {
    const char* label;
    WString name;
    const char* expectedA;
  } cases[] = {
      {"relative name of a file of the same size", W("other.zip"), "alpha"},
      {"absolute name of a file of another size", WindowsPath(larger), "alpha"},
      {"absolute name of a file of the same size", WindowsPath(other), "ALPHA"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    auto source = MakeTestStream(ReadAll(m_archive));
    source->name = c.name;
    ASSERT_EQ(S_OK, m_stream->Load(source.Get()));
    const auto folders = WorkEntries("aw");
    ASSERT_EQ(1u, folders.size());
    EXPECT_EQ(c.expectedA, ReadAll(fs::path(m_work) / folders.front() / "a.txt"));
  }
  fs::current_path(previous);
}

TEST_F(StreamLoadTest, StreamWithoutStatIsCopied) {
  m_capture.Clear();
  auto source = MakeTestStream(ReadAll(m_archive));
  source->statResult = E_NOTIMPL;
  ASSERT_EQ(S_OK, m_stream->Load(source.Get()));
  ExpectExtracted();
  EXPECT_EQ(1u, CountLines(m_capture.Lines(),
                           W("INFO: Unable to retrieve STAT from IStorage stream. Error = 0x80004001 \n")))
      << m_capture.Text();
}

TEST_F(StreamLoadTest, CopyLivesInTheWorkingFolderMarkedNotIndexed) {
  auto source = MakeTestStream(ReadAll(m_archive));
  std::vector<std::string> seen;
  std::vector<std::string> claims;
  bool marked = false;
  fs::perms permissions = fs::perms::unknown;
  source->onRead = [&] {
    seen = TempCopies();
    claims = LockFiles();
    if (seen.size() == 1) {
      const DWORD attributes =
          GetFileAttributesW(Utf8ToUtf16(m_work + "/" + seen.front()).c_str());
      marked = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
      permissions = fs::status(m_work + "/" + seen.front()).permissions();
    }
  };
  ASSERT_EQ(S_OK, m_stream->Load(source.Get()));
  ASSERT_EQ(1u, seen.size());
  EXPECT_EQ(0, strncasecmp(seen.front().c_str(), "qmk", 3));
  EXPECT_TRUE(marked);
  EXPECT_EQ(fs::perms::owner_read | fs::perms::owner_write, permissions) << "the copy is the owner's alone";
  EXPECT_EQ(std::vector<std::string>{seen.front() + ".lock"}, claims) << "the copy is claimed while it lives";
  EXPECT_TRUE(TempCopies().empty());
}

// An archive of exactly `size` bytes: one stored entry "pad.bin" padded to
// fit; padSize receives the entry's length.
std::string ArchiveOfSize(size_t size, size_t* padSize = nullptr) {
  arcwise_test::ZipWriter empty;
  empty.Add("pad.bin", "");
  const size_t pad = size - empty.Bytes().size();
  if (padSize) *padSize = pad;
  arcwise_test::ZipWriter writer;
  writer.Add("pad.bin", std::string(pad, 'x'));
  return writer.Bytes();
}

TEST_F(StreamLoadTest, StreamOfExactlyOneReadNeedsAnEmptySecondRead) {
  size_t padSize = 0;
  const std::string bytes = ArchiveOfSize(4093, &padSize);
  ASSERT_EQ(4093u, bytes.size());

  ComPtr<IStream> memory;
  memory.Attach(SHCreateMemStream(reinterpret_cast<const BYTE*>(bytes.data()), UINT(bytes.size())));
  ASSERT_TRUE(memory);
  m_capture.Clear();
  ASSERT_EQ(S_OK, m_stream->Load(memory.Get()));
  EXPECT_EQ(1u, CountLines(m_capture.Lines(), W("INFO: IStorage has no name \n"))) << m_capture.Text();
  auto folders = WorkEntries("aw");
  ASSERT_EQ(1u, folders.size());
  EXPECT_EQ(std::string(padSize, 'x'), ReadAll(fs::path(m_work) / folders.front() / "pad.bin"));

  auto counted = MakeTestStream(bytes);
  ASSERT_EQ(S_OK, m_stream->Load(counted.Get()));
  ASSERT_EQ(2u, counted->reads.size());
  EXPECT_EQ(4093u, counted->reads[0].requested);
  EXPECT_EQ(4093u, counted->reads[0].delivered);
  EXPECT_EQ(4093u, counted->reads[1].requested);
  EXPECT_EQ(0u, counted->reads[1].delivered);
}

TEST_F(StreamLoadTest, EndOfFileCodeEndsTheCopy) {
  const std::string bytes = ArchiveOfSize(3 * 4093);
  auto source = MakeTestStream(bytes);
  source->endWithEofCode = true;
  ASSERT_EQ(S_OK, m_stream->Load(source.Get()));
  ASSERT_EQ(4u, source->reads.size());
  for (const auto& read : source->reads) EXPECT_EQ(4093u, read.requested);
  EXPECT_EQ(0u, source->reads.back().delivered);
  auto folders = WorkEntries("aw");
  ASSERT_EQ(1u, folders.size());
  EXPECT_TRUE(fs::exists(fs::path(m_work) / folders.front() / "pad.bin"));
}

TEST_F(StreamLoadTest, FailingReadGivesItsCodeAndLeavesNoCopy) {
  m_capture.Clear();
  auto source = MakeTestStream(ReadAll(m_archive) + std::string(10000, '\0'));
  source->failReadAt = 4093;  // the second read fails
  EXPECT_EQ(STG_E_READFAULT, m_stream->Load(source.Get()));
  EXPECT_EQ(2u, source->reads.size());
  EXPECT_TRUE(TempCopies().empty());
  EXPECT_TRUE(WorkEntries("aw").empty());
  WString path;
  EXPECT_EQ(E_FAIL, CurFile(&path));
  const auto lines = m_capture.Lines();
  EXPECT_EQ(1u, CountLines(lines, W("Quillmark Arcwise Filter:ERROR: cannot read from buffer. Error = 0x8003001e\n")))
      << m_capture.Text();
  EXPECT_EQ(1u, CountLines(lines, W("Quillmark Arcwise Filter:ERROR: saving Stream to temporary file failed \n")));
  EXPECT_EQ(1u, CountLines(lines, W("INFO: exited IPersistStream::Load \n")));
}

TEST_F(StreamLoadTest, CopyThatIsNotAnArchiveFailsAndIsDeleted) {
  auto source = MakeTestStream("plain text, not an archive");
  EXPECT_EQ(E_FAIL, m_stream->Load(source.Get()));
  EXPECT_TRUE(TempCopies().empty());
  EXPECT_TRUE(WorkEntries("aw").empty());
}

TEST_F(StreamLoadTest, NullStreamIsInvalid) {
  m_capture.Clear();
  EXPECT_EQ(E_INVALIDARG, m_stream->Load(nullptr));
  EXPECT_EQ(1u, CountLines(m_capture.Lines(), W("INFO: entered IPersistStream::Load \n")));
  EXPECT_EQ(0u, CountLines(m_capture.Lines(), W("INFO: exited IPersistStream::Load")));
}

TEST_F(StreamLoadTest, StreamLoadReplacesAnEarlierDocument) {
  const std::string other = MakeArchive("other.zip", {{"c.txt", "gamma"}});
  ASSERT_EQ(S_OK, m_file->Load(WindowsPath(other).c_str(), 0));
  const auto before = WorkEntries("aw");
  ASSERT_EQ(1u, before.size());
  auto source = MakeTestStream(ReadAll(m_archive));
  ASSERT_EQ(S_OK, m_stream->Load(source.Get()));
  EXPECT_FALSE(fs::exists(fs::path(m_work) / before.front()));
  ExpectExtracted();
}

}  // namespace
}  // namespace module_test
