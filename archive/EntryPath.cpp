// Entry-name decoding and the safe relative path rule (see EntryPath.h).
#include "archive/EntryPath.h"

#include <climits>
#include <string>

namespace {

bool IsSeparator(WCHAR c) { return c == W('\\') || c == W('/'); }

bool IsAsciiLetter(WCHAR c) { return (c >= W('A') && c <= W('Z')) || (c >= W('a') && c <= W('z')); }

// Components that the file system would take as "here" or "one up" (Windows
// also drops trailing dots and spaces, so "..." and ". ." count as well).
bool IsDotsAndSpacesOnly(WStringView component) {
  for (WCHAR c : component) {
    if (c != W('.') && c != W(' ')) return false;
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

WString MakeSafeRelativePath(WStringView entryPath) {
  if (entryPath.find(W('\0')) != WStringView::npos) return WString();
  WStringView rest = entryPath;
  if (rest.size() >= 2 && IsAsciiLetter(rest[0]) && rest[1] == W(':')) rest.remove_prefix(2);

  WString safe;
  safe.reserve(rest.size());
  size_t start = 0;
  while (start <= rest.size()) {
    size_t end = start;
    while (end < rest.size() && !IsSeparator(rest[end])) ++end;
    const WStringView component = rest.substr(start, end - start);
    if (!component.empty() && !IsDotsAndSpacesOnly(component)) {
      if (!safe.empty()) safe.push_back(W('\\'));
      safe.append(component);
    }
    start = end + 1;
  }
  return safe;
}

WStringView LastPathComponent(WStringView path) {
  const size_t separator = path.rfind(W('\\'));
  return separator == WStringView::npos ? path : path.substr(separator + 1);
}

WString DecimalText(ULONGLONG value) {
  const std::string digits = std::to_string(value);
  return WString(digits.begin(), digits.end());
}
