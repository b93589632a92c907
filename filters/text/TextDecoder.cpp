// Encoding detection and piecewise decoding for the text filter.
#include "TextDecoder.h"

#include <algorithm>

namespace {

// UTF-8 checked incrementally, so a file of any size is checked in pieces.
class Utf8Check {
 public:
  bool Feed(const BYTE* p, size_t n) {
    for (size_t i = 0; i < n && m_valid; ++i) {
      BYTE b = p[i];
      if (m_need == 0) {
        if (b < 0x80) continue;
        m_lo = 0x80;
        m_hi = 0xBF;
        if (b >= 0xC2 && b <= 0xDF) {
          m_need = 1;
        } else if (b == 0xE0) {
          m_need = 2;
          m_lo = 0xA0;  // no overlong forms
        } else if ((b >= 0xE1 && b <= 0xEC) || b == 0xEE || b == 0xEF) {
          m_need = 2;
        } else if (b == 0xED) {
          m_need = 2;
          m_hi = 0x9F;  // no encoded surrogates
        } else if (b == 0xF0) {
          m_need = 3;
          m_lo = 0x90;
        } else if (b >= 0xF1 && b <= 0xF3) {
          m_need = 3;
        } else if (b == 0xF4) {
          m_need = 3;
          m_hi = 0x8F;  // nothing above U+10FFFF
        } else {
          m_valid = false;
        }
      } else if (b < m_lo || b > m_hi) {
        m_valid = false;
      } else {
        m_lo = 0x80;
        m_hi = 0xBF;
        --m_need;
      }
    }
    return m_valid;
  }
  bool Complete() const { return m_valid && m_need == 0; }

 private:
  int m_need = 0;
  BYTE m_lo = 0x80;
  BYTE m_hi = 0xBF;
  bool m_valid = true;
};

constexpr WCHAR kReplacement = 0xFFFD;

void AppendCodePoint(WString* out, char32_t cp) {
  if (cp >= 0x10000) {
    cp -= 0x10000;
    out->push_back(WCHAR(0xD800 + (cp >> 10)));
    out->push_back(WCHAR(0xDC00 + (cp & 0x3FF)));
  } else {
    out->push_back(WCHAR(cp));
  }
}

bool IsHighSurrogate(WCHAR c) { return c >= 0xD800 && c <= 0xDBFF; }

}  // namespace

HRESULT CTextDecoder::Start(CTextSource* pSource) {
  m_pSource = pSource;
  m_raw.clear();
  m_pending.clear();
  m_eof = false;
  m_binary = false;
  HRESULT hr = pSource->Rewind();
  if (FAILED(hr)) return hr;

  std::vector<BYTE> buffer(kTextReadBytes);
  ULONG got = 0;
  hr = pSource->Read(buffer.data(), kTextReadBytes, &got);
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
  } else if (std::find(buffer.begin(), buffer.begin() + got, BYTE(0)) != buffer.begin() + got) {
    // No text in a byte encoding holds a NUL byte: without a mark saying
    // UTF-16, a first piece with one is binary data (an image, an
    // executable, a disk of zeros), which gives no text at all.
    m_binary = true;
    return S_OK;
  } else {
    // Without a mark only the whole text can tell UTF-8 from the ANSI code
    // page; the check reads it once more, in pieces.
    Utf8Check check;
    bool valid = check.Feed(buffer.data(), got);
    while (valid && got == kTextReadBytes) {
      hr = pSource->Read(buffer.data(), kTextReadBytes, &got);
      if (FAILED(hr)) return hr;
      valid = check.Feed(buffer.data(), got);
    }
    m_encoding = valid && check.Complete() ? TextEncoding::Utf8 : TextEncoding::Ansi;
    hr = pSource->Rewind();
    if (FAILED(hr)) return hr;
    return S_OK;
  }
  // Keep what followed the mark in the first read.
  m_raw.assign(buffer.begin() + bom, buffer.begin() + got);
  return S_OK;
}

HRESULT CTextDecoder::Fill() {
  size_t kept = m_raw.size();
  ULONG want = kTextReadBytes > kept ? ULONG(kTextReadBytes - kept) : 0;
  ULONG got = 0;
  if (want > 0) {
    m_raw.resize(kept + want);
    HRESULT hr = m_pSource->Read(m_raw.data() + kept, want, &got);
    m_raw.resize(kept + (SUCCEEDED(hr) ? got : 0));
    if (FAILED(hr)) return hr;
  }
  bool final = want > 0 && got == 0;
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
  m_pending.erase(std::remove(m_pending.begin(), m_pending.end(), WCHAR(0)), m_pending.end());
  if (final) m_eof = true;
  return S_OK;
}

void CTextDecoder::DecodeUtf8(bool final) {
  size_t i = 0;
  const size_t n = m_raw.size();
  while (i < n) {
    BYTE b = m_raw[i];
    if (b < 0x80) {
      m_pending.push_back(WCHAR(b));
      ++i;
      continue;
    }
    size_t length = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
    if (i + length > n && !final) break;  // the rest arrives with the next read
    char32_t cp = length == 4 ? (b & 0x07) : length == 3 ? (b & 0x0F) : (b & 0x1F);
    bool valid = length > 1 && b < 0xF8 && i + length <= n;
    for (size_t k = 1; valid && k < length; ++k) {
      BYTE c = m_raw[i + k];
      if ((c & 0xC0) != 0x80) valid = false;
      cp = (cp << 6) | (c & 0x3F);
    }
    if (valid && (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))) valid = false;
    if (valid) {
      AppendCodePoint(&m_pending, cp);
      i += length;
    } else {
      // Only possible with a byte-order mark, or a file changed since the
      // check: one replacement per bad lead byte.
      m_pending.push_back(kReplacement);
      ++i;
    }
  }
  m_raw.erase(m_raw.begin(), m_raw.begin() + i);
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
  if (n < m_pending.size() && n > 1 && IsHighSurrogate(m_pending[n - 1])) --n;
  pText->assign(m_pending, 0, n);
  m_pending.erase(0, n);
  return S_OK;
}
