// CUnzipper over minizip's unz interface (see Unzipper.h for the rules).
#include "archive/Unzipper.h"

#include <minizip/unzip.h>

#include <string>

#include "archive/EntryPath.h"
#include "archive/TempStorage.h"
#include "archive/ZipFileFunctions.h"

namespace {

// Entry data goes from the library to the file in blocks of this size; the
// buffer is allocated once per CUnzipper, so memory stays flat whatever the
// size of the entries.
constexpr size_t kCopyBlock = 64 * 1024;

// "Version made by" host systems whose external attributes carry a Unix mode
// in their upper 16 bits.
constexpr DWORD kHostUnix = 3;
constexpr DWORD kHostMacOsX = 19;
constexpr DWORD kUnixTypeMask = 0170000;
constexpr DWORD kUnixTypeLink = 0120000;
constexpr DWORD kUnixTypeFolder = 0040000;

unzFile AsUnz(ArchiveHandle handle) { return static_cast<unzFile>(handle); }

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
}

bool CUnzipper::Open(LPCWSTR path) {
  Close();
  if (path == nullptr) return false;
  zlib_filefunc64_def functions;
  FillArchiveFileFunctions(&functions);
  // The path travels through minizip untouched; our open function takes it
  // as the UTF-16 string it is.
  m_handle = unzOpen2_64(path, &functions);
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
  std::string commentBytes(fileInfo.size_file_comment, '\0');
  if (unzGetCurrentFileInfo64(AsUnz(m_handle), &fileInfo, nameBytes.data(),
                              static_cast<uLong>(nameBytes.size()), nullptr, 0,
                              commentBytes.data(),
                              static_cast<uLong>(commentBytes.size())) != UNZ_OK) {
    return false;
  }

  const DWORD flags = static_cast<DWORD>(fileInfo.flag);
  if (!DecodeEntryText(nameBytes, flags, info.name)) return false;
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

  const std::string digits = std::to_string(occurrence);
  WString flat(digits.begin(), digits.end());
  flat.push_back(W('\\'));
  flat.append(key);
  m_flatPaths.emplace(entryPath, flat);
  return flat;
}

bool CUnzipper::EnsureFolder(const WString& path) {
  if (path.empty()) return false;
  if (path == m_lastFolder) return true;
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return false;
    m_lastFolder = path;
    return true;
  }
  const size_t separator = path.find_last_of(W("\\/"));
  if (separator != WString::npos && separator > 0) {
    if (!EnsureFolder(path.substr(0, separator))) return false;
  }
  if (!CreateDirectoryW(path.c_str(), nullptr)) return false;
  MarkNotContentIndexed(path.c_str());
  m_lastFolder = path;
  return true;
}

bool CUnzipper::EnsureParentFolder(const WString& filePath) {
  const size_t separator = filePath.find_last_of(W("\\/"));
  if (separator == WString::npos) return false;
  return EnsureFolder(filePath.substr(0, separator));
}

bool CUnzipper::ExtractCurrentEntry(LPCWSTR folder, BYTE flattenPaths) {
  if (m_handle == nullptr || folder == nullptr) return false;
  EntryInfo info;
  if (!GetCurrentEntryInfo(info, flattenPaths)) return false;
  return ExtractCurrentEntry(folder, info);
}

bool CUnzipper::ExtractCurrentEntry(LPCWSTR folder, const EntryInfo& info) {
  if (m_handle == nullptr || folder == nullptr || folder[0] == 0) return false;
  WString base(folder);
  while (base.size() > 1 && (base.back() == W('\\') || base.back() == W('/'))) base.pop_back();
  if (!EnsureFolder(base)) return false;
  if (info.isFolder) return true;
  // Without a password the data of an encrypted entry is cipher text; it is
  // never written, so it can never be taken for content.
  if (info.IsEncrypted()) return false;
  if (info.extractPath.empty()) return false;

  const WString target = base + W('\\') + info.extractPath;
  if (!EnsureParentFolder(target)) return false;

  // Created with the not-indexed mark already set (CREATE_ALWAYS gives a
  // replaced file the same attributes), so the platform's indexer never sees
  // an unmarked copy.
  HANDLE file = CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NOT_CONTENT_INDEXED, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;

  if (unzOpenCurrentFile(AsUnz(m_handle)) != UNZ_OK) {
    CloseHandle(file);
    DeleteFileW(target.c_str());
    return false;
  }
  ULONGLONG written = 0;
  const bool copied = CopyCurrentEntryTo(file, &written);
  const BOOL closedFile = CloseHandle(file);
  // Closing the entry is where minizip compares the CRC-32 of all the data
  // read with the central directory's.
  const int closedEntry = unzCloseCurrentFile(AsUnz(m_handle));

  // A length other than the declared one is damage too: minizip checks the
  // CRC only when exactly the declared length came out.
  const bool complete = copied && closedFile && closedEntry == UNZ_OK &&
                        written == info.uncompressedSize64;
  if (!complete) {
    DeleteFileW(target.c_str());
    return false;
  }
  return true;
}

bool CUnzipper::CopyCurrentEntryTo(HANDLE file, ULONGLONG* written) {
  if (m_copyBuffer.size() != kCopyBlock) m_copyBuffer.assign(kCopyBlock, 0);
  for (;;) {
    const int got = unzReadCurrentFile(AsUnz(m_handle), m_copyBuffer.data(),
                                       static_cast<unsigned>(m_copyBuffer.size()));
    if (got == 0) return true;
    if (got < 0) return false;
    DWORD done = 0;
    if (!WriteFile(file, m_copyBuffer.data(), static_cast<DWORD>(got), &done, nullptr) ||
        done != static_cast<DWORD>(got)) {
      return false;
    }
    *written += done;
  }
}
