// libFuzzer target for the zip document end to end: any bytes, opened as an
// archive, must list, extract within the budget, walk and close without a
// memory fault, without anything outside the extraction folder, and without
// leaving anything behind. The input goes to a file on tmpfs once per run:
// the archive reader takes a path, and its own file functions are part of
// what is fuzzed.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <system_error>
#include <vector>

#include "archive/ExtractionBudget.h"
#include "archive/ZipDocument.h"

namespace fs = std::filesystem;

namespace {

// Small, so that a zip bomb costs little and every run stays short; the
// ratio rule is still reached, as it is asked before the bytes are reserved.
constexpr ExtractionLimits kLimits{256 * 1024, 16, 100};

fs::path g_root;     // private folder of this process
fs::path g_archive;  // the input, rewritten every run
fs::path g_work;     // the working folder the document extracts into
WString g_archiveWide;
WString g_workWide;

void Require(bool condition, const char* what) {
  if (condition) return;
  fprintf(stderr, "zip_document_fuzzer: %s\n", what);
  abort();
}

void RemoveRoot() {
  std::error_code ec;
  if (!g_root.empty()) fs::remove_all(g_root, ec);
}

fs::path TmpfsBase() {
  if (const char* chosen = getenv("ARCWISE_FUZZ_TMPDIR")) return chosen;
  std::error_code ec;
  if (fs::is_directory("/dev/shm", ec)) return "/dev/shm";
  return fs::temp_directory_path();
}

bool IsBelow(const WString& path, const WString& folder) {
  return path.size() > folder.size() + 1 && path.compare(0, folder.size(), folder) == 0 &&
         path[folder.size()] == u'\\';
}

// The walk from its start to the empty string that ends it.
std::vector<WString> Walk(ZipDocument& document) {
  std::vector<WString> files;
  document.Rewind();
  Require(document.HasMoreFiles(), "a rewound walk has no files to offer");
  for (WString next = document.NextFile(); !next.empty(); next = document.NextFile()) {
    files.push_back(next);
    Require(files.size() <= kLimits.maxEntries, "the walk hands out more files than entries were allowed");
  }
  Require(!document.HasMoreFiles(), "the walk goes on after its empty string");
  Require(document.NextFile().empty(), "a finished walk hands out another file");
  return files;
}

void CheckExtraction(ZipDocument& document, const ExtractionBudget& budget) {
  const WString folder = document.GetArcTempDir();
  Require(!folder.empty(), "an open document has no extraction folder");
  for (auto name = document.EntryNamesBegin(); name != document.EntryNamesEnd(); ++name) {
    Require(name->find(u'/') == WString::npos, "an entry name keeps a '/' separator");
  }

  const std::vector<WString> files = Walk(document);
  Require(Walk(document) == files, "a second walk differs from the first");

  std::set<fs::path> extracted;
  for (const WString& file : files) {
    Require(IsBelow(file, folder), "a walked file lies outside the extraction folder");
    extracted.insert(PosixPathFromWide(file.c_str()));
  }
  const ExtractionBudget::Usage& used = budget.Used();
  Require(used.entries <= kLimits.maxEntries && used.bytes <= kLimits.maxBytes, "the budget was overdrawn");

  // One listing of the folder: every file in it is one the walk hands out
  // (whatever a failed entry wrote must have gone again), each walked file is
  // in it, nothing but files and folders is made (never a link), and no more
  // is written than the budget was charged.
  std::error_code ec;
  uintmax_t bytes = 0;
  size_t found = 0;
  const fs::path posixFolder = PosixPathFromWide(folder.c_str());
  for (auto it = fs::recursive_directory_iterator(posixFolder, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    const fs::file_type type = it->symlink_status(ec).type();
    if (type == fs::file_type::directory) continue;
    Require(type == fs::file_type::regular, "extraction made something other than files and folders");
    Require(extracted.count(it->path()) == 1, "extraction left a file that the walk does not hand out");
    ++found;
    bytes += it->file_size(ec);
  }
  Require(!ec, "the extraction folder cannot be listed");
  Require(found == extracted.size(), "a walked file is not in the extraction folder");
  Require(bytes <= used.bytes, "extraction wrote more than the budget was charged");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::string pattern = (TmpfsBase() / "arcwise-zipfuzz-XXXXXX").string();
  Require(mkdtemp(pattern.data()) != nullptr, "cannot make a private folder");
  g_root = pattern;
  atexit(RemoveRoot);
  g_archive = g_root / "input.zip";
  g_work = g_root / "work";
  Require(fs::create_directory(g_work), "cannot make the working folder");
  g_archiveWide = Utf8ToUtf16(g_archive.string());
  g_workWide = Utf8ToUtf16(g_work.string());
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FILE* file = fopen(g_archive.c_str(), "wb");
  Require(file != nullptr, "cannot write the input file");
  Require(size == 0 || fwrite(data, 1, size, file) == size, "cannot write the input file");
  Require(fclose(file) == 0, "cannot write the input file");

  ExtractionBudget budget(kLimits);
  // The length picks the path mode, so both are reached without spending a
  // byte of the archive on it.
  const BYTE flattenPaths = static_cast<BYTE>(size & 1);
  WString folder;
  {
    ZipDocument document(g_archiveWide.c_str(), g_workWide.c_str(), flattenPaths, &budget);
    folder = document.GetArcTempDir();
    if (document.IsOpen()) {
      CheckExtraction(document, budget);
    } else {
      Require(document.EntryNamesBegin() == document.EntryNamesEnd(), "a document that failed lists entries");
      Require(Walk(document).empty(), "a document that failed hands out files");
    }
    document.Close();
    Require(document.GetArcTempDir().empty(), "Close keeps the extraction folder's name");
    Require(!document.IsOpen(), "a closed document is still open");
  }

  std::error_code ec;
  if (!folder.empty()) {
    Require(!fs::exists(fs::symlink_status(PosixPathFromWide(folder.c_str()), ec)),
            "the extraction folder is still there after Close");
  }
  // Neither the claim's lock file nor anything written through a hostile
  // name may outlive the document.
  Require(fs::is_empty(g_work, ec) && !ec, "the working folder is not empty after Close");
  for (const fs::directory_entry& entry : fs::directory_iterator(g_root, ec)) {
    Require(entry.path() == g_archive || entry.path() == g_work, "extraction wrote outside the working folder");
  }
  return 0;
}
