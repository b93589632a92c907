// Text and property collection of the document filters.
#include "DocumentContent.h"

#include <climits>

namespace {

bool IsSpace(WCHAR c) { return c == W(' ') || c == W('\t') || c == W('\n') || c == W('\r') || c == W('\f') || c == 0x0B; }

}  // namespace

WString Utf8ToWide(std::string_view utf8) {
  WString wide;
  if (utf8.empty() || utf8.size() > size_t(INT_MAX)) return wide;
  // UTF-8 never gives more UTF-16 units than it has bytes.
  wide.resize(utf8.size());
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), wide.data(), int(wide.size()));
  wide.resize(n > 0 ? size_t(n) : 0);
  return wide;
}

void CDocumentContent::Clear() {
  m_full = false;
  m_text.clear();
  m_properties.clear();
}

void CDocumentContent::Push(WCHAR c) {
  if (m_text.size() >= m_maxChars) {
    m_full = true;
    return;
  }
  m_text.push_back(c);
}

void CDocumentContent::Append(std::u16string_view text, bool collapse) {
  for (WCHAR c : text) {
    if (m_full) return;
    if (collapse && IsSpace(c)) {
      if (!m_text.empty() && m_text.back() != W(' ') && m_text.back() != W('\n')) Push(W(' '));
      continue;
    }
    if (c == W('\r') || c == W('\f') || c == 0x0B) c = W('\n');
    if (c == W('\n')) {
      EndParagraph();
      continue;
    }
    if ((c < 0x20 && c != W('\t')) || c == 0xFFFE || c == 0xFFFF) continue;
    Push(c);
  }
}

void CDocumentContent::AppendUtf8(std::string_view utf8, bool collapse) { Append(Utf8ToWide(utf8), collapse); }

void CDocumentContent::EndParagraph() {
  while (!m_text.empty() && (m_text.back() == W(' ') || m_text.back() == W('\t'))) m_text.pop_back();
  if (!m_text.empty() && m_text.back() != W('\n')) Push(W('\n'));
}

void CDocumentContent::SetProperty(PROPID propid, std::u16string_view value) {
  for (const DocumentProperty& p : m_properties) {
    if (p.propid == propid) return;
  }
  WString clean;
  for (WCHAR c : value) {
    if (IsSpace(c) || c < 0x20) {
      if (!clean.empty() && clean.back() != W(' ')) clean.push_back(W(' '));
    } else {
      clean.push_back(c);
    }
  }
  while (!clean.empty() && clean.back() == W(' ')) clean.pop_back();
  // Properties are short: a longer one is kept to its first page.
  constexpr size_t kMaxPropertyChars = 4096;
  if (clean.size() > kMaxPropertyChars) {
    clean.resize(IS_HIGH_SURROGATE(clean[kMaxPropertyChars - 1]) ? kMaxPropertyChars - 1 : kMaxPropertyChars);
  }
  if (clean.empty()) return;
  // Served in the order of their ids, whatever order the document names them in.
  auto at = m_properties.begin();
  while (at != m_properties.end() && at->propid < propid) ++at;
  m_properties.insert(at, DocumentProperty{propid, std::move(clean)});
}

void CDocumentContent::SetPropertyUtf8(PROPID propid, std::string_view utf8) { SetProperty(propid, Utf8ToWide(utf8)); }
