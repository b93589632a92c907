// Writes the zip document fuzzer's seed corpus into a folder: archives made
// with minizip's writer (stored, deflated, folders, Zip64 records, UTF-8
// names, comments, an encrypted entry, entries past the budget) and crafted
// ones that no zip tool makes (shared data, "../" names, a wrong CRC, links),
// plus the archives of a third-party corpus listed in its MANIFEST.tsv files
// when such a corpus folder is named and exists.
//   zip_document_seeds <output folder> [corpus folder] [largest seed in bytes]
#include <minizip/zip.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/zip_writer.h"

namespace fs = std::filesystem;
using arcwise_test::ZipEntrySpec;
using arcwise_test::ZipWriter;

namespace {

struct Entry {
  std::string name;
  std::string data;
  int method = Z_DEFLATED;
  bool zip64 = false;
  const char* password = nullptr;
  uLong madeBy = 20;
  uLong flags = 0;
  uLong externalAttributes = 0;
  const char* comment = nullptr;
};

bool WriteWithMinizip(const fs::path& path, const std::vector<Entry>& entries, const char* archiveComment) {
  zipFile zip = zipOpen64(path.c_str(), APPEND_STATUS_CREATE);
  if (zip == nullptr) return false;
  bool ok = true;
  for (const Entry& e : entries) {
    zip_fileinfo info = {};
    info.dosDate = 0x5A210000;  // a fixed date keeps the seeds reproducible
    info.external_fa = e.externalAttributes;
    const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(e.data.data()), static_cast<uInt>(e.data.size()));
    ok = ok && zipOpenNewFileInZip4_64(zip, e.name.c_str(), &info, nullptr, 0, nullptr, 0, e.comment, e.method,
                                       e.method ? Z_DEFAULT_COMPRESSION : 0, 0, -MAX_WBITS, 8,
                                       Z_DEFAULT_STRATEGY, e.password, crc, e.madeBy, e.flags,
                                       e.zip64 ? 1 : 0) == ZIP_OK;
    ok = ok && zipWriteInFileInZip(zip, e.data.data(), static_cast<unsigned>(e.data.size())) == ZIP_OK;
    ok = ok && zipCloseFileInZip(zip) == ZIP_OK;
  }
  return zipClose(zip, archiveComment) == ZIP_OK && ok;
}

bool WriteBytes(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

Entry Stored(const std::string& name, const std::string& data) {
  Entry e{name, data};
  e.method = 0;
  return e;
}

// Copies the archives a manifest lists (first column: file, second: size)
// that are no larger than maxBytes; larger ones would be cut by the fuzzer's
// input limit and lose their central directory.
int CopyCorpus(const fs::path& corpus, const fs::path& out, uintmax_t maxBytes) {
  int copied = 0, skipped = 0;
  std::error_code ec;
  for (const fs::directory_entry& folder : fs::directory_iterator(corpus, ec)) {
    std::ifstream manifest(folder.path() / "MANIFEST.tsv");
    std::string line;
    if (!manifest || !std::getline(manifest, line)) continue;  // header row
    while (std::getline(manifest, line)) {
      std::istringstream columns(line);
      std::string file, size;
      if (!std::getline(columns, file, '\t') || !std::getline(columns, size, '\t')) continue;
      const fs::path source = folder.path() / file;
      if (strtoull(size.c_str(), nullptr, 10) > maxBytes || !fs::is_regular_file(source, ec)) {
        ++skipped;
        continue;
      }
      const fs::path target = out / (folder.path().filename().string() + "-" + file);
      if (fs::copy_file(source, target, fs::copy_options::overwrite_existing, ec)) ++copied;
    }
  }
  printf("zip seeds: %d archives from %s, %d skipped (larger than %ju bytes or missing)\n", copied,
         corpus.c_str(), skipped, maxBytes);
  return copied;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 4) {
    fprintf(stderr, "usage: %s <output folder> [corpus folder] [largest seed in bytes]\n", argv[0]);
    return 2;
  }
  const fs::path out = argv[1];
  const std::string text = "The quick brown fox jumps over the lazy dog.\n";
  std::string repeated;
  for (int i = 0; i < 200; ++i) repeated += text;
  const uLong unixFile = 0100644u << 16, unixFolder = (0040755u << 16) | 0x10;
  const uLong unixHost = (3 << 8) | 30;

  Entry encrypted{"secret.txt", text};
  encrypted.password = "pass";
  Entry utf8Name{"caf\xC3\xA9/\xE6\x97\xA5\xE6\x9C\xAC.txt", text};
  utf8Name.flags = 0x800;
  Entry unixFolderEntry = Stored("bin/", "");
  unixFolderEntry.madeBy = unixHost;
  unixFolderEntry.externalAttributes = unixFolder;
  Entry unixFileEntry{"bin/tool.sh", "#!/bin/sh\necho hi\n"};
  unixFileEntry.madeBy = unixHost;
  unixFileEntry.externalAttributes = unixFile;
  Entry commented{"notes.txt", text};
  commented.comment = "entry comment";
  Entry zip64Stored = Stored("big/stored.bin", repeated);
  zip64Stored.zip64 = true;
  Entry zip64Deflated{"big/deflated.txt", repeated};
  zip64Deflated.zip64 = true;

  struct MinizipSeed {
    const char* file;
    std::vector<Entry> entries;
    const char* comment;
  };
  const std::vector<MinizipSeed> minizipSeeds = {
      {"empty.zip", {}, nullptr},
      {"stored.zip", {Stored("a.txt", "alpha"), Stored("b.txt", "")}, nullptr},
      {"deflated.zip", {{"text.txt", repeated}, {"short.txt", "x"}}, "archive comment"},
      {"folders.zip",
       {Stored("dir/", ""), {"dir/inner.txt", text}, Stored("dir/sub/", ""), {"dir/sub/deep.txt", text},
        {"top.txt", text}},
       nullptr},
      {"zip64.zip", {zip64Stored, zip64Deflated}, nullptr},
      {"names.zip", {utf8Name, unixFolderEntry, unixFileEntry, commented}, nullptr},
      {"encrypted.zip", {encrypted, {"plain.txt", text}}, nullptr},
      {"duplicates.zip", {{"same.txt", "first"}, {"same.txt", "second"}, {"x/same.txt", "third"}}, nullptr},
      // Expands far beyond the ratio and the byte budget from a few kilobytes.
      {"expands.zip", {{"zeros-1.bin", std::string(1536 * 1024, '\0')}, {"zeros-2.bin", std::string(3 << 20, '\0')}},
       nullptr},
  };

  ZipEntrySpec shared;
  shared.name = "copy.txt";
  shared.sharesDataOf = 0;
  ZipEntrySpec badCrc;
  badCrc.name = "bad-crc.txt";
  badCrc.data = text;
  badCrc.crc = 0x12345678;
  ZipEntrySpec lyingSize;
  lyingSize.name = "short-declared.txt";
  lyingSize.data = text;
  lyingSize.uncompressedSize = 4;
  const std::pair<const char*, ZipWriter> craftedSeeds[] = {
      {"overlapping.zip", ZipWriter().Add("data.txt", text).Add(shared).Add(shared)},
      {"escaping.zip", ZipWriter()
                           .Add("../outside.txt", "up")
                           .Add("..\\..\\win.txt", "up")
                           .Add("/absolute.txt", "abs")
                           .Add("C:\\drive.txt", "drive")
                           .Add("./a/../b.txt", "dots")},
      {"damaged.zip", ZipWriter().Add(badCrc).Add(lyingSize).Add("good.txt", "good")},
      {"links.zip", ZipWriter().AddSymlink("link", "../outside").Add("link/through.txt", "x").Add("after.txt", "y")},
  };

  for (const MinizipSeed& seed : minizipSeeds) {
    if (!WriteWithMinizip(out / seed.file, seed.entries, seed.comment)) {
      fprintf(stderr, "cannot write %s\n", seed.file);
      return 1;
    }
  }
  for (const auto& [file, writer] : craftedSeeds) {
    if (!WriteBytes(out / file, writer.Bytes())) {
      fprintf(stderr, "cannot write %s\n", file);
      return 1;
    }
  }
  if (argc >= 3 && fs::is_directory(argv[2])) {
    CopyCorpus(argv[2], out, argc == 4 ? strtoull(argv[3], nullptr, 10) : 32768);
  } else if (argc >= 3) {
    printf("zip seeds: no corpus at %s; generated archives only\n", argv[2]);
  }
  return 0;
}
