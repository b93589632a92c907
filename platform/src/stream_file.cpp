// SHCreateStreamOnFileEx: a stream on a handle from the platform's own
// CreateFileW, so the stream's share mode meets every other handle of the
// process. Clones share the handle (closed with the last of them) and keep
// their own seek pointer; each call positions the handle under the handle's
// lock before it reads or writes.
#include <shlwapi.h>

#include <sys/stat.h>

#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

#include "posix_util.h"
#include "stream_common.h"

namespace {

using arcwise_stream::StgErrorFromWin32;

struct SharedHandle {
  explicit SharedHandle(HANDLE h) : handle(h) {}
  ~SharedHandle() { CloseHandle(handle); }
  SharedHandle(const SharedHandle&) = delete;
  SharedHandle& operator=(const SharedHandle&) = delete;

  std::mutex mutex;
  HANDLE handle;
};

bool MoveTo(HANDLE handle, ULONGLONG position) {
  LARGE_INTEGER to;
  to.QuadPart = LONGLONG(position);
  return SetFilePointerEx(handle, to, nullptr, FILE_BEGIN) != FALSE;
}

class FileStream final : public arcwise_stream::StreamBase {
 public:
  FileStream(std::shared_ptr<SharedHandle> file, DWORD mode, ULONGLONG position)
      : StreamBase(position), m_file(std::move(file)), m_mode(mode) {}

  STDMETHODIMP Read(void* pv, ULONG cb, ULONG* pcbRead) override {
    if (pcbRead) *pcbRead = 0;
    if (!pv) return STG_E_INVALIDPOINTER;
    std::lock_guard<std::mutex> lock(m_file->mutex);
    DWORD got = 0;
    if (!MoveTo(m_file->handle, m_position) || !ReadFile(m_file->handle, pv, cb, &got, nullptr)) {
      return StgErrorFromWin32(GetLastError());
    }
    m_position += got;
    if (pcbRead) *pcbRead = got;
    return S_OK;  // also at the end, with nothing read
  }

  STDMETHODIMP Write(const void* pv, ULONG cb, ULONG* pcbWritten) override {
    if (pcbWritten) *pcbWritten = 0;
    if (!pv) return STG_E_INVALIDPOINTER;
    if (!Writable()) return STG_E_ACCESSDENIED;
    std::lock_guard<std::mutex> lock(m_file->mutex);
    DWORD put = 0;
    if (!MoveTo(m_file->handle, m_position) || !WriteFile(m_file->handle, pv, cb, &put, nullptr)) {
      return StgErrorFromWin32(GetLastError());
    }
    m_position += put;
    if (pcbWritten) *pcbWritten = put;
    return put == cb ? S_OK : STG_E_MEDIUMFULL;
  }

  STDMETHODIMP SetSize(ULARGE_INTEGER libNewSize) override {
    if (!Writable()) return STG_E_ACCESSDENIED;
    if (libNewSize.QuadPart > ULONGLONG(INT64_MAX)) return STG_E_INVALIDFUNCTION;
    std::lock_guard<std::mutex> lock(m_file->mutex);
    if (!MoveTo(m_file->handle, libNewSize.QuadPart) || !SetEndOfFile(m_file->handle)) {
      return StgErrorFromWin32(GetLastError());
    }
    return S_OK;
  }

  STDMETHODIMP Commit(DWORD grfCommitFlags) override {
    UNREFERENCED_PARAMETER(grfCommitFlags);
    if (!Writable()) return S_OK;
    std::lock_guard<std::mutex> lock(m_file->mutex);
    return FlushFileBuffers(m_file->handle) ? S_OK : StgErrorFromWin32(GetLastError());
  }

  STDMETHODIMP Stat(STATSTG* pstatstg, DWORD grfStatFlag) override {
    if (!pstatstg) return STG_E_INVALIDPOINTER;
    if (grfStatFlag & ~DWORD(STATFLAG_NONAME | STATFLAG_NOOPEN)) return STG_E_INVALIDFLAG;
    std::memset(pstatstg, 0, sizeof *pstatstg);
    WString path;
    LARGE_INTEGER size;
    {
      std::lock_guard<std::mutex> lock(m_file->mutex);
      if (!GetFileSizeEx(m_file->handle, &size)) return StgErrorFromWin32(GetLastError());
      DWORD needed = GetFinalPathNameByHandleW(m_file->handle, nullptr, 0, 0);
      if (needed) {
        path.resize(needed);
        DWORD length = GetFinalPathNameByHandleW(m_file->handle, path.data(), needed, 0);
        path.resize(length < needed ? length : 0);
      }
    }
    if (path.empty()) return StgErrorFromWin32(GetLastError());
    struct stat info;
    if (stat(arcwise_platform::PosixPath(path).c_str(), &info) == 0) {
      pstatstg->mtime = arcwise_stream::FileTimeFromUnix(info.st_mtim.tv_sec, info.st_mtim.tv_nsec);
      pstatstg->ctime = arcwise_stream::FileTimeFromUnix(info.st_ctim.tv_sec, info.st_ctim.tv_nsec);
      pstatstg->atime = arcwise_stream::FileTimeFromUnix(info.st_atim.tv_sec, info.st_atim.tv_nsec);
    }
    if (!(grfStatFlag & STATFLAG_NONAME)) {
      size_t bytes = (path.size() + 1) * sizeof(WCHAR);
      pstatstg->pwcsName = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
      if (!pstatstg->pwcsName) return STG_E_INSUFFICIENTMEMORY;
      std::memcpy(pstatstg->pwcsName, path.c_str(), bytes);
    }
    pstatstg->type = STGTY_STREAM;
    pstatstg->cbSize.QuadPart = ULONGLONG(size.QuadPart);
    pstatstg->grfMode = m_mode;
    pstatstg->grfLocksSupported = 0;
    pstatstg->clsid = CLSID_NULL;
    return S_OK;
  }

  STDMETHODIMP Clone(IStream** ppstm) override {
    return arcwise_stream::NewStream<FileStream>(ppstm, m_file, m_mode, m_position);
  }

 private:
  HRESULT CurrentSize(ULONGLONG* size) override {
    std::lock_guard<std::mutex> lock(m_file->mutex);
    LARGE_INTEGER fileSize;
    if (!GetFileSizeEx(m_file->handle, &fileSize)) return StgErrorFromWin32(GetLastError());
    *size = ULONGLONG(fileSize.QuadPart);
    return S_OK;
  }

  bool Writable() const {
    DWORD access = m_mode & 0x3;
    return access == STGM_WRITE || access == STGM_READWRITE;
  }

  std::shared_ptr<SharedHandle> m_file;
  DWORD m_mode;
};

}  // namespace

HRESULT SHCreateStreamOnFileEx(LPCWSTR pszFile, DWORD grfMode, DWORD dwAttributes, BOOL fCreate,
                               IStream* pstmTemplate, IStream** ppstm) {
  if (!ppstm) return E_INVALIDARG;
  *ppstm = nullptr;
  if (!pszFile || pstmTemplate) return E_INVALIDARG;

  const DWORD kKnown = 0x3 | 0x70 | STGM_CREATE | STGM_DELETEONRELEASE;
  if (grfMode & ~kKnown) return E_INVALIDARG;  // transacted, convert, ... are storage-only

  DWORD access;
  switch (grfMode & 0x3) {
    case STGM_READ: access = GENERIC_READ; break;
    case STGM_WRITE: access = GENERIC_WRITE; break;
    case STGM_READWRITE: access = GENERIC_READ | GENERIC_WRITE; break;
    default: return E_INVALIDARG;
  }
  DWORD share;
  switch (grfMode & 0x70) {
    case STGM_SHARE_COMPAT:
    case STGM_SHARE_DENY_NONE: share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE; break;
    case STGM_SHARE_DENY_READ: share = FILE_SHARE_WRITE; break;
    case STGM_SHARE_DENY_WRITE: share = FILE_SHARE_READ; break;
    case STGM_SHARE_EXCLUSIVE: share = 0; break;
    default: return E_INVALIDARG;
  }
  DWORD disposition = (grfMode & STGM_CREATE) ? CREATE_ALWAYS : (fCreate ? CREATE_NEW : OPEN_EXISTING);
  DWORD flags = dwAttributes ? dwAttributes : FILE_ATTRIBUTE_NORMAL;
  if (grfMode & STGM_DELETEONRELEASE) flags |= FILE_FLAG_DELETE_ON_CLOSE;

  HANDLE handle = CreateFileW(pszFile, access, share, nullptr, disposition, flags, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return HRESULT_FROM_WIN32(GetLastError());
  std::shared_ptr<SharedHandle> file;
  try {
    file = std::make_shared<SharedHandle>(handle);
  } catch (const std::bad_alloc&) {
    CloseHandle(handle);
    return E_OUTOFMEMORY;
  }
  return arcwise_stream::NewStream<FileStream>(ppstm, std::move(file), grfMode, ULONGLONG(0));
}
