// ZipDocument: one ZIP archive as the filter sees it. Open extracts every
// entry into a private folder (the ArcTempDir, made inside the working folder
// with the prefix "aw") and keeps two lists in central-directory order: the
// names of all entries whose header could be read (folders included, the
// archive's own paths with '\' separators, never flattened or cut), and the
// full paths of the files that were written completely and verified.
//
// Ownership: from Open until Close or destruction the ArcTempDir and all
// below it belong to the document; the lists own their strings. The archive
// itself is open only while Open runs. Entries that cannot be written safely
// (encrypted, damaged, names that cannot become a safe path; see Unzipper.h)
// keep their name in the entry list and have no extracted file. A full disk
// is not one entry's problem: it ends the extraction and fails Open.
//
// The file walk: HasMoreFiles stays true after the last path was handed out;
// only the NextFile call that finds no further path returns an empty string
// and ends the walk. Rewind starts it again at any time.
//
// Bounds: with an ExtractionBudget, every entry taken up draws on it (see
// ExtractionBudget.h). When the entry or byte budget is spent, no further
// entry of the archive is extracted and one ERROR line names the limit; a
// large entry that expands beyond the ratio is skipped alone. The names of
// all entries stay in the entry list either way. Each entry that cannot be
// extracted for any other reason gets a line of its own.
//
// The ArcTempDir is claimed (TempStorage.h) while the document owns it, so a
// sweep of the working folder never takes it for a leftover.
//
// One thread at a time; documents share nothing with each other but the
// budget they are given.
#pragma once

#include <vector>

#include "compat/Win32Compat.h"

#include "archive/ExtractionBudget.h"
#include "archive/TempStorage.h"
#include "archive/Unzipper.h"

class ZipDocument {
 public:
  enum WalkState : INT {
    NotStarted = 0,
    Walking = 1,
    Finished = 2,
  };
  typedef std::vector<WString>::const_iterator EntryNameIterator;

  // With a non-null archivePath, opens it at once (see Open); the outcome is
  // read with IsOpen. flattenPaths: only its low 8 bits count.
  ZipDocument(LPCWSTR archivePath, LPCWSTR appTempDir, BYTE flattenPaths,
              ExtractionBudget* budget = nullptr);
  virtual ~ZipDocument();

  ZipDocument(const ZipDocument&) = delete;
  ZipDocument& operator=(const ZipDocument&) = delete;

  // Discards any earlier extraction, makes a new ArcTempDir and extracts the
  // archive into it. False when no folder can be made, when the archive
  // cannot be opened, when it has no entries, or when the disk fills up
  // (see GetOpenError). budget: null for none.
  BYTE Open(LPCWSTR archivePath, LPCWSTR appTempDir, BYTE flattenPaths,
            ExtractionBudget* budget = nullptr);
  // Why the last Open failed when the archive is not to blame, as a Win32
  // code: ERROR_DISK_FULL or ERROR_HANDLE_DISK_FULL when the working folder's
  // disk filled up (extraction stops at the first such entry and nothing
  // stays behind), ERROR_PATH_NOT_FOUND when the working folder is gone.
  // 0 after a successful Open and when the archive itself could not be read.
  DWORD GetOpenError() const { return m_openError; }
  // Deletes the ArcTempDir with its content (problems are logged, never
  // reported) and empties both lists. Never throws, also when memory runs
  // out.
  void Close() noexcept;
  BYTE IsOpen() const { return m_isOpen; }

  void Rewind();
  bool HasMoreFiles() const;
  // The full path of the next extracted file, or an empty string.
  WString NextFile();

  EntryNameIterator EntryNamesBegin() const { return m_entryNames.begin(); }
  EntryNameIterator EntryNamesEnd() const { return m_entryNames.end(); }

  // The ArcTempDir's full path; empty while the document has no folder.
  const WString& GetArcTempDir() const { return m_arcTempDir; }

 private:
  // Close's removal of the ArcTempDir, which it forgets either way.
  void RemoveArcTempDir() noexcept;
  // Spends the rest of the archive: the entry budget is used up.
  void StopAtEntryLimit(LPCWSTR archivePath);
  // Extracts the current entry unless a limit stops it; logs why not.
  void ExtractEntry(CUnzipper& unzipper, const EntryInfo& info, LPCWSTR archivePath);

  WString m_arcTempDir;
  TempClaim m_claim;
  ExtractionBudget* m_budget = nullptr;
  // A spent entry or byte budget stops the rest of the archive; each limit is
  // reported once per archive.
  bool m_stopped = false;
  bool m_ratioReported = false;
  std::vector<WString> m_entryNames;
  std::vector<WString> m_extractedFiles;
  size_t m_cursor = 0;
  DWORD m_openError = 0;
  BYTE m_isOpen = 0;
  WalkState m_walkState = NotStarted;
};
