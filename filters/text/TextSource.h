// The bytes a text filter reads: a file opened by path or a stream handed in
// by the host, read from its start again on every Init. Owns the file handle
// or one stream reference. One thread at a time, as its filter object.
#pragma once

#include "compat/Win32Compat.h"

class CTextSource {
 public:
  CTextSource() = default;
  ~CTextSource();
  CTextSource(const CTextSource&) = delete;
  CTextSource& operator=(const CTextSource&) = delete;

  // Opens the file for reading, sharing reading with others. The previous
  // source is closed first, also on failure.
  HRESULT OpenFile(LPCWSTR pszFileName);
  // Keeps a reference to the stream and reads from its present position.
  HRESULT OpenStream(IStream* pStm);
  void Close();
  bool IsOpen() const { return m_hFile != INVALID_HANDLE_VALUE || m_pStream != nullptr; }

  // Back to where the source began (for a file, nothing to do before its
  // first read).
  HRESULT Rewind();
  // Up to cb bytes; *pcbRead 0 at the end.
  HRESULT Read(BYTE* pBuffer, ULONG cb, ULONG* pcbRead);

 private:
  HANDLE m_hFile = INVALID_HANDLE_VALUE;
  IStream* m_pStream = nullptr;
  ULARGE_INTEGER m_streamStart = {};
  // Nothing read since the source was opened or rewound.
  bool m_atStart = true;
  // A file read gave less than asked: ReadFile on a file stops short only
  // at its end, so the next read would give nothing and need not be made.
  // Streams promise no such thing and are always asked.
  bool m_fileEnded = false;
};
