// What the platform's streams share: reference counting and the interface
// map, the IStream methods whose meaning does not depend on the medium, and
// the Win32-error to STG_E_ mapping. Internal; one thread at a time per
// stream object, any number of threads for distinct objects.
#pragma once

#include <objbase.h>

#include <atomic>

namespace arcwise_stream {

class StreamBase : public IStream {
 public:
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

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
  StreamBase() = default;
  virtual ~StreamBase() = default;

  // The new seek position for dlibMove from dwOrigin, given the current
  // position and size; STG_E_INVALIDFUNCTION for an unknown origin or a
  // position before the start.
  static HRESULT NewPosition(LARGE_INTEGER dlibMove, DWORD dwOrigin, ULONGLONG current, ULONGLONG size,
                             ULONGLONG* result);

 private:
  std::atomic<ULONG> m_refs{1};
};

// The storage error Windows reports for a Win32 error in stream I/O.
HRESULT StgErrorFromWin32(DWORD error);

// 100-ns intervals since 1601 for a POSIX time.
FILETIME FileTimeFromUnix(long long seconds, long nanoseconds);

}  // namespace arcwise_stream
