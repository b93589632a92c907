// The scriptable fake nested filter: one object class in four registrations
// that differ only in which persistence interfaces (and whether IFilter) they
// answer. Counts its live objects and server locks, so tests check that every
// reference was released and that DllCanUnloadNow agrees.
#include <cstring>
#include <new>
#include <string>

#include <filter.h>
#include <objbase.h>
#include <windows.h>

#include "fake_filter.h"
#include "fake_filter_script.h"
#include "support/com_object.h"

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

LONG g_liveObjects = 0;
LONG g_locks = 0;
LONG g_pathLoads = 0;
LONG g_streamLoads = 0;
LONG g_lastLoadMode = -1;

// Scripts are small; anything larger is not one.
constexpr size_t kMaxScriptBytes = 1 << 20;

struct FakeShape {
  bool filter;
  bool persistFile;
  bool persistStream;
};

// IUnknown and IPersist through IPersistFile, which every shape has even
// when it does not answer for it.
class CFakeFilter final
    : public arcwise_test::ComObject<IPersistFile, IFilter, IPersistStream, arcwise_test::AlsoAnswers<IPersist>> {
 public:
  CFakeFilter(REFCLSID clsid, FakeShape shape) : m_clsid(clsid), m_shape(shape) {
    InterlockedIncrement(&g_liveObjects);
  }

  // IFilter
  STDMETHODIMP Init(ULONG, ULONG cAttributes, const FULLPROPSPEC* aAttributes, ULONG* pFlags) override {
    if (cAttributes > 0 && !aAttributes) return E_INVALIDARG;
    if (!m_loaded) return E_FAIL;
    if (FAILED(m_script.initError)) return m_script.initError;
    m_next = 0;
    m_current = nullptr;
    if (pFlags) *pFlags = m_script.initFlags;
    return S_OK;
  }
  STDMETHODIMP GetChunk(STAT_CHUNK* pStat) override {
    if (!pStat) return E_INVALIDARG;
    m_current = nullptr;
    if (!m_loaded || m_next >= m_script.chunks.size()) return FILTER_E_END_OF_CHUNKS;
    const FakeChunk& chunk = m_script.chunks[m_next++];
    if (chunk.isError) return chunk.getChunkResult;
    m_current = &chunk;
    m_textPos = 0;
    m_valueGiven = false;
    ++m_chunkId;
    std::memset(pStat, 0, sizeof(*pStat));
    pStat->idChunk = m_chunkId;
    pStat->breakType = chunk.breakType;
    pStat->flags = chunk.isValue ? CHUNK_VALUE : CHUNK_TEXT;
    pStat->locale = chunk.locale;
    pStat->attribute = chunk.attribute;
    pStat->idChunkSource = m_chunkId;
    return S_OK;
  }
  STDMETHODIMP GetText(ULONG* pcwcBuffer, WCHAR* awcBuffer) override {
    if (!pcwcBuffer || !awcBuffer) return E_INVALIDARG;
    if (!m_current || m_current->isValue) return FILTER_E_NO_TEXT;
    if (FAILED(m_current->getTextError)) return m_current->getTextError;
    size_t remaining = m_current->text.size() - m_textPos;
    if (remaining == 0) {
      *pcwcBuffer = 0;
      return FILTER_E_NO_MORE_TEXT;
    }
    size_t n = *pcwcBuffer < remaining ? *pcwcBuffer : remaining;
    std::memcpy(awcBuffer, m_current->text.data() + m_textPos, n * sizeof(WCHAR));
    m_textPos += n;
    *pcwcBuffer = ULONG(n);
    return m_textPos == m_current->text.size() ? FILTER_S_LAST_TEXT : S_OK;
  }
  STDMETHODIMP GetValue(PROPVARIANT** ppPropValue) override {
    if (!ppPropValue) return E_INVALIDARG;
    *ppPropValue = nullptr;
    if (!m_current || !m_current->isValue) return FILTER_E_NO_VALUES;
    if (FAILED(m_current->getValueError)) return m_current->getValueError;
    if (m_valueGiven) return FILTER_E_NO_MORE_VALUES;
    auto* value = static_cast<PROPVARIANT*>(CoTaskMemAlloc(sizeof(PROPVARIANT)));
    size_t cb = (m_current->text.size() + 1) * sizeof(WCHAR);
    auto* text = static_cast<LPWSTR>(CoTaskMemAlloc(cb));
    if (!value || !text) {
      CoTaskMemFree(value);
      CoTaskMemFree(text);
      return E_OUTOFMEMORY;
    }
    std::memcpy(text, m_current->text.c_str(), cb);
    PropVariantInit(value);
    value->vt = VT_LPWSTR;
    value->pwszVal = text;
    m_valueGiven = true;
    *ppPropValue = value;
    return S_OK;
  }
  STDMETHODIMP BindRegion(FILTERREGION, REFIID, void** ppunk) override {
    if (ppunk) *ppunk = nullptr;
    return E_NOTIMPL;
  }

  // IPersist
  STDMETHODIMP GetClassID(CLSID* pClassID) override {
    if (!pClassID) return E_POINTER;
    *pClassID = m_clsid;
    return S_OK;
  }
  STDMETHODIMP IsDirty() override { return S_FALSE; }

  // IPersistFile
  STDMETHODIMP Load(LPCOLESTR pszFileName, DWORD dwMode) override {
    InterlockedIncrement(&g_pathLoads);
    InterlockedExchange(&g_lastLoadMode, LONG(dwMode));
    Unload();
    if (!pszFileName) return E_INVALIDARG;
    HANDLE hFile = CreateFileW(pszFileName, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE) return HRESULT_FROM_WIN32(GetLastError());
    std::string bytes;
    HRESULT hr = S_OK;
    for (;;) {
      char buffer[4096];
      DWORD got = 0;
      if (!ReadFile(hFile, buffer, sizeof(buffer), &got, nullptr)) {
        hr = HRESULT_FROM_WIN32(GetLastError());
        break;
      }
      if (got == 0) break;
      bytes.append(buffer, got);
      if (bytes.size() > kMaxScriptBytes) {
        hr = FILTER_E_UNKNOWNFORMAT;
        break;
      }
    }
    CloseHandle(hFile);
    if (SUCCEEDED(hr)) hr = TakeScript(bytes);
    if (SUCCEEDED(hr)) m_path = pszFileName;
    return hr;
  }
  STDMETHODIMP Save(LPCOLESTR, BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP SaveCompleted(LPCOLESTR) override { return E_NOTIMPL; }
  STDMETHODIMP GetCurFile(LPOLESTR* ppszFileName) override {
    if (!ppszFileName) return E_POINTER;
    *ppszFileName = nullptr;
    if (m_path.empty()) return E_FAIL;
    size_t cb = (m_path.size() + 1) * sizeof(WCHAR);
    auto* copy = static_cast<LPOLESTR>(CoTaskMemAlloc(cb));
    if (!copy) return E_OUTOFMEMORY;
    std::memcpy(copy, m_path.c_str(), cb);
    *ppszFileName = copy;
    return S_OK;
  }

  // IPersistStream: the stream is read at once and kept, as a filter that
  // reads lazily would keep it.
  STDMETHODIMP Load(IStream* pStm) override {
    InterlockedIncrement(&g_streamLoads);
    Unload();
    if (!pStm) return E_INVALIDARG;
    std::string bytes;
    for (;;) {
      char buffer[4096];
      ULONG got = 0;
      HRESULT hr = pStm->Read(buffer, sizeof(buffer), &got);
      if (FAILED(hr)) return hr;
      if (got == 0) break;
      bytes.append(buffer, got);
      if (bytes.size() > kMaxScriptBytes) return FILTER_E_UNKNOWNFORMAT;
    }
    HRESULT hr = TakeScript(bytes);
    if (SUCCEEDED(hr)) {
      pStm->AddRef();
      m_pStream = pStm;
    }
    return hr;
  }
  STDMETHODIMP Save(IStream*, BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP GetSizeMax(ULARGE_INTEGER*) override { return E_NOTIMPL; }

 private:
  ~CFakeFilter() {
    Unload();
    InterlockedDecrement(&g_liveObjects);
  }

  bool Offers(REFIID riid) override {
    if (riid == IID_IFilter) return m_shape.filter;
    if (riid == IID_IPersistFile) return m_shape.persistFile;
    if (riid == IID_IPersistStream) return m_shape.persistStream;
    return true;
  }

  void Unload() {
    m_loaded = false;
    m_script = FakeScript();
    m_current = nullptr;
    m_next = 0;
    m_chunkId = 0;
    m_path.clear();
    if (m_pStream) {
      m_pStream->Release();
      m_pStream = nullptr;
    }
  }

  HRESULT TakeScript(const std::string& bytes) {
    FakeScript script;
    HRESULT hr = ParseFakeScript(bytes, &script);
    if (FAILED(hr)) return hr;
    if (FAILED(script.loadError)) return script.loadError;
    m_script = std::move(script);
    m_loaded = true;
    return S_OK;
  }

  CLSID m_clsid;
  FakeShape m_shape;
  bool m_loaded = false;
  FakeScript m_script;
  size_t m_next = 0;                    // next entry of m_script.chunks
  const FakeChunk* m_current = nullptr;  // chunk GetText/GetValue serve
  size_t m_textPos = 0;
  bool m_valueGiven = false;
  ULONG m_chunkId = 0;
  WString m_path;
  IStream* m_pStream = nullptr;
};

class CFakeFactory final : public arcwise_test::ComObject<IClassFactory> {
 public:
  CFakeFactory(REFCLSID clsid, FakeShape shape) : m_clsid(clsid), m_shape(shape) {
    InterlockedIncrement(&g_liveObjects);
  }
  STDMETHODIMP CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (pUnkOuter) return CLASS_E_NOAGGREGATION;
    return arcwise_test::HandOut(new (std::nothrow) CFakeFilter(m_clsid, m_shape), riid, ppv);
  }
  STDMETHODIMP LockServer(BOOL fLock) override {
    if (fLock) {
      InterlockedIncrement(&g_locks);
    } else {
      InterlockedDecrement(&g_locks);
    }
    return S_OK;
  }

 private:
  ~CFakeFactory() { InterlockedDecrement(&g_liveObjects); }
  CLSID m_clsid;
  FakeShape m_shape;
};

}  // namespace

FAKE_EXPORT HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  FakeShape shape;
  if (rclsid == CLSID_ArcwiseFakeFilter) {
    shape = {true, true, true};
  } else if (rclsid == CLSID_ArcwiseFakeFilterStreamOnly) {
    shape = {true, false, true};
  } else if (rclsid == CLSID_ArcwiseFakeFilterFileOnly) {
    shape = {true, true, false};
  } else if (rclsid == CLSID_ArcwiseFakeNotAFilter) {
    shape = {false, true, true};
  } else {
    return CLASS_E_CLASSNOTAVAILABLE;
  }
  return arcwise_test::HandOut(new (std::nothrow) CFakeFactory(rclsid, shape), riid, ppv);
}

FAKE_EXPORT HRESULT DllCanUnloadNow() {
  return InterlockedCompareExchange(&g_liveObjects, 0, 0) == 0 && InterlockedCompareExchange(&g_locks, 0, 0) == 0
             ? S_OK
             : S_FALSE;
}

FAKE_EXPORT LONG ArcwiseFakeFilterLiveObjects() { return InterlockedCompareExchange(&g_liveObjects, 0, 0); }
FAKE_EXPORT LONG ArcwiseFakeFilterPathLoads() { return InterlockedCompareExchange(&g_pathLoads, 0, 0); }
FAKE_EXPORT LONG ArcwiseFakeFilterStreamLoads() { return InterlockedCompareExchange(&g_streamLoads, 0, 0); }
FAKE_EXPORT DWORD ArcwiseFakeFilterLastLoadMode() { return DWORD(InterlockedCompareExchange(&g_lastLoadMode, 0, 0)); }
