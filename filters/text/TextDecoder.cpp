// Encoding detection and piecewise decoding for the text filter.
#include "TextDecoder.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace {

constexpr WCHAR kReplacement = 0xFFFD;

// What the system's converter makes of n bytes of UTF-8: the number of
// UTF-16 units, 0 when MB_ERR_INVALID_CHARS is among the flags and a byte
// is bad (or when there are no bytes).
int Utf8Units(const BYTE* p, size_t n, DWORD flags) {
  if (n == 0) return 0;
  return MultiByteToWideChar(CP_UTF8, flags, reinterpret_cast<LPCSTR>(p), int(n), nullptr, 0);
}

// Where a piece that more text follows may be cut, so that each byte is
// decoded once: before the last byte that is not a continuation byte
// (10xxxxxx) among the last four, when that byte is no ASCII character.
// The converter never joins bytes across such a byte, so the two sides
// decode (and replace bad bytes) exactly as the whole would; what is kept
// back is at most one character, finished by the next read.
size_t CutBeforeLastCharacter(const BYTE* p, size_t n) {
  for (size_t back = 1; back <= 4 && back <= n; ++back) {
    const BYTE b = p[n - back];
    if ((b & 0xC0) != 0x80) return b < 0x80 ? n : n - back;
  }
  return n;
}

// Appends the UTF-16 of n bytes of UTF-8, bad bytes replaced by the
// converter's rule.
void AppendUtf8(const BYTE* p, size_t n, WString* out) {
  if (n == 0) return;
  // UTF-8 never gives more UTF-16 units than it has bytes.
  const size_t at = out->size();
  out->resize(at + n);
  const int units = MultiByteToWideChar(CP_UTF8, 0, reinterpret_cast<LPCSTR>(p), int(n), out->data() + at, int(n));
  out->resize(at + size_t(units > 0 ? units : 0));
}

}  // namespace

HRESULT CTextDecoder::Start(CTextSource* pSource) {
  m_pSource = pSource;
  m_raw.clear();
  m_pending.clear();
  m_eof = false;
  m_sourceEnded = false;
  m_binary = false;
  HRESULT hr = pSource->Rewind();
  if (FAILED(hr)) return hr;

  // Not zeroed: only what the read fills is ever looked at.
  std::unique_ptr<BYTE[]> buffer(new BYTE[kTextReadBytes]);
  ULONG got = 0;
  hr = pSource->Read(buffer.get(), kTextReadBytes, &got);
  if (FAILED(hr)) return hr;
  size_t bom = 0;
  if (got >= 3 && buffer[0] == 0xEF && buffer[1] == 0xBB && buffer[2] == 0xBF) {
    m_encoding = TextEncoding::Utf8;
    bom = 3;
  } else if (got >= 2 && buffer[0] == 0xFF && buffer[1] == 0xFE) {
    m_encoding = TextEncoding::Utf16LE;
    bom = 2;
  } else if (got >= 2 && buffer[0] == 0xFE && buffer[1] == 0xFF) {
    m_encoding = TextEncoding::Utf16BE;
    bom = 2;
  } else if (std::memchr(buffer.get(), 0, got) != nullptr) {
    // No text in a byte encoding holds a NUL byte: without a mark saying
    // UTF-16, a first piece with one is binary data (an image, an
    // executable, a disk of zeros), which gives no text at all.
    m_binary = true;
    return S_OK;
  } else {
    // Without a mark only the whole text can tell UTF-8 from the ANSI code
    // page; the check reads it once more, in pieces, to the end.
    std::vector<BYTE> piece(buffer.get(), buffer.get() + got);
    const size_t firstRead = got;
    size_t total = got;
    bool valid = true;
    std::unique_ptr<BYTE[]> next;  // later reads, appended to what a cut kept back
    while (got > 0) {
      const size_t taken = CutBeforeLastCharacter(piece.data(), piece.size());
      valid = taken == 0 || Utf8Units(piece.data(), taken, MB_ERR_INVALID_CHARS) > 0;
      if (!valid) break;
      piece.erase(piece.begin(), piece.begin() + taken);
      if (!next) next.reset(new BYTE[kTextReadBytes]);
      hr = pSource->Read(next.get(), kTextReadBytes, &got);
      if (FAILED(hr)) return hr;
      piece.insert(piece.end(), next.get(), next.get() + got);
      total += got;
    }
    // What a cut kept back must be whole characters once nothing follows.
    if (valid && !piece.empty()) valid = Utf8Units(piece.data(), piece.size(), MB_ERR_INVALID_CHARS) > 0;
    m_encoding = valid ? TextEncoding::Utf8 : TextEncoding::Ansi;
    if (got == 0 && total == firstRead) {
      // The first read held the whole source (most files in an archive are
      // small): decoded from memory, not read a second time.
      m_raw.assign(buffer.get(), buffer.get() + firstRead);
      m_sourceEnded = true;
      return S_OK;
    }
    hr = pSource->Rewind();
    if (FAILED(hr)) return hr;
    return S_OK;
  }
  // Keep what followed the mark in the first read.
  m_raw.assign(buffer.get() + bom, buffer.get() + got);
  return S_OK;
}

HRESULT CTextDecoder::Fill() {
  size_t kept = m_raw.size();
  ULONG want = kTextReadBytes > kept && !m_sourceEnded ? ULONG(kTextReadBytes - kept) : 0;
  ULONG got = 0;
  if (want > 0) {
    m_raw.resize(kept + want);
    HRESULT hr = m_pSource->Read(m_raw.data() + kept, want, &got);
    m_raw.resize(kept + (SUCCEEDED(hr) ? got : 0));
    if (FAILED(hr)) return hr;
  }
  const bool final = m_sourceEnded || (want > 0 && got == 0);
  const size_t pendingBefore = m_pending.size();
  const bool hadZeroByte = !m_raw.empty() && std::memchr(m_raw.data(), 0, m_raw.size()) != nullptr;
  switch (m_encoding) {
    case TextEncoding::Utf8:
      DecodeUtf8(final);
      break;
    case TextEncoding::Utf16LE:
      DecodeUtf16(final, false);
      break;
    case TextEncoding::Utf16BE:
      DecodeUtf16(final, true);
      break;
    case TextEncoding::Ansi:
      DecodeAnsi(final);
      break;
  }
  // U+0000 is no text in any encoding: it is dropped wherever it comes from.
  // In the byte encodings only a zero byte gives it, which the bytes show
  // faster than the text would.
  if (m_encoding == TextEncoding::Utf16LE || m_encoding == TextEncoding::Utf16BE || hadZeroByte) {
    m_pending.erase(std::remove(m_pending.begin() + ptrdiff_t(pendingBefore), m_pending.end(), WCHAR(0)),
                    m_pending.end());
  }
  if (final) m_eof = true;
  return S_OK;
}

void CTextDecoder::DecodeUtf8(bool final) {
  // Bad bytes are only possible with a byte-order mark, or in a file changed
  // since the check; they are replaced as the converter does.
  const size_t taken = final ? m_raw.size() : CutBeforeLastCharacter(m_raw.data(), m_raw.size());
  AppendUtf8(m_raw.data(), taken, &m_pending);
  m_raw.erase(m_raw.begin(), m_raw.begin() + taken);
}

void CTextDecoder::DecodeUtf16(bool final, bool bigEndian) {
  size_t units = m_raw.size() / 2;
  for (size_t u = 0; u < units; ++u) {
    BYTE a = m_raw[2 * u];
    BYTE b = m_raw[2 * u + 1];
    m_pending.push_back(bigEndian ? WCHAR((a << 8) | b) : WCHAR((b << 8) | a));
  }
  m_raw.erase(m_raw.begin(), m_raw.begin() + units * 2);
  if (final && !m_raw.empty()) {
    m_pending.push_back(kReplacement);  // an odd last byte
    m_raw.clear();
  }
}

void CTextDecoder::DecodeAnsi(bool final) {
  // A piece ends after a line feed where there is one: in every ANSI code
  // page, double-byte ones included, 0x0A is never part of a longer
  // character, so no character is cut in two.
  size_t end = m_raw.size();
  if (!final && end > 0) {
    size_t lf = end;
    while (lf > 0 && m_raw[lf - 1] != 0x0A) --lf;
    if (lf > 0) end = lf;
  }
  if (end == 0) return;
  int cch = MultiByteToWideChar(CP_ACP, 0, reinterpret_cast<LPCSTR>(m_raw.data()), int(end), nullptr, 0);
  if (cch > 0) {
    size_t at = m_pending.size();
    m_pending.resize(at + size_t(cch));
    cch = MultiByteToWideChar(CP_ACP, 0, reinterpret_cast<LPCSTR>(m_raw.data()), int(end),
                              m_pending.data() + at, cch);
    m_pending.resize(at + size_t(cch > 0 ? cch : 0));
  }
  if (cch <= 0) {
    // A converter that refuses the bytes still leaves the ASCII readable.
    for (size_t i = 0; i < end; ++i) m_pending.push_back(m_raw[i] < 0x80 ? WCHAR(m_raw[i]) : kReplacement);
  }
  m_raw.erase(m_raw.begin(), m_raw.begin() + end);
}

HRESULT CTextDecoder::Next(size_t maxUnits, WString* pText) {
  pText->clear();
  if (!m_pSource) return E_UNEXPECTED;
  if (m_binary) return S_OK;
  // One unit beyond the limit tells whether the cut falls inside a pair.
  while (m_pending.size() <= maxUnits && !m_eof) {
    HRESULT hr = Fill();
    if (FAILED(hr)) return hr;
  }
  size_t n = m_pending.size() < maxUnits ? m_pending.size() : maxUnits;
  if (n < m_pending.size() && n > 1 && IS_HIGH_SURROGATE(m_pending[n - 1])) --n;
  pText->assign(m_pending, 0, n);
  m_pending.erase(0, n);
  return S_OK;
}
