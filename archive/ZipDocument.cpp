// ZipDocument: extraction into the ArcTempDir and the walk over its files.
#include "archive/ZipDocument.h"

#include <new>

#include "archive/EntryPath.h"
#include "diagnostics/Debugger.h"

namespace {

LPCWSTR FailureText(ExtractFailure failure) {
  switch (failure) {
    case ExtractFailure::UnsafeName: return W("its name gives no safe path");
    case ExtractFailure::PathTooLong: return W("its path is longer or deeper than the file system takes");
    case ExtractFailure::FileSystem: return W("the file system refused its file or folder");
    case ExtractFailure::Overlapping: return W("its data overlaps the data of an earlier entry");
    default: return W("damaged or unreadable data");
  }
}

bool IsDiskFull(DWORD code) { return code == ERROR_DISK_FULL || code == ERROR_HANDLE_DISK_FULL; }

// Why no extraction folder could be made, when the archive is not to blame:
// the working folder is gone, or there is no room for one more item in it.
DWORD FolderFailure(LPCWSTR appTempDir, DWORD code) {
  if (IsDiskFull(code)) return code;
  if (appTempDir && *appTempDir && GetFileAttributesW(appTempDir) == INVALID_FILE_ATTRIBUTES) {
    const DWORD missing = GetLastError();
    if (missing == ERROR_FILE_NOT_FOUND || missing == ERROR_PATH_NOT_FOUND) return ERROR_PATH_NOT_FOUND;
  }
  return 0;
}

}  // namespace

ZipDocument::ZipDocument(LPCWSTR archivePath, LPCWSTR appTempDir, BYTE flattenPaths,
                         ExtractionBudget* budget) {
  if (archivePath == nullptr) return;
  try {
    Open(archivePath, appTempDir, flattenPaths, budget);
  } catch (...) {
    // No destructor runs for an object whose constructor throws: what Open
    // made so far goes here, or its folder would stay on disk for good.
    Close();
    throw;
  }
}

ZipDocument::~ZipDocument() { Close(); }

BYTE ZipDocument::Open(LPCWSTR archivePath, LPCWSTR appTempDir, BYTE flattenPaths, ExtractionBudget* budget) {
  Close();
  m_openError = 0;
  if (!CreateTempDirectory(appTempDir, W("aw"), m_arcTempDir, m_claim)) {
    m_openError = FolderFailure(appTempDir, GetLastError());
    return m_isOpen;
  }
  g_debugger.Print(3, W("INFO: ArcTempDir is set to %s \n"), m_arcTempDir.c_str());
  m_budget = budget;

  CUnzipper unzipper;
  unzipper.SetFolderBudget(budget);
  if (!unzipper.Open(archivePath)) return m_isOpen;
  if (unzipper.GetEntryCount() == 0 || !unzipper.MoveToFirstEntry()) {
    unzipper.Close();
    return m_isOpen;
  }
  do {
    EntryInfo info;
    if (!unzipper.GetCurrentEntryInfo(info, flattenPaths)) continue;
    m_entryNames.push_back(info.name);
    ExtractEntry(unzipper, info, archivePath);
  } while (m_openError == 0 && unzipper.MoveToNextEntry());

  if (m_openError != 0) {
    // Every later entry would fail the same way, and a document with only
    // part of its files would be indexed as if it were whole: it is not
    // loaded at all, and what was written goes.
    unzipper.Close();
    const DWORD error = m_openError;
    Close();
    m_openError = error;
    return m_isOpen;
  }
  m_isOpen = 1;
  m_walkState = NotStarted;
  m_cursor = 0;
  unzipper.Close();
  return m_isOpen;
}

void ZipDocument::StopAtEntryLimit(LPCWSTR archivePath) {
  m_stopped = true;
  g_debugger.Print(
      1,
      W("ERROR: limit MaxExtractedEntries (%s entries) reached in %s: the remaining entries are not "
        "extracted \n"),
      DecimalText(m_budget->Limits().maxEntries).c_str(), archivePath);
}

void ZipDocument::ExtractEntry(CUnzipper& unzipper, const EntryInfo& info, LPCWSTR archivePath) {
  if (m_stopped) return;
  if (m_budget) {
    const ExtractionLimits& limits = m_budget->Limits();
    if (!m_budget->TakeEntry()) {
      StopAtEntryLimit(archivePath);
      return;
    }
    if (!info.isFolder && !info.IsEncrypted()) {
      if (m_budget->ExpandsTooMuch(info.uncompressedSize64, info.compressedSize64)) {
        g_debugger.Print(m_ratioReported ? 3 : 1,
                         W("ERROR: limit MaxExpansionRatio (%s) refuses entry %s of %s: %s bytes from %s \n"),
                         DecimalText(limits.maxRatio).c_str(), info.name.c_str(), archivePath,
                         DecimalText(info.uncompressedSize64).c_str(), DecimalText(info.compressedSize64).c_str());
        m_ratioReported = true;
        return;
      }
      if (!m_budget->ReserveBytes(info.uncompressedSize64)) {
        m_stopped = true;
        g_debugger.Print(1,
                         W("ERROR: limit MaxExtractedMB (%s bytes) reached in %s at entry %s: the remaining "
                           "entries are not extracted \n"),
                         DecimalText(limits.maxBytes).c_str(), archivePath, info.name.c_str());
        return;
      }
    }
  }
  if (unzipper.ExtractCurrentEntry(m_arcTempDir.c_str(), info)) {
    if (!info.isFolder) m_extractedFiles.push_back(m_arcTempDir + W('\\') + info.extractPath);
    return;
  }
  const ExtractFailure failure = unzipper.LastFailure();
  if (failure == ExtractFailure::FileSystem && IsDiskFull(unzipper.LastFailureCode())) {
    m_openError = unzipper.LastFailureCode();
    g_debugger.Print(1, W("ERROR: no space left in %s: entry %s of %s is not extracted, nor any after it. "
                          "Error code = %u \n"),
                     m_arcTempDir.c_str(), info.name.c_str(), archivePath, static_cast<UINT>(m_openError));
  } else if (failure == ExtractFailure::EntryBudget) {
    StopAtEntryLimit(archivePath);
  } else if (failure == ExtractFailure::Encrypted) {
    g_debugger.Print(3, W("INFO: entry %s of %s is encrypted: not extracted \n"), info.name.c_str(),
                     archivePath);
  } else if (unzipper.LastFailureCode() != 0) {
    g_debugger.Print(1, W("ERROR: entry %s of %s is not extracted: %s. Error code = %u \n"),
                     info.name.c_str(), archivePath, FailureText(failure),
                     static_cast<UINT>(unzipper.LastFailureCode()));
  } else {
    g_debugger.Print(1, W("ERROR: entry %s of %s is not extracted: %s \n"), info.name.c_str(), archivePath,
                     FailureText(failure));
  }
}

void ZipDocument::RemoveArcTempDir() noexcept {
  // Removing allocates (the paths of what is inside). When memory runs out
  // half-way, the failed try has freed what it held and a second one usually
  // gets through; should it fail as well, the folder stays until a sweep of
  // the working folder finds it unclaimed.
  for (int attempt = 0; attempt < 2; ++attempt) {
    try {
      // The files written are known: removing them by name spares the walk
      // below a look at each (it then finds the folders, and whatever else
      // came to be there).
      for (const WString& file : m_extractedFiles) DeleteFileW(file.c_str());
      if (!DeleteDirectoryContent(m_arcTempDir)) {
        g_debugger.Print(1, W("ERROR: DeleteDirectoryContent failed for %s \n"), m_arcTempDir.c_str());
      }
      if (!RemoveDirectoryW(m_arcTempDir.c_str())) {
        g_debugger.Print(1, W("ERROR: RemoveDirectory failed for %s \n"), m_arcTempDir.c_str());
      }
      break;
    } catch (const std::bad_alloc&) {
      g_debugger.Print(1, W("ERROR: out of memory while removing %s \n"), m_arcTempDir.c_str());
    }
  }
  m_arcTempDir.clear();
}

void ZipDocument::Close() noexcept {
  if (!m_arcTempDir.empty()) RemoveArcTempDir();
  m_claim.Release();
  m_budget = nullptr;
  m_stopped = false;
  m_ratioReported = false;
  m_entryNames.clear();
  m_extractedFiles.clear();
  m_cursor = 0;
  m_isOpen = 0;
  m_walkState = NotStarted;
}

void ZipDocument::Rewind() {
  m_walkState = NotStarted;
  m_cursor = 0;
}

bool ZipDocument::HasMoreFiles() const { return m_walkState != Finished; }

WString ZipDocument::NextFile() {
  if (m_walkState == NotStarted) {
    m_cursor = 0;
    m_walkState = Walking;
  }
  if (m_walkState == Walking) {
    if (m_cursor >= m_extractedFiles.size()) {
      m_walkState = Finished;
      return WString();
    }
    return m_extractedFiles[m_cursor++];
  }
  return WString();
}
