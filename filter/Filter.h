// CFilter<Document, Configuration>: the format-independent part of the
// module's filter object. It carries the object's four interfaces (IFilter
// first, then IPersistFile, IPersistStream, IPersistStorage), its interlocked
// reference count, the persistence methods and IPersistStream::Load, which
// turns a stream into a path (the stream's own file, or a temporary copy in
// the working folder) and hands it to the derived class's IPersistFile::Load.
//
// Ownership: the object owns m_pwszPath and m_pDocument; the configuration
// belongs to the module (one per process) and is only read. Each object
// counts once in g_moduleRefCount from construction to destruction.
//
// Threads: the host drives one object from one thread at a time (the IFilter
// protocol is sequential); only the reference count and the module count
// are touched by several threads, through interlocked operations.
#pragma once

#include <cstring>
#include <memory>
#include <new>

#include "compat/Win32Compat.h"

#include "compat/ComRefCount.h"
#include "compat/CurFile.h"
#include "compat/ExceptionBarrier.h"

#include "archive/TempStorage.h"
#include "diagnostics/Debugger.h"
#include "filter/SaveStreamToFile.h"
#include "server/ServerState.h"

template <class Document, class Configuration>
class CFilter : public IFilter, public IPersistFile, public IPersistStream, public IPersistStorage {
 public:
  typedef Document DocumentType;
  typedef Configuration ConfigurationType;

  // The reference count starts at 1: the creator holds the first reference.
  explicit CFilter(const Configuration* pConfiguration) : m_pConfiguration(pConfiguration) {
    InterlockedIncrement(&g_moduleRefCount);
  }

  CFilter(const CFilter&) = delete;
  CFilter& operator=(const CFilter&) = delete;

  // ---- IUnknown (all four faces) --------------------------------------------
  STDMETHODIMP QueryInterface(REFIID riid, void** ppvObject) override {
    if (!ppvObject) return E_POINTER;
    if (IsEqualIID(riid, IID_IFilter)) {
      *ppvObject = static_cast<IFilter*>(this);
    } else if (IsEqualIID(riid, IID_IPersistFile)) {
      g_debugger.Print(3, W("INFO: IPersistFile interface queried \n"));
      *ppvObject = static_cast<IPersistFile*>(this);
    } else if (IsEqualIID(riid, IID_IPersistStream)) {
      g_debugger.Print(3, W("INFO: IPersistStream interface queried \n"));
      *ppvObject = static_cast<IPersistStream*>(this);
    } else if (IsEqualIID(riid, IID_IPersist) || IsEqualIID(riid, IID_IUnknown)) {
      // One face stands for the object's identity, whichever face is asked.
      *ppvObject = static_cast<IPersistFile*>(this);
    } else {
      // IPersistStorage is a base only for its method slots; the object
      // never hands it out.
      *ppvObject = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }

  STDMETHODIMP_(ULONG) AddRef() override { return m_refCount.AddRef(); }
  STDMETHODIMP_(ULONG) Release() override { return m_refCount.Release(this); }

  // ---- IFilter ---------------------------------------------------------------
  // Init, GetChunk, GetText and GetValue belong to the derived class.
  STDMETHODIMP BindRegion(FILTERREGION, REFIID, void** ppunk) override {
    if (ppunk) *ppunk = nullptr;
    return E_NOTIMPL;
  }

  // Virtual slots after the IFilter methods, in this order.
  virtual ~CFilter() {
    // The derived destructor has reset already; this covers a derived class
    // that did not.
    m_pwszPath.reset();
    m_pDocument.reset();
    InterlockedDecrement(&g_moduleRefCount);
  }

  // Releases what a load created: the path copy and the document (whose
  // destructor deletes its extraction folder).
  virtual void Reset() {
    m_pwszPath.reset();
    m_pDocument.reset();
  }

  // ---- IPersist (all three persistence faces) ---------------------------------
  STDMETHODIMP GetClassID(CLSID* pClassID) override {
    if (!pClassID) return E_POINTER;
    *pClassID = CLSID_ArcwiseFilter;
    return S_OK;
  }

  // ---- IPersistFile, IPersistStream, IPersistStorage ---------------------------
  // The object never changes what it loaded.
  STDMETHODIMP IsDirty() override { return S_FALSE; }

  // ---- IPersistFile --------------------------------------------------------------
  // Load(path, mode) belongs to the derived class; named here so that the
  // stream and storage Loads below do not hide it.
  using IPersistFile::Load;
  STDMETHODIMP Save(LPCOLESTR, BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP SaveCompleted(LPCOLESTR) override { return S_OK; }
  STDMETHODIMP GetCurFile(LPOLESTR* ppszFileName) override {
    return CopyCurFile(m_pwszPath.get(), ppszFileName);
  }

  // ---- IPersistStream ------------------------------------------------------------
  STDMETHODIMP Load(IStream* pStm) override {
    return ExceptionBarrier([&] { return LoadStream(pStm); });
  }
  STDMETHODIMP Save(IStream*, BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP GetSizeMax(ULARGE_INTEGER*) override { return E_NOTIMPL; }

  // ---- IPersistStorage -----------------------------------------------------------
  // A slot-filler only (QueryInterface never hands it out): nothing to do.
  STDMETHODIMP InitNew(IStorage*) override { return E_NOTIMPL; }
  STDMETHODIMP Load(IStorage*) override { return E_NOTIMPL; }
  STDMETHODIMP Save(IStorage*, BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP SaveCompleted(IStorage*) override { return S_OK; }
  STDMETHODIMP HandsOffStorage() override { return E_NOTIMPL; }

 protected:
  // IPersistStream::Load: the stream's own file, or a claimed copy of it,
  // handed to the derived class's IPersistFile::Load.
  HRESULT LoadStream(IStream* pStm);

  // A copy of path in m_pwszPath; false when it cannot be allocated.
  bool CopyPath(LPCWSTR path) {
    const size_t length = lstrlenW(path) + 1;
    m_pwszPath.reset(new (std::nothrow) WCHAR[length]);
    if (!m_pwszPath) return false;
    std::memcpy(m_pwszPath.get(), path, length * sizeof(WCHAR));
    return true;
  }

  const Configuration* m_pConfiguration;
  CComRefCount m_refCount;
  ULONG m_nextChunkId = 1;
  std::unique_ptr<WCHAR[]> m_pwszPath;
  std::unique_ptr<Document> m_pDocument;
  // The chunk pump's position: what the current chunk is and which sequence
  // (files, then names) GetChunk is in. Zero until the first Init.
  INT m_chunkState = 0;
  INT m_phase = 0;
};

template <class Document, class Configuration>
HRESULT CFilter<Document, Configuration>::LoadStream(IStream* pStm) {
  g_debugger.Print(3, W("INFO: entered IPersistStream::Load \n"));
  if (!pStm) return E_INVALIDARG;

  IPersistFile* pPersistFile = static_cast<IPersistFile*>(this);

  // A stream over a file that is still on disk is loaded from that file, so
  // nothing has to be copied. The name is only a hint: it counts when it is
  // an absolute path of a file of exactly the stream's size, so a relative
  // or unrelated name never pulls another file's content into the index.
  STATSTG stat = {};
  HRESULT hr = pStm->Stat(&stat, STATFLAG_DEFAULT);
  if (FAILED(hr)) {
    g_debugger.Print(1, W("INFO: Unable to retrieve STAT from IStorage stream. Error = 0x%08x \n"), hr);
    if (stat.pwcsName) CoTaskMemFree(stat.pwcsName);
  } else if (!stat.pwcsName) {
    g_debugger.Print(3, W("INFO: IStorage has no name \n"));
  } else {
    WString name;
    try {
      name = stat.pwcsName;
    } catch (const std::bad_alloc&) {
      CoTaskMemFree(stat.pwcsName);
      return E_OUTOFMEMORY;
    }
    CoTaskMemFree(stat.pwcsName);
    g_debugger.Print(3, W("INFO: IStorage name is %s \n"), name.c_str());
    if (IsFileOfSize(name.c_str(), stat.cbSize.QuadPart) && pPersistFile->Load(name.c_str(), 0) == S_OK) {
      return S_OK;
    }
  }

  // Otherwise the stream is copied to a temporary file that lives only while
  // the archive is extracted; its claim keeps a sweep of the working folder
  // away from it.
  const WString& appTempDir = m_pConfiguration->GetAppTempDir();
  if (appTempDir.empty()) {
    g_debugger.Print(1, W("ERROR: AppTempDir is not defined. The Stream cannot be processed \n"));
    hr = m_pConfiguration->GetAppTempDirFailure();
  } else {
    WCHAR tempFile[MAX_PATH] = {};
    TempClaim claim;
    LPCWSTR error = nullptr;
    if (!ReserveClaimedTempName(appTempDir.c_str(), W("qmk"), tempFile, claim, &error)) {
      const DWORD code = GetLastError();
      g_debugger.Print(1, W("ERROR: CreateTempFilename() failed for %s: %s. Error code = %d \n"),
                       appTempDir.c_str(), error, static_cast<INT>(code));
      hr = code ? HRESULT_FROM_WIN32(code) : E_FAIL;
    } else {
      MarkNotContentIndexed(tempFile);
      hr = SaveStreamToFile(pStm, tempFile);
      if (FAILED(hr)) {
        DeleteFileW(tempFile);
        g_debugger.Print(1, W("ERROR: saving Stream to temporary file failed \n"));
      } else {
        hr = pPersistFile->Load(tempFile, 0);
        // Loading extracts the whole archive, so the copy is no longer needed
        // either way.
        DeleteFileW(tempFile);
        if (SUCCEEDED(hr)) {
          // The copy is gone: there is no file to report to GetCurFile.
          m_pwszPath.reset();
        }
      }
    }
  }

  g_debugger.Print(3, W("INFO: exited IPersistStream::Load \n"));
  return hr;
}
