// File or stream reading for the text filter.
#include "TextSource.h"

CTextSource::~CTextSource() { Close(); }

void CTextSource::Close() {
  if (m_hFile != INVALID_HANDLE_VALUE) {
    CloseHandle(m_hFile);
    m_hFile = INVALID_HANDLE_VALUE;
  }
  if (m_pStream) {
    m_pStream->Release();
    m_pStream = nullptr;
  }
  m_streamStart.QuadPart = 0;
  m_atStart = true;
  m_fileEnded = false;
}

HRESULT CTextSource::OpenFile(LPCWSTR pszFileName) {
  Close();
  HANDLE hFile = CreateFileW(pszFileName, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (hFile == INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();
    return error ? HRESULT_FROM_WIN32(error) : E_FAIL;
  }
  m_hFile = hFile;
  return S_OK;
}

HRESULT CTextSource::OpenStream(IStream* pStm) {
  Close();
  if (!pStm) return E_INVALIDARG;
  // Init rereads from here, so the stream must be able to seek back.
  LARGE_INTEGER zero = {};
  ULARGE_INTEGER start = {};
  HRESULT hr = pStm->Seek(zero, STREAM_SEEK_CUR, &start);
  if (FAILED(hr)) return hr;
  pStm->AddRef();
  m_pStream = pStm;
  m_streamStart = start;
  return S_OK;
}

HRESULT CTextSource::Rewind() {
  // Only our own file handle is known not to have moved; a host may have
  // moved its stream since handing it over.
  if (m_atStart && m_hFile != INVALID_HANDLE_VALUE) return S_OK;
  m_fileEnded = false;
  m_atStart = true;
  if (m_hFile != INVALID_HANDLE_VALUE) {
    LARGE_INTEGER zero = {};
    if (!SetFilePointerEx(m_hFile, zero, nullptr, FILE_BEGIN)) return HRESULT_FROM_WIN32(GetLastError());
    return S_OK;
  }
  if (m_pStream) {
    LARGE_INTEGER start = {};
    start.QuadPart = LONGLONG(m_streamStart.QuadPart);
    return m_pStream->Seek(start, STREAM_SEEK_SET, nullptr);
  }
  return E_UNEXPECTED;
}

HRESULT CTextSource::Read(BYTE* pBuffer, ULONG cb, ULONG* pcbRead) {
  *pcbRead = 0;
  if (m_hFile != INVALID_HANDLE_VALUE) {
    if (m_fileEnded || cb == 0) return S_OK;
    m_atStart = false;
    DWORD got = 0;
    if (!ReadFile(m_hFile, pBuffer, cb, &got, nullptr)) return HRESULT_FROM_WIN32(GetLastError());
    m_fileEnded = got < cb;
    *pcbRead = got;
    return S_OK;
  }
  if (m_pStream) {
    m_atStart = false;
    ULONG got = 0;
    HRESULT hr = m_pStream->Read(pBuffer, cb, &got);
    if (FAILED(hr)) return hr;
    *pcbRead = got;
    return S_OK;
  }
  return E_UNEXPECTED;
}
