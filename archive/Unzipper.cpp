// CUnzipper over minizip's unz interface (see Unzipper.h for the rules).
#include "archive/Unzipper.h"

#include <libdeflate.h>
#include <minizip/unzip.h>

#include <algorithm>
#include <iterator>
#include <string>

#include "archive/EntryPath.h"
#include "archive/ExtractionBudget.h"
#include "archive/TempStorage.h"
#include "archive/ZipFileFunctions.h"

namespace {

// Entry data goes from the library to the file in blocks of this size; the
// buffer is allocated once per CUnzipper, so memory stays flat whatever the
// size of the entries.
constexpr size_t kCopyBlock = 64 * 1024;

// A deflated entry whose declared sizes are both at most this is inflated in
// one piece in memory, which costs about a quarter less than inflating it
// block by block; larger ones, and any the one-piece inflate cannot finish
// exactly, are read block by block. It bounds the buffers kept as well.
constexpr ULONGLONG kWholeInflateBytes = 1024 * 1024;

// "Version made by" host systems whose external attributes carry a Unix mode
// in their upper 16 bits.
constexpr DWORD kHostUnix = 3;
constexpr DWORD kHostMacOsX = 19;
constexpr DWORD kUnixTypeMask = 0170000;
constexpr DWORD kUnixTypeLink = 0120000;
constexpr DWORD kUnixTypeFolder = 0040000;

unzFile AsUnz(ArchiveHandle handle) { return static_cast<unzFile>(handle); }

bool IsPathSeparator(WCHAR c) { return c == W('\\') || c == W('/'); }

}  // namespace

bool EntryInfo::IsEncrypted() const { return (flags & kZipFlagEncrypted) != 0; }

bool EntryInfo::HasFolderAttribute() const {
  if ((externalAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return true;
  const DWORD host = (versionMadeBy >> 8) & 0xFF;
  if (host != kHostUnix && host != kHostMacOsX) return false;
  return ((externalAttributes >> 16) & kUnixTypeMask) == kUnixTypeFolder;
}

bool EntryInfo::IsSymbolicLink() const {
  const DWORD host = (versionMadeBy >> 8) & 0xFF;
  if (host != kHostUnix && host != kHostMacOsX) return false;
  return ((externalAttributes >> 16) & kUnixTypeMask) == kUnixTypeLink;
}

CUnzipper::CUnzipper() = default;

CUnzipper::~CUnzipper() {
  if (m_handle != nullptr) {
    unzCloseCurrentFile(AsUnz(m_handle));
    unzClose(AsUnz(m_handle));
    m_handle = nullptr;
  }
  CloseRawStream();
  if (m_inflater) libdeflate_free_decompressor(m_inflater);
}

void CUnzipper::CloseRawStream() {
  if (m_rawStream) {
    zlib_filefunc64_def functions;
    FillArchiveFileFunctions(&functions);
    functions.zclose_file(functions.opaque, m_rawStream);
    m_rawStream = nullptr;
  }
  m_rawStreamFailed = false;
}

bool CUnzipper::ReadRawData(ULONGLONG offset, size_t size) {
  zlib_filefunc64_def functions;
  FillArchiveFileFunctions(&functions);
  if (!m_rawStream && !m_rawStreamFailed) {
    m_rawStream = functions.zopen64_file(functions.opaque, m_path.c_str(),
                                         ZLIB_FILEFUNC_MODE_READ | ZLIB_FILEFUNC_MODE_EXISTING);
    m_rawStreamFailed = m_rawStream == nullptr;
  }
  if (!m_rawStream) return false;
  if (functions.zseek64_file(functions.opaque, m_rawStream, offset, ZLIB_FILEFUNC_SEEK_SET) != 0) return false;
  size_t got = 0;
  while (got < size) {
    const uLong chunk = static_cast<uLong>(std::min<size_t>(size - got, 1u << 30));
    const uLong n = functions.zread_file(functions.opaque, m_rawStream, m_packed.data() + got, chunk);
    if (n == 0) return false;
    got += n;
  }
  return true;
}

bool CUnzipper::Open(LPCWSTR path) {
  Close();
  if (path == nullptr) return false;
  zlib_filefunc64_def functions;
  FillArchiveFileFunctions(&functions);
  // The path travels through minizip untouched; our open function takes it
  // as the UTF-16 string it is.
  m_handle = unzOpen2_64(path, &functions);
  if (m_handle) m_path = path;
  return m_handle != nullptr;
}

bool CUnzipper::Close() {
  if (m_handle == nullptr) return false;
  unzCloseCurrentFile(AsUnz(m_handle));
  const int result = unzClose(AsUnz(m_handle));
  m_handle = nullptr;
  m_flatPaths.clear();
  m_nameCounts.clear();
  m_lastFolder.clear();
  m_dataRanges.clear();
  CloseRawStream();
  m_path.clear();
  return result == UNZ_OK;
}

DWORD CUnzipper::GetEntryCount() {
  if (m_handle == nullptr) return 0;
  unz_global_info64 global = {};
  if (unzGetGlobalInfo64(AsUnz(m_handle), &global) != UNZ_OK) return 0;
  return static_cast<DWORD>(global.number_entry);
}

bool CUnzipper::MoveToFirstEntry() {
  return m_handle != nullptr && unzGoToFirstFile(AsUnz(m_handle)) == UNZ_OK;
}

bool CUnzipper::MoveToNextEntry() {
  return m_handle != nullptr && unzGoToNextFile(AsUnz(m_handle)) == UNZ_OK;
}

bool CUnzipper::GetCurrentEntryInfo(EntryInfo& info, BYTE flattenPaths) {
  info = EntryInfo();
  if (m_handle == nullptr) return false;

  // First the lengths, then the name and comment at their full lengths.
  unz_file_info64 fileInfo = {};
  if (unzGetCurrentFileInfo64(AsUnz(m_handle), &fileInfo, nullptr, 0, nullptr, 0, nullptr, 0) !=
      UNZ_OK) {
    return false;
  }
  std::string nameBytes(fileInfo.size_filename, '\0');
  std::string extraBytes(fileInfo.size_file_extra, '\0');
  std::string commentBytes(fileInfo.size_file_comment, '\0');
  if (unzGetCurrentFileInfo64(AsUnz(m_handle), &fileInfo, nameBytes.data(),
                              static_cast<uLong>(nameBytes.size()), extraBytes.data(),
                              static_cast<uLong>(extraBytes.size()), commentBytes.data(),
                              static_cast<uLong>(commentBytes.size())) != UNZ_OK) {
    return false;
  }

  const DWORD flags = static_cast<DWORD>(fileInfo.flag);
  // Tools that predate the UTF-8 flag (and 7-Zip, for names outside the OEM
  // code page) keep the real name in an extra field beside a legacy one.
  if (!DecodeUnicodePathField(extraBytes, nameBytes, info.name) && !DecodeEntryText(nameBytes, flags, info.name))
    return false;
  if (!DecodeEntryText(commentBytes, flags, info.comment)) {
    info = EntryInfo();
    return false;
  }
  // '/' is the same byte in every code page the names come in, so turning it
  // after decoding is the same as before.
  for (WCHAR& c : info.name) {
    if (c == W('/')) c = W('\\');
  }

  info.versionMadeBy = static_cast<DWORD>(fileInfo.version);
  info.versionNeeded = static_cast<DWORD>(fileInfo.version_needed);
  info.flags = flags;
  info.compressionMethod = static_cast<DWORD>(fileInfo.compression_method);
  info.dosDate = static_cast<DWORD>(fileInfo.dosDate);
  info.crc = static_cast<DWORD>(fileInfo.crc);
  info.compressedSize = static_cast<DWORD>(fileInfo.compressed_size);
  info.uncompressedSize = static_cast<DWORD>(fileInfo.uncompressed_size);
  info.compressedSize64 = fileInfo.compressed_size;
  info.uncompressedSize64 = fileInfo.uncompressed_size;
  info.internalAttributes = static_cast<DWORD>(fileInfo.internal_fa);
  info.externalAttributes = static_cast<DWORD>(fileInfo.external_fa);
  info.isFolder = (!info.name.empty() && info.name.back() == W('\\')) ||
                  (info.HasFolderAttribute() && info.uncompressedSize64 == 0);

  const WString safePath = MakeSafeRelativePath(info.name);
  if (flattenPaths && !info.isFolder) {
    info.extractPath = MapToFlatPath(info.name, safePath);
  } else {
    info.extractPath = safePath;
  }
  return true;
}

WString CUnzipper::MapToFlatPath(const WString& entryPath, WStringView safePath) {
  const auto known = m_flatPaths.find(entryPath);
  if (known != m_flatPaths.end()) return known->second;

  const WStringView fileName = LastPathComponent(safePath);
  if (fileName.empty()) return WString();

  const WString key(fileName);
  INT occurrence = 0;
  const auto counted = m_nameCounts.find(key);
  if (counted != m_nameCounts.end()) occurrence = counted->second + 1;
  m_nameCounts[key] = occurrence;

  WString flat = DecimalText(static_cast<ULONGLONG>(occurrence));
  flat.push_back(W('\\'));
  flat.append(key);
  m_flatPaths.emplace(entryPath, flat);
  return flat;
}

bool CUnzipper::Fail(ExtractFailure failure, DWORD code) {
  m_failure = failure;
  m_failureCode = code;
  return false;
}

bool CUnzipper::EnsureFolder(const WString& path) {
  if (path.empty()) return Fail(ExtractFailure::UnsafeName);
  const size_t common = static_cast<size_t>(
      std::mismatch(path.begin(), path.end(), m_lastFolder.begin(), m_lastFolder.end()).first - path.begin());
  if (common == path.size() &&
      (common == m_lastFolder.size() || IsPathSeparator(m_lastFolder[common]))) {
    return true;  // the last folder made or found, or one above it
  }
  // The deepest folder known to exist that path lies in: the last folder or
  // one above it. Nothing known: one look at path itself first, as the
  // extraction folder, which exists, is asked for this way.
  size_t known = 0;
  if (common == m_lastFolder.size() && IsPathSeparator(path[common])) {
    known = common;
  } else {
    for (size_t i = common; i > 0; --i) {
      if (IsPathSeparator(path[i - 1])) {
        known = i - 1;
        break;
      }
    }
  }
  if (known == 0) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
      if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        return Fail(ExtractFailure::FileSystem, ERROR_DIRECTORY);
      }
      m_lastFolder = path;
      return true;
    }
  }

  // Top down, one level at a time, each cut off by a terminator in the one
  // buffer: time and memory stay linear in the path's length.
  WString buffer(path);
  size_t end = known;
  do {
    end = buffer.find_first_of(W("\\/"), end + 1);
    const size_t cut = end == WString::npos ? buffer.size() : end;
    const WCHAR saved = buffer[cut];
    buffer[cut] = 0;
    if (CreateDirectoryW(buffer.c_str(), nullptr)) {
      MarkNotContentIndexed(buffer.c_str());
      if (m_folderBudget && !m_folderBudget->TakeEntry()) return Fail(ExtractFailure::EntryBudget);
    } else {
      const DWORD error = GetLastError();
      const DWORD attributes = GetFileAttributesW(buffer.c_str());
      if (attributes == INVALID_FILE_ATTRIBUTES) return Fail(ExtractFailure::FileSystem, error);
      if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        return Fail(ExtractFailure::FileSystem, ERROR_DIRECTORY);
      }
    }
    buffer[cut] = saved;
  } while (end != WString::npos);
  m_lastFolder = path;
  return true;
}

bool CUnzipper::EnsureParentFolder(const WString& filePath) {
  const size_t separator = filePath.find_last_of(W("\\/"));
  if (separator == WString::npos) return Fail(ExtractFailure::UnsafeName);
  return EnsureFolder(filePath.substr(0, separator));
}

bool CUnzipper::ExtractCurrentEntry(LPCWSTR folder, BYTE flattenPaths) {
  if (m_handle == nullptr || folder == nullptr) return Fail(ExtractFailure::Damaged);
  EntryInfo info;
  if (!GetCurrentEntryInfo(info, flattenPaths)) return Fail(ExtractFailure::Damaged);
  return ExtractCurrentEntry(folder, info);
}

bool CUnzipper::ExtractCurrentEntry(LPCWSTR folder, const EntryInfo& info) {
  m_failure = ExtractFailure::None;
  m_failureCode = 0;
  if (m_handle == nullptr || folder == nullptr || folder[0] == 0) return Fail(ExtractFailure::Damaged);
  WString base(folder);
  while (base.size() > 1 && IsPathSeparator(base.back())) base.pop_back();
  if (!EnsureFolder(base)) return false;
  if (info.isFolder) return true;
  // Without a password the data of an encrypted entry is cipher text; it is
  // never written, so it can never be taken for content.
  if (info.IsEncrypted()) return Fail(ExtractFailure::Encrypted);
  if (info.extractPath.empty()) return Fail(ExtractFailure::UnsafeName);
  if (base.size() + 1 + info.extractPath.size() > kMaxTargetPath ||
      static_cast<size_t>(std::count(info.extractPath.begin(), info.extractPath.end(), W('\\'))) >=
          kMaxPathDepth) {
    return Fail(ExtractFailure::PathTooLong, ERROR_FILENAME_EXCED_RANGE);
  }

  const WString target = base + W('\\') + info.extractPath;
  if (!EnsureParentFolder(target)) return false;
  const bool raw = PrepareWholeInflate(info);
  if (!OpenCurrentEntryData(info, raw)) return false;
  const bool written = WriteCurrentEntryTo(target, info, raw);
  // Releases the entry on the ways out where WriteCurrentEntryTo did not
  // close it (a second close is a no-op).
  unzCloseCurrentFile(AsUnz(m_handle));
  return written;
}

bool CUnzipper::PrepareWholeInflate(const EntryInfo& info) {
  if (info.compressionMethod != Z_DEFLATED || info.compressedSize64 > kWholeInflateBytes ||
      info.uncompressedSize64 > kWholeInflateBytes) {
    return false;
  }
  if (!m_inflater) m_inflater = libdeflate_alloc_decompressor();
  if (!m_inflater) return false;
  // Never shrunk, so the buffers settle at the largest entry's sizes.
  if (m_packed.size() < info.compressedSize64) m_packed.resize(static_cast<size_t>(info.compressedSize64));
  if (m_inflated.size() < info.uncompressedSize64) m_inflated.resize(static_cast<size_t>(info.uncompressedSize64));
  return true;
}

bool CUnzipper::OpenCurrentEntryData(const EntryInfo& info, bool raw) {
  int method = 0;
  int level = 0;
  if (unzOpenCurrentFile2(AsUnz(m_handle), &method, &level, raw ? 1 : 0) != UNZ_OK) {
    return Fail(ExtractFailure::Damaged);
  }
  const ULONGLONG start = unzGetCurrentFileZStreamPos64(AsUnz(m_handle));
  const ULONGLONG end = start + info.compressedSize64;
  if (end <= start) return true;  // no data, or a size no archive can hold
  // The first range starting after this one's start, and the one before it.
  auto next = m_dataRanges.upper_bound(start);
  const bool overlapsNext = next != m_dataRanges.end() && next->first < end;
  const bool overlapsPrevious = next != m_dataRanges.begin() && std::prev(next)->second > start;
  if (overlapsNext || overlapsPrevious) {
    unzCloseCurrentFile(AsUnz(m_handle));
    return Fail(ExtractFailure::Overlapping);
  }
  m_dataRanges.emplace(start, end);
  return true;
}

bool CUnzipper::InflateWhole(const EntryInfo& info) {
  const size_t packed = static_cast<size_t>(info.compressedSize64);
  const size_t size = static_cast<size_t>(info.uncompressedSize64);
  if (!ReadRawData(unzGetCurrentFileZStreamPos64(AsUnz(m_handle)), packed)) return false;
  size_t out = 0;
  if (libdeflate_deflate_decompress(m_inflater, m_packed.data(), packed, m_inflated.data(), size, &out) !=
          LIBDEFLATE_SUCCESS ||
      out != size) {
    return false;
  }
  return libdeflate_crc32(0, m_inflated.data(), size) == info.crc;
}

bool CUnzipper::WriteCurrentEntryTo(const WString& target, const EntryInfo& info, bool raw) {
  // Created with the not-indexed mark already set, so the platform's indexer
  // never sees an unmarked copy. A new path is written in place; where an
  // earlier entry of the same path left a file, the data goes to a name of
  // its own first and replaces that file only once complete.
  // The buffer comes first: nothing may fail for lack of memory while the
  // file is open, or its handle would be lost and the file could not go.
  if (m_copyBuffer.size() != kCopyBlock) m_copyBuffer.assign(kCopyBlock, 0);
  HANDLE file = CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NOT_CONTENT_INDEXED, nullptr);
  WString partial;
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
      return Fail(ExtractFailure::FileSystem, error);
    }
    const size_t separator = target.find_last_of(W("\\/"));
    for (int attempt = 0; attempt < 100 && file == INVALID_HANDLE_VALUE; ++attempt) {
      partial = target.substr(0, separator + 1) + W("~qmk") + DecimalText(attempt) + W(".part");
      file = CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                         FILE_ATTRIBUTE_NOT_CONTENT_INDEXED, nullptr);
    }
    if (file == INVALID_HANDLE_VALUE) return Fail(ExtractFailure::FileSystem, GetLastError());
  }
  const WString& written = partial.empty() ? target : partial;

  ULONGLONG count = 0;
  DWORD writeError = 0;
  bool copied = false;
  bool checked = false;
  if (raw && InflateWhole(info)) {
    // Checked already: the whole length and its CRC-32.
    DWORD done = 0;
    const DWORD size = static_cast<DWORD>(info.uncompressedSize64);
    if (size > 0 && !WriteFile(file, m_inflated.data(), size, &done, nullptr)) writeError = GetLastError();
    count = done;
    copied = writeError == 0 && done == size;
    checked = copied && unzCloseCurrentFile(AsUnz(m_handle)) == UNZ_OK;
  } else {
    // What the one-piece inflate could not finish exactly is read again
    // block by block, which decides as it always has what counts as damage.
    bool reopened = true;
    if (raw) {
      unzCloseCurrentFile(AsUnz(m_handle));
      reopened = unzOpenCurrentFile(AsUnz(m_handle)) == UNZ_OK;
    }
    copied = reopened && CopyCurrentEntryTo(file, info.uncompressedSize64, &count, &writeError);
    // Reading to the end of the data is what makes minizip check the
    // CRC-32; closing the entry reports the outcome. A length other than
    // the declared one is damage too: minizip checks the CRC only when
    // exactly the declared length came out.
    checked = copied && unzCloseCurrentFile(AsUnz(m_handle)) == UNZ_OK;
  }
  const bool closedFile = CloseHandle(file) != FALSE;
  // A file system that fills up may say so only when the file is closed.
  if (!closedFile && writeError == 0) writeError = GetLastError();
  bool complete = copied && closedFile && checked && count == info.uncompressedSize64;
  DWORD renameError = 0;
  if (complete && !partial.empty() &&
      !MoveFileExW(partial.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    renameError = GetLastError();
    complete = false;
  }
  if (!complete) {
    DeleteFileW(written.c_str());
    if (writeError) return Fail(ExtractFailure::FileSystem, writeError);
    return renameError ? Fail(ExtractFailure::FileSystem, renameError) : Fail(ExtractFailure::Damaged);
  }
  return true;
}

bool CUnzipper::CopyCurrentEntryTo(HANDLE file, ULONGLONG limit, ULONGLONG* written, DWORD* writeError) {
  for (;;) {
    const int got = unzReadCurrentFile(AsUnz(m_handle), m_copyBuffer.data(),
                                       static_cast<unsigned>(m_copyBuffer.size()));
    if (got == 0) return true;
    if (got < 0) return false;
    // More data than the entry declares is damage, and writing it would let
    // an entry claim a small size and fill the disk.
    if (static_cast<ULONGLONG>(got) > limit - *written) return false;
    DWORD done = 0;
    if (!WriteFile(file, m_copyBuffer.data(), static_cast<DWORD>(got), &done, nullptr)) {
      *writeError = GetLastError();
      return false;
    }
    if (done != static_cast<DWORD>(got)) return false;
    *written += done;
  }
}
