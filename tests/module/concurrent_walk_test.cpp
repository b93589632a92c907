// Many host threads in one process, each with filter objects of its own, walk
// the same archives at once: by path and by stream, through nested archives,
// the stock text filter and a compound document's properties, with the log
// going to a file and the modules freed and loaded again between rounds.
// Every walk must give exactly what one thread alone gets; the
// thread-sanitizer build runs this to find the races that equal output
// cannot show.
#include "module/module_test_util.h"

#include <barrier>
#include <sstream>
#include <thread>

namespace module_test {
namespace {

constexpr int kThreads = 8;
constexpr int kRounds = 10;

enum class LoadBy { Path, Stream };

struct Archive {
  std::string path;
  std::string bytes;
};

class ConcurrentWalk : public PumpTest {
 protected:
  void SetUp() override {
    PumpTest::SetUp();
    if (HasFatalFailure()) return;
    // Log to a file in the working folder, from the module's next load on.
    SetProductDword(W("OutputMode"), 2);
    m_archives = {WriteArchive("mixed.zip", MixedArchive()), WriteArchive("texts.zip", TextArchive())};
  }

  Archive WriteArchive(const std::string& name, const std::string& bytes) {
    const std::string path = arcwise_test::MakeTestFolder("src-" + name) + "/" + name;
    arcwise_test::WriteAll(path, bytes);
    return {path, bytes};
  }

  std::string MixedArchive() {
    arcwise_test::PropertySetWriter summary(FMTID_SummaryInformation, 1252);
    summary.Lpstr(PIDSI_TITLE, "Quarterly figures").Lpstr(PIDSI_AUTHOR, "Ada");
    arcwise_test::ZipWriter innermost;
    innermost.Add("core.txt", "innermost words");
    arcwise_test::ZipWriter inner;
    inner.Add("deep.txt", "nested words").Add("innermost.zip", innermost.Bytes());
    arcwise_test::ZipWriter outer;
    outer.Add("notes.txt", "alpha beta")
        .Add("docs/", "")
        .Add("docs/readme.txt", "gamma")
        .Add("report.doc", CompoundDocument(summary))
        .Add("inner.zip", inner.Bytes())
        .Add("last.txt", "omega");
    return outer.Bytes();
  }

  // Text long enough to need many GetText calls per chunk.
  static std::string TextArchive() {
    arcwise_test::ZipWriter nested;
    arcwise_test::ZipWriter writer;
    for (int i = 0; i < 12; ++i) {
      std::string text;
      for (int line = 0; line < 40; ++line) {
        text += "file " + std::to_string(i) + " line " + std::to_string(line) + "\n";
      }
      writer.Add("t" + std::to_string(i) + ".txt", text);
      nested.Add("n" + std::to_string(i) + ".txt", text.substr(0, 100 + 10 * i));
    }
    writer.Add("nested.zip", nested.Bytes());
    return writer.Bytes();
  }

  // One walk as text: the load and Init results, every chunk with its whole
  // text or value, and the code that ended it. Makes no assertion, so any
  // thread may call it.
  std::string Walk(const Archive& archive, LoadBy by) {
    std::ostringstream dump;
    ComPtr<IFilter> filter;
    HRESULT hr = Create(filter);
    dump << "create " << std::hex << hr << std::dec << "\n";
    if (FAILED(hr)) return dump.str();
    if (by == LoadBy::Path) {
      ComPtr<IPersistFile> file;
      hr = filter.As(&file);
      if (SUCCEEDED(hr)) hr = file->Load(Utf8ToUtf16(archive.path).c_str(), STGM_READ);
    } else {
      // A memory stream has no file behind it, so the module copies it.
      ComPtr<IPersistStream> persist;
      ComPtr<IStream> stream;
      stream.Attach(SHCreateMemStream(reinterpret_cast<const BYTE*>(archive.bytes.data()),
                                      UINT(archive.bytes.size())));
      hr = stream ? filter.As(&persist) : E_OUTOFMEMORY;
      if (SUCCEEDED(hr)) hr = persist->Load(stream.Get());
    }
    dump << "load " << std::hex << hr << std::dec << "\n";
    if (FAILED(hr)) return dump.str();
    ULONG flags = 0;
    hr = filter->Init(IFILTER_INIT_CANON_PARAGRAPHS | IFILTER_INIT_APPLY_INDEX_ATTRIBUTES, 0, nullptr,
                      &flags);
    dump << "init " << std::hex << hr << " flags " << flags << std::dec << "\n";
    HRESULT end = S_OK;
    for (const Chunk& chunk : Drain(filter.Get(), &end, 7)) dump << chunk << "\n";
    dump << "end " << std::hex << end << std::dec << "\n";
    return dump.str();
  }

  std::vector<Archive> m_archives;
};

TEST_F(ConcurrentWalk, EveryThreadSeesWhatOneThreadAloneSees) {
  // What one thread alone gets for each archive and way of loading.
  std::vector<std::string> reference;
  for (const Archive& archive : m_archives) {
    for (LoadBy by : {LoadBy::Path, LoadBy::Stream}) reference.push_back(Walk(archive, by));
  }
  // Without the nested archives, the text filter and the compound document
  // in them, equal walks would prove little.
  ASSERT_NE(std::string::npos, reference[0].find("\"innermost words\"")) << reference[0];
  ASSERT_NE(std::string::npos, reference[0].find("\"Quarterly figures\"")) << reference[0];
  ASSERT_NE(std::string::npos, reference[2].find("file 11 line 39")) << reference[2];
  EXPECT_EQ(reference[0], reference[1]) << "a stream and a path of the same archive differ";
  EXPECT_EQ(reference[2], reference[3]) << "a stream and a path of the same archive differ";
  CoFreeUnusedLibraries();

  // Between rounds, with every object released, the modules are freed, so
  // each round starts with all threads loading them at once. (Freeing them
  // while another thread filters would race the last Release of a module's
  // object, which still runs the module's code after its count drops to
  // zero.)
  std::barrier roundEnd(kThreads, []() noexcept { CoFreeUnusedLibraries(); });
  // walks[t][r]: thread t's round r, which used reference[(t + r) % 4].
  std::vector<std::vector<std::string>> walks(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([this, t, &walks, &roundEnd] {
      const HRESULT apartment = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
      for (int r = 0; r < kRounds; ++r) {
        const int which = (t + r) % 4;
        walks[t].push_back(Walk(m_archives[which / 2], which % 2 ? LoadBy::Stream : LoadBy::Path));
        roundEnd.arrive_and_wait();
      }
      if (SUCCEEDED(apartment)) CoUninitialize();
    });
  }
  for (std::thread& thread : threads) thread.join();

  for (int t = 0; t < kThreads; ++t) {
    ASSERT_EQ(size_t(kRounds), walks[t].size());
    for (int r = 0; r < kRounds; ++r) {
      EXPECT_EQ(reference[(t + r) % 4], walks[t][r]) << "thread " << t << ", round " << r;
    }
  }

  // The log went to files, line by line: no line of one thread was cut
  // into by another's.
  size_t logLines = 0;
  for (const auto& entry : std::filesystem::directory_iterator(m_work)) {
    if (entry.path().extension() != ".log") continue;
    std::istringstream log(ReadAll(entry.path()));
    for (std::string line; std::getline(log, line);) {
      ++logLines;
      EXPECT_EQ(0u, line.rfind("Quillmark Arcwise Filter:", 0)) << entry.path() << ": " << line;
    }
  }
  EXPECT_GT(logLines, 0u) << "nothing was logged to a file";
  EXPECT_TRUE(WorkEntries("aw").empty()) << "an extraction folder survived its filter";
}

}  // namespace
}  // namespace module_test
