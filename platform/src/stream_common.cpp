#include "stream_common.h"

#include <vector>

namespace arcwise_stream {

STDMETHODIMP StreamBase::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_ISequentialStream || riid == IID_IStream) {
    *ppv = static_cast<IStream*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) StreamBase::AddRef() { return ++m_refs; }

STDMETHODIMP_(ULONG) StreamBase::Release() {
  ULONG refs = --m_refs;
  if (refs == 0) delete this;
  return refs;
}

STDMETHODIMP StreamBase::CopyTo(IStream* pstm, ULARGE_INTEGER cb, ULARGE_INTEGER* pcbRead,
                                ULARGE_INTEGER* pcbWritten) {
  if (pcbRead) pcbRead->QuadPart = 0;
  if (pcbWritten) pcbWritten->QuadPart = 0;
  if (!pstm) return STG_E_INVALIDPOINTER;
  std::vector<BYTE> block(64 * 1024);
  ULONGLONG left = cb.QuadPart;
  ULONGLONG totalRead = 0, totalWritten = 0;
  HRESULT hr = S_OK;
  while (left > 0) {
    ULONG want = ULONG(left < block.size() ? left : block.size());
    ULONG got = 0;
    hr = Read(block.data(), want, &got);
    if (FAILED(hr) || got == 0) break;
    totalRead += got;
    ULONG put = 0;
    hr = pstm->Write(block.data(), got, &put);
    totalWritten += put;
    if (FAILED(hr)) break;
    if (put < got) {
      hr = STG_E_MEDIUMFULL;
      break;
    }
    left -= got;
  }
  if (pcbRead) pcbRead->QuadPart = totalRead;
  if (pcbWritten) pcbWritten->QuadPart = totalWritten;
  return FAILED(hr) ? hr : S_OK;
}

STDMETHODIMP StreamBase::Commit(DWORD) { return S_OK; }
STDMETHODIMP StreamBase::Revert() { return S_OK; }
STDMETHODIMP StreamBase::LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) { return STG_E_INVALIDFUNCTION; }
STDMETHODIMP StreamBase::UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) { return STG_E_INVALIDFUNCTION; }

STDMETHODIMP StreamBase::Seek(LARGE_INTEGER dlibMove, DWORD dwOrigin, ULARGE_INTEGER* plibNewPosition) {
  ULONGLONG base = 0;
  switch (dwOrigin) {
    case STREAM_SEEK_SET: break;
    case STREAM_SEEK_CUR: base = m_position; break;
    case STREAM_SEEK_END: {
      const HRESULT hr = CurrentSize(&base);
      if (FAILED(hr)) return hr;
      break;
    }
    default: return STG_E_INVALIDFUNCTION;
  }
  ULONGLONG position;
  const LONGLONG move = dlibMove.QuadPart;
  if (move < 0) {
    const ULONGLONG back = ULONGLONG(-(move + 1)) + 1;  // no overflow for the minimum value
    if (back > base) return STG_E_INVALIDFUNCTION;
    position = base - back;
  } else {
    const ULONGLONG ahead = ULONGLONG(move);
    // Positions stay within what a signed 64-bit file offset can express.
    if (base > ULONGLONG(INT64_MAX) || ahead > ULONGLONG(INT64_MAX) - base) return STG_E_INVALIDFUNCTION;
    position = base + ahead;
  }
  m_position = position;
  if (plibNewPosition) plibNewPosition->QuadPart = position;
  return S_OK;
}

HRESULT StgErrorFromWin32(DWORD error) {
  switch (error) {
    case ERROR_INVALID_FUNCTION:
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_TOO_MANY_OPEN_FILES:
    case ERROR_ACCESS_DENIED:
    case ERROR_INVALID_HANDLE:
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_NO_MORE_FILES:
    case ERROR_WRITE_PROTECT:
    case ERROR_SEEK:
    case ERROR_WRITE_FAULT:
    case ERROR_READ_FAULT:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_FILE_EXISTS:
    case ERROR_INVALID_PARAMETER:
    case ERROR_DISK_FULL:
      // Storage reuses the Win32 code under its own facility for these.
      return MAKE_HRESULT(SEVERITY_ERROR, FACILITY_STORAGE, error);
    case ERROR_OUTOFMEMORY: return STG_E_INSUFFICIENTMEMORY;
    case ERROR_HANDLE_DISK_FULL: return STG_E_MEDIUMFULL;
    case ERROR_NEGATIVE_SEEK: return STG_E_INVALIDFUNCTION;
    case ERROR_SUCCESS: return E_FAIL;  // a failure that left no code behind
    default: return HRESULT_FROM_WIN32(error);
  }
}

FILETIME FileTimeFromUnix(long long seconds, long nanoseconds) {
  const long long kEpochDifference = 11644473600LL;  // 1601-01-01 to 1970-01-01 in seconds
  unsigned long long ticks = 0;
  if (seconds >= -kEpochDifference) {
    ticks = (unsigned long long)(seconds + kEpochDifference) * 10000000ULL + (unsigned long long)nanoseconds / 100;
  }
  FILETIME ft;
  ft.dwLowDateTime = DWORD(ticks);
  ft.dwHighDateTime = DWORD(ticks >> 32);
  return ft;
}

}  // namespace arcwise_stream
