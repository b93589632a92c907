// What the platform's streams share: reference counting and the interface
// map, the seek pointer every stream object keeps for itself, the IStream
// methods whose meaning does not depend on the medium, and the Win32-error to
// STG_E_ mapping. Internal; one thread at a time per stream object, any
// number of threads for distinct objects.
#pragma once

#include <objbase.h>

#include <atomic>
#include <new>
#include <utility>

namespace arcwise_stream {

class StreamBase : public IStream {
 public:
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  // Moves this object's own seek pointer; clones sharing a medium each keep
  // theirs. Only a seek from the end asks the medium for its size.
  STDMETHODIMP Seek(LARGE_INTEGER dlibMove, DWORD dwOrigin, ULARGE_INTEGER* plibNewPosition) override;
  // Reads from this stream and writes to pstm in blocks.
  STDMETHODIMP CopyTo(IStream* pstm, ULARGE_INTEGER cb, ULARGE_INTEGER* pcbRead,
                      ULARGE_INTEGER* pcbWritten) override;
  // Direct mode: nothing to commit or revert.
  STDMETHODIMP Commit(DWORD grfCommitFlags) override;
  STDMETHODIMP Revert() override;
  // Region locks are not offered (grfLocksSupported is 0).
  STDMETHODIMP LockRegion(ULARGE_INTEGER libOffset, ULARGE_INTEGER cb, DWORD dwLockType) override;
  STDMETHODIMP UnlockRegion(ULARGE_INTEGER libOffset, ULARGE_INTEGER cb, DWORD dwLockType) override;

 protected:
  explicit StreamBase(ULONGLONG position) : m_position(position) {}
  virtual ~StreamBase() = default;

  // The medium's size now, for a seek from its end.
  virtual HRESULT CurrentSize(ULONGLONG* size) = 0;

  ULONGLONG m_position;

 private:
  std::atomic<ULONG> m_refs{1};
};

// Hands a new stream object to *ppstm, as Clone and the factories do:
// STG_E_INVALIDPOINTER for a null out pointer, E_OUTOFMEMORY when there is
// no memory for the object.
template <typename Stream, typename... Args>
HRESULT NewStream(IStream** ppstm, Args&&... args) {
  if (!ppstm) return STG_E_INVALIDPOINTER;
  *ppstm = new (std::nothrow) Stream(std::forward<Args>(args)...);
  return *ppstm ? S_OK : E_OUTOFMEMORY;
}

// The storage error Windows reports for a Win32 error in stream I/O.
HRESULT StgErrorFromWin32(DWORD error);

// 100-ns intervals since 1601 for a POSIX time.
FILETIME FileTimeFromUnix(long long seconds, long nanoseconds);

}  // namespace arcwise_stream
