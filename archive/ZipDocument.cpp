// ZipDocument: extraction into the ArcTempDir and the walk over its files.
#include "archive/ZipDocument.h"

#include "archive/TempStorage.h"
#include "archive/Unzipper.h"
#include "diagnostics/Debugger.h"

ZipDocument::ZipDocument(LPCWSTR archivePath, LPCWSTR appTempDir, BYTE flattenPaths) {
  if (archivePath != nullptr) Open(archivePath, appTempDir, flattenPaths);
}

ZipDocument::~ZipDocument() { Close(); }

BYTE ZipDocument::Open(LPCWSTR archivePath, LPCWSTR appTempDir, BYTE flattenPaths) {
  Close();
  if (!CreateTempDirectory(appTempDir, W("aw"), m_arcTempDir)) return m_isOpen;
  g_debugger.Print(3, W("INFO: ArcTempDir is set to %s \n"), m_arcTempDir.c_str());

  CUnzipper unzipper;
  if (!unzipper.Open(archivePath)) return m_isOpen;
  if (unzipper.GetEntryCount() == 0 || !unzipper.MoveToFirstEntry()) {
    unzipper.Close();
    return m_isOpen;
  }
  do {
    EntryInfo info;
    if (!unzipper.GetCurrentEntryInfo(info, flattenPaths)) continue;
    m_entryNames.push_back(info.name);
    if (unzipper.ExtractCurrentEntry(m_arcTempDir.c_str(), info) && !info.isFolder) {
      m_extractedFiles.push_back(m_arcTempDir + W('\\') + info.extractPath);
    }
  } while (unzipper.MoveToNextEntry());

  m_isOpen = 1;
  m_walkState = NotStarted;
  m_cursor = 0;
  unzipper.Close();
  return m_isOpen;
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
