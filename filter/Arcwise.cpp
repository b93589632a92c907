#include "filter/Arcwise.h"

#include <new>

CArcwise::CArcwise(const ArcwiseConfiguration* pConfiguration) : Base(pConfiguration) {}

CArcwise::~CArcwise() {
  m_attributes.reset();
  m_attributeCount = 0;
  Reset();
  m_nameText.clear();
}

void CArcwise::Reset() {
  m_pwszCurrentFile.reset();
  if (m_pPropertyEmitter) {
    m_pPropertyEmitter->Close();
    m_pPropertyEmitter.reset();
  }
  m_pNestedFilter = nullptr;
  m_pNestedStream = nullptr;
  Base::Reset();
}

// The chunk pump is not in this module yet: a host that calls these gets
// E_NOTIMPL rather than an empty or invented result.
STDMETHODIMP CArcwise::Init(ULONG grfFlags, ULONG cAttributes, const FULLPROPSPEC* aAttributes,
                            ULONG* pFlags) {
  UNREFERENCED_PARAMETER(grfFlags);
  UNREFERENCED_PARAMETER(cAttributes);
  UNREFERENCED_PARAMETER(aAttributes);
  UNREFERENCED_PARAMETER(pFlags);
  return E_NOTIMPL;
}

STDMETHODIMP CArcwise::GetChunk(STAT_CHUNK* pStat) {
  UNREFERENCED_PARAMETER(pStat);
  return E_NOTIMPL;
}

STDMETHODIMP CArcwise::GetText(ULONG* pcwcBuffer, WCHAR* awcBuffer) {
  UNREFERENCED_PARAMETER(pcwcBuffer);
  UNREFERENCED_PARAMETER(awcBuffer);
  return E_NOTIMPL;
}

STDMETHODIMP CArcwise::GetValue(PROPVARIANT** ppPropValue) {
  UNREFERENCED_PARAMETER(ppPropValue);
  return E_NOTIMPL;
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

  Reset();
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
