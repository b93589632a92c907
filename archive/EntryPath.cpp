// Entry-name decoding and the safe relative path rule (see EntryPath.h).
#include "archive/EntryPath.h"

#include <climits>

namespace {

bool IsSeparator(WCHAR c) { return c == u'\\' || c == u'/'; }

bool IsAsciiLetter(WCHAR c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }

// Components that the file system would take as "here" or "one up" (Windows
// also drops trailing dots and spaces, so "..." and ". ." count as well).
bool IsDotsAndSpacesOnly(std::u16string_view component) {
  for (WCHAR c : component) {
    if (c != u'.' && c != u' ') return false;
  }
  return true;
}

}  // namespace

bool DecodeEntryText(std::string_view bytes, DWORD flags, WString& text) {
  text.clear();
  if (bytes.empty()) return true;
  if (bytes.size() > static_cast<size_t>(INT_MAX)) return false;
  const UINT codePage = (flags & kZipFlagUtf8Names) ? CP_UTF8 : GetACP();
  const int byteCount = static_cast<int>(bytes.size());
  const int needed = MultiByteToWideChar(codePage, 0, bytes.data(), byteCount, nullptr, 0);
  if (needed <= 0) return false;
  text.resize(static_cast<size_t>(needed));
  const int written = MultiByteToWideChar(codePage, 0, bytes.data(), byteCount, text.data(), needed);
  if (written <= 0) {
    text.clear();
    return false;
  }
  text.resize(static_cast<size_t>(written));
  return true;
}

WString MakeSafeRelativePath(std::u16string_view entryPath) {
  if (entryPath.find(u'\0') != std::u16string_view::npos) return WString();
  std::u16string_view rest = entryPath;
  if (rest.size() >= 2 && IsAsciiLetter(rest[0]) && rest[1] == u':') rest.remove_prefix(2);

  WString safe;
  safe.reserve(rest.size());
  size_t start = 0;
  while (start <= rest.size()) {
    size_t end = start;
    while (end < rest.size() && !IsSeparator(rest[end])) ++end;
    const std::u16string_view component = rest.substr(start, end - start);
    if (!component.empty() && !IsDotsAndSpacesOnly(component)) {
      if (!safe.empty()) safe.push_back(u'\\');
      safe.append(component);
    }
    start = end + 1;
  }
  return safe;
}

std::u16string_view LastPathComponent(std::u16string_view path) {
  const size_t separator = path.rfind(u'\\');
  return separator == std::u16string_view::npos ? path : path.substr(separator + 1);
}
