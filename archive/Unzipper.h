// CUnzipper: reads one ZIP archive through minizip and writes its entries to
// files below an extraction folder; EntryInfo: what it reports about one
// entry. The only user is ZipDocument::Open, which keeps a CUnzipper for the
// length of one extraction. A CUnzipper owns its minizip handle and, for
// the small deflated entries it inflates in one piece (with libdeflate), a
// second reader of the archive and the inflater (all closed by Close or the
// destructor), and its flat-path tables; it never logs (every failure is a
// false result and the caller decides). One thread at a time.
//
// Entry names:
//   - the name and comment bytes are read whole (a ZIP name may hold up to
//     65535 bytes) and decoded as UTF-8 when the entry's general-purpose
//     bit 11 is set, otherwise in the ANSI code page (GetACP at that moment);
//     every '/' then becomes '\'. `name` is the true name, never cut.
//   - `extractPath` is where the entry's file goes, relative to the
//     extraction folder: MakeSafeRelativePath(name) (EntryPath.h: drive
//     designators, leading separators, "." and ".." components are removed),
//     or under flattenPaths the flat path "<n>\<file name>", where the file
//     name is the last component of the safe path and n counts the different
//     entry paths ending in that file name (0 for the first, exact
//     comparison, remembered per entry path so asking twice gives the same
//     answer and does not advance the count). An empty extractPath means the
//     entry cannot be written anywhere safe.
//   - target paths are folder + '\' + extractPath at full length (no 260
//     character limit); a component the file system refuses, or a path
//     longer than kMaxTargetPath, makes that one entry fail. Folders are made
//     one component at a time, from the deepest one known to exist, in one
//     buffer: time and memory stay linear in the path's length.
//
// Extraction refuses (returns false, leaves no file behind):
//   - encrypted entries (bit 0): no password is ever supplied, so their
//     bytes would be cipher text;
//   - data errors, a CRC-32 that differs from the central directory, and a
//     data length that differs from the declared uncompressed size: the
//     partly or wrongly written file is deleted;
//   - a file that cannot be written to the end (FileSystem with the write's
//     Win32 code, e.g. ERROR_DISK_FULL): the partial file is deleted too;
//   - entries with an empty extractPath;
//   - entries whose compressed data overlaps the data of an entry extracted
//     before from the same archive (many central entries sharing one stream
//     is how non-recursive zip bombs multiply their output).
// Data beyond the declared size is never written: the copy stops there.
// A file of the same path written by an earlier entry is replaced only when
// the later entry's data is complete: it is written under a temporary name
// beside the target and renamed over it, so a failing duplicate never
// destroys the earlier file.
// Symbolic-link entries (Unix mode S_IFLNK in the external attributes) are
// written as regular files holding the link text: no link is ever created,
// so nothing below the extraction folder can lead out of it, and a later
// entry "through" such a name fails because a file is in the way.
#pragma once

#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include "compat/Win32Compat.h"

class ExtractionBudget;
struct libdeflate_decompressor;

// The minizip handle (unzFile) without pulling minizip into every includer.
typedef void* ArchiveHandle;

struct EntryInfo {
  WString name;         // entry path, '\' separators, decoded, never cut
  WString extractPath;  // relative target path; empty: cannot be written
  WString comment;      // entry comment, decoded like name
  DWORD versionMadeBy = 0;
  DWORD versionNeeded = 0;
  DWORD flags = 0;
  DWORD compressionMethod = 0;
  DWORD dosDate = 0;
  DWORD crc = 0;
  DWORD compressedSize = 0;    // low 32 bits
  DWORD uncompressedSize = 0;  // low 32 bits
  DWORD internalAttributes = 0;
  DWORD externalAttributes = 0;
  ULONGLONG compressedSize64 = 0;
  ULONGLONG uncompressedSize64 = 0;
  // The name ends with '\', or an empty entry carries a folder attribute
  // (MS-DOS tools mark folders only so: "def" beside "def/foo").
  bool isFolder = false;

  bool IsEncrypted() const;
  // The MS-DOS directory bit, or a Unix directory mode from a Unix host.
  bool HasFolderAttribute() const;
  // Unix symbolic link recorded by a Unix-hosted zip tool.
  bool IsSymbolicLink() const;
};

// Why the last ExtractCurrentEntry returned false.
enum class ExtractFailure {
  None,
  Encrypted,
  UnsafeName,    // empty extractPath
  PathTooLong,   // the target path exceeds kMaxTargetPath or kMaxPathDepth
  EntryBudget,   // a folder the entry needs would exceed the entry budget
  FileSystem,    // a folder or the file could not be made; see the Win32 code
  Damaged,       // data error, wrong CRC-32 or length, unreadable entry
  Overlapping,   // shares compressed data with an earlier entry
};

// The longest target path tried at all (Windows' limit for any path); the
// file system may refuse shorter ones.
constexpr size_t kMaxTargetPath = 32767;
// The most components an entry's relative path may have. Every file-system
// call walks the whole path, so a path of n levels costs n * n to make and
// remove; no archive a person made comes near this.
constexpr size_t kMaxPathDepth = 256;

class CUnzipper {
 public:
  CUnzipper();
  virtual ~CUnzipper();

  CUnzipper(const CUnzipper&) = delete;
  CUnzipper& operator=(const CUnzipper&) = delete;

  // Closes any open archive first; false for a null path or anything minizip
  // does not accept as a ZIP archive.
  bool Open(LPCWSTR path);
  // False when no archive is open, else whether minizip closed it. Empties
  // the flat-path tables, so numbering starts again with the next archive.
  bool Close();
  bool IsOpen() const { return m_handle != nullptr; }

  // Number of entries (low 32 bits); 0 when closed or unreadable.
  DWORD GetEntryCount();
  bool MoveToFirstEntry();
  // False at the end of the central directory or on an error.
  bool MoveToNextEntry();

  // Describes the current entry. False when closed, when the entry's header
  // cannot be read or its name or comment cannot be decoded.
  bool GetCurrentEntryInfo(EntryInfo& info, BYTE flattenPaths);
  // Writes the current entry below `folder` (created with its parents when
  // missing). True for a folder entry (nothing is written) and for a file
  // written completely and verified; false otherwise (see above).
  bool ExtractCurrentEntry(LPCWSTR folder, BYTE flattenPaths);
  // The same with the entry's description already at hand (as
  // GetCurrentEntryInfo gave it for the current entry).
  bool ExtractCurrentEntry(LPCWSTR folder, const EntryInfo& info);
  // Folders made for entries draw on this entry budget too (null: none), as
  // each costs the file system as much as an entry does.
  void SetFolderBudget(ExtractionBudget* budget) { m_folderBudget = budget; }
  // After a false ExtractCurrentEntry: why, and for FileSystem the Win32
  // error code.
  ExtractFailure LastFailure() const { return m_failure; }
  DWORD LastFailureCode() const { return m_failureCode; }

 private:
  WString MapToFlatPath(const WString& entryPath, WStringView safePath);
  bool EnsureFolder(const WString& path);
  bool EnsureParentFolder(const WString& filePath);
  // Opens the current entry's data (its raw deflated bytes when `raw`) and
  // records its range in the archive; false when it cannot be opened or
  // overlaps a range recorded before.
  bool OpenCurrentEntryData(const EntryInfo& info, bool raw);
  // Whether the entry is inflated in one piece in memory: small deflated
  // entries, most of those in real archives. True with the buffers ready.
  bool PrepareWholeInflate(const EntryInfo& info);
  // Writes the open entry's data to target; see the duplicate rule above.
  bool WriteCurrentEntryTo(const WString& target, const EntryInfo& info, bool raw);
  // Inflates the raw entry opened by OpenCurrentEntryData into m_inflated;
  // true when exactly the declared length came out with the declared CRC-32.
  bool InflateWhole(const EntryInfo& info);
  // The `size` raw bytes at `offset` in the archive, into m_packed.
  bool ReadRawData(ULONGLONG offset, size_t size);
  void CloseRawStream();
  // False on damaged data or a failed write; *writeError is then the
  // write's Win32 code (0 for damage).
  bool CopyCurrentEntryTo(HANDLE file, ULONGLONG limit, ULONGLONG* written, DWORD* writeError);
  bool Fail(ExtractFailure failure, DWORD code = 0);

  ArchiveHandle m_handle = nullptr;
  std::unordered_map<WString, WString> m_flatPaths;
  std::unordered_map<WString, INT> m_nameCounts;
  // The folder that EnsureFolder made or found last: consecutive entries of
  // one folder then cost no file-system call for their parents.
  WString m_lastFolder;
  std::vector<BYTE> m_copyBuffer;
  // For entries inflated whole: their raw bytes, their data, and the
  // inflater, all kept from entry to entry.
  std::vector<BYTE> m_packed;
  std::vector<BYTE> m_inflated;
  libdeflate_decompressor* m_inflater = nullptr;
  // A second reader of the archive for those raw bytes, opened on first
  // use: minizip copies raw data a byte at a time and sums it needlessly.
  WString m_path;
  void* m_rawStream = nullptr;
  bool m_rawStreamFailed = false;
  // Start -> end (exclusive) of the compressed data of every entry opened so
  // far, as offsets in the archive file.
  std::map<ULONGLONG, ULONGLONG> m_dataRanges;
  ExtractionBudget* m_folderBudget = nullptr;
  ExtractFailure m_failure = ExtractFailure::None;
  DWORD m_failureCode = 0;
};
