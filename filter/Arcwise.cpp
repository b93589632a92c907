#include "filter/Arcwise.h"

#include <new>

#include "filter/NestingGuard.h"

CArcwise::CArcwise(const ArcwiseConfiguration* pConfiguration) : Base(pConfiguration) {}

CArcwise::~CArcwise() {
  m_attributes.reset();
  m_attributeCount = 0;
  Reset();
  m_nameText.clear();
}

void CArcwise::Reset() {
  m_pwszCurrentFile.reset();
  ClosePropertyEmitter();
  m_pNestedFilter = nullptr;
  m_pNestedStream = nullptr;
  Base::Reset();
}

STDMETHODIMP CArcwise::Load(LPCOLESTR pszFileName, DWORD dwMode) {
  UNREFERENCED_PARAMETER(dwMode);
  if (!pszFileName) return E_INVALIDARG;
  g_debugger.Print(1, W("INFO: loading for %s \n"), pszFileName);

  const WString& appTempDir = m_pConfiguration->GetAppTempDir();
  if (appTempDir.empty()) {
    g_debugger.Print(1, W("ERROR: AppTempDir is not defined. Cannot process %s \n"), pszFileName);
    return E_ACCESSDENIED;
  }

  // Every nested archive is loaded from inside the pumps of the archives
  // around it; past the bound it stays a file without a filter.
  if (CNestingGuard::Depth() >= kMaxArchiveNesting) {
    g_debugger.Print(1, W("ERROR: archives nested deeper than %d levels are not filtered: %s \n"),
                     static_cast<INT>(kMaxArchiveNesting), pszFileName);
    return E_FAIL;
  }

  Reset();
  // The walk and the name cursor belonged to the document just released:
  // until the next Init, GetChunk answers FILTER_E_END_OF_CHUNKS.
  m_phase = PhaseNone;
  m_chunkState = ChunkNone;
  m_nameText.clear();
  if (!CopyPath(pszFileName)) return E_OUTOFMEMORY;

  try {
    m_pDocument = std::make_unique<ZipDocument>(
        m_pwszPath.get(), appTempDir.c_str(),
        static_cast<BYTE>(m_pConfiguration->GetUseLongitudeOptomization() ? 1 : 0));
  } catch (const std::bad_alloc&) {
    // No exception crosses the interface; the path stays for GetCurFile.
    return E_OUTOFMEMORY;
  }

  if (m_pDocument->IsOpen()) {
    g_debugger.Print(1, W("INFO: loaded for %s \n"), m_pwszPath.get());
    return S_OK;
  }
  m_pDocument.reset();
  g_debugger.Print(1, W("ERROR: Open Document failed for %s \n"), m_pwszPath.get());
  return E_FAIL;
}
