// Turns the bytes of a text source into UTF-16 in bounded pieces. The
// encoding is decided once per pass: a byte-order mark (UTF-8, UTF-16 LE,
// UTF-16 BE) wins; otherwise a first piece that holds a NUL byte marks the
// source as binary (no text at all), and else the whole source is checked
// for UTF-8 in pieces, and text that is not valid UTF-8 is read in the ANSI
// code page. UTF-8 goes through the system's MultiByteToWideChar(CP_UTF8);
// all this filter knows of UTF-8 is where a read may be cut (before a byte
// that is no continuation byte). U+0000 never appears in the text.
// Memory stays bounded by the piece and chunk sizes whatever the file's
// size. Owned by one filter object; one thread at a time.
#pragma once

#include <vector>

#include "compat/Win32Compat.h"

#include "TextSource.h"

// Most UTF-16 units one text chunk carries.
constexpr size_t kTextChunkChars = 64 * 1024;
// Bytes read from the source at a time.
constexpr ULONG kTextReadBytes = 64 * 1024;

enum class TextEncoding { Utf8, Utf16LE, Utf16BE, Ansi };

class CTextDecoder {
 public:
  // Rewinds the source, decides the encoding and positions after any
  // byte-order mark. The source must outlive the decoder's use of it.
  HRESULT Start(CTextSource* pSource);
  TextEncoding Encoding() const { return m_encoding; }
  bool IsBinary() const { return m_binary; }

  // Replaces *pText with the next at most maxUnits units (maxUnits >= 2); a
  // surrogate pair is never split between two results. Empty at the end.
  HRESULT Next(size_t maxUnits, WString* pText);

 private:
  HRESULT Fill();  // decodes one more piece into m_pending, or sets m_eof
  void DecodeUtf8(bool final);
  void DecodeUtf16(bool final, bool bigEndian);
  void DecodeAnsi(bool final);

  CTextSource* m_pSource = nullptr;
  TextEncoding m_encoding = TextEncoding::Utf8;
  std::vector<BYTE> m_raw;  // bytes read but not decoded yet
  WString m_pending;        // decoded, not yet handed out
  bool m_eof = false;
  bool m_sourceEnded = false;  // every byte of the source is in m_raw already
  bool m_binary = false;
};
