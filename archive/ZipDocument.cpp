// ZipDocument: extraction into the ArcTempDir and the walk over its files.
#include "archive/ZipDocument.h"

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

}  // namespace

ZipDocument::ZipDocument(LPCWSTR archivePath, LPCWSTR appTempDir, BYTE flattenPaths,
                         ExtractionBudget* budget) {
  if (archivePath != nullptr) Open(archivePath, appTempDir, flattenPaths, budget);
}

ZipDocument::~ZipDocument() { Close(); }

BYTE ZipDocument::Open(LPCWSTR archivePath, LPCWSTR appTempDir, BYTE flattenPaths, ExtractionBudget* budget) {
  Close();
  if (!CreateTempDirectory(appTempDir, W("aw"), m_arcTempDir, m_claim)) return m_isOpen;
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
  } while (unzipper.MoveToNextEntry());

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
  if (failure == ExtractFailure::EntryBudget) {
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

void ZipDocument::Close() {
  if (!m_arcTempDir.empty()) {
    if (!DeleteDirectoryContent(m_arcTempDir)) {
      g_debugger.Print(1, W("ERROR: DeleteDirectoryContent failed for %s \n"), m_arcTempDir.c_str());
    }
    if (!RemoveDirectoryW(m_arcTempDir.c_str())) {
      g_debugger.Print(1, W("ERROR: RemoveDirectory failed for %s \n"), m_arcTempDir.c_str());
    }
    m_arcTempDir.clear();
  }
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
