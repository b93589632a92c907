// SHCreateMemStream: a growable read-write stream over a private byte buffer,
// for hosts that hand over bytes instead of a file. Clones share the buffer
// (guarded by its own lock) and keep their own seek pointer.
#include <shlwapi.h>

#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

#include "stream_common.h"

namespace {

struct SharedBuffer {
  std::mutex mutex;
  std::vector<BYTE> bytes;
};

class MemoryStream final : public arcwise_stream::StreamBase {
 public:
  MemoryStream(std::shared_ptr<SharedBuffer> buffer, ULONGLONG position)
      : StreamBase(position), m_buffer(std::move(buffer)) {}

  STDMETHODIMP Read(void* pv, ULONG cb, ULONG* pcbRead) override {
    if (pcbRead) *pcbRead = 0;
    if (!pv) return STG_E_INVALIDPOINTER;
    std::lock_guard<std::mutex> lock(m_buffer->mutex);
    const auto& bytes = m_buffer->bytes;
    ULONG got = 0;
    if (m_position < bytes.size()) {
      ULONGLONG available = bytes.size() - m_position;
      got = ULONG(available < cb ? available : cb);
      std::memcpy(pv, bytes.data() + m_position, got);
      m_position += got;
    }
    if (pcbRead) *pcbRead = got;
    return S_OK;
  }

  STDMETHODIMP Write(const void* pv, ULONG cb, ULONG* pcbWritten) override {
    if (pcbWritten) *pcbWritten = 0;
    if (!pv) return STG_E_INVALIDPOINTER;
    if (cb == 0) return S_OK;
    std::lock_guard<std::mutex> lock(m_buffer->mutex);
    auto& bytes = m_buffer->bytes;
    ULONGLONG end = m_position + cb;
    if (end > bytes.max_size()) return STG_E_MEDIUMFULL;
    try {
      if (end > bytes.size()) bytes.resize(size_t(end));  // a gap left by a seek reads as zeros
    } catch (const std::bad_alloc&) {
      return STG_E_MEDIUMFULL;
    }
    std::memcpy(bytes.data() + m_position, pv, cb);
    m_position = end;
    if (pcbWritten) *pcbWritten = cb;
    return S_OK;
  }

  STDMETHODIMP SetSize(ULARGE_INTEGER libNewSize) override {
    std::lock_guard<std::mutex> lock(m_buffer->mutex);
    if (libNewSize.QuadPart > m_buffer->bytes.max_size()) return STG_E_MEDIUMFULL;
    try {
      m_buffer->bytes.resize(size_t(libNewSize.QuadPart));
    } catch (const std::bad_alloc&) {
      return STG_E_MEDIUMFULL;
    }
    return S_OK;
  }

  STDMETHODIMP Stat(STATSTG* pstatstg, DWORD grfStatFlag) override {
    UNREFERENCED_PARAMETER(grfStatFlag);  // there is never a name to give
    if (!pstatstg) return STG_E_INVALIDPOINTER;
    std::memset(pstatstg, 0, sizeof *pstatstg);
    pstatstg->type = STGTY_STREAM;
    std::lock_guard<std::mutex> lock(m_buffer->mutex);
    pstatstg->cbSize.QuadPart = m_buffer->bytes.size();
    pstatstg->grfMode = STGM_READWRITE;
    return S_OK;
  }

  STDMETHODIMP Clone(IStream** ppstm) override {
    return arcwise_stream::NewStream<MemoryStream>(ppstm, m_buffer, m_position);
  }

 private:
  HRESULT CurrentSize(ULONGLONG* size) override {
    std::lock_guard<std::mutex> lock(m_buffer->mutex);
    *size = m_buffer->bytes.size();
    return S_OK;
  }

  std::shared_ptr<SharedBuffer> m_buffer;
};

}  // namespace

IStream* SHCreateMemStream(const BYTE* pInit, UINT cbInit) {
  try {
    auto buffer = std::make_shared<SharedBuffer>();
    if (pInit && cbInit) buffer->bytes.assign(pInit, pInit + cbInit);
    return new MemoryStream(std::move(buffer), 0);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
