// Entry-name decoding and the safe relative path rule (see EntryPath.h).
#include "archive/EntryPath.h"

#include <libdeflate.h>

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

bool DecodeUnicodePathField(std::string_view extraFields, std::string_view headerName, WString& name) {
  constexpr unsigned kUnicodePathId = 0x7075;
  auto read16 = [](std::string_view b, size_t at) {
    return unsigned(static_cast<unsigned char>(b[at])) | unsigned(static_cast<unsigned char>(b[at + 1])) << 8;
  };
  size_t at = 0;
  while (extraFields.size() - at >= 4) {
    const unsigned id = read16(extraFields, at);
    const size_t size = read16(extraFields, at + 2);
    at += 4;
    if (size > extraFields.size() - at) return false;  // a field running past the end: trust none of it
    const std::string_view field = extraFields.substr(at, size);
    at += size;
    if (id != kUnicodePathId) continue;
    if (field.size() < 6 || field[0] != 1) return false;
    const DWORD fieldCrc = read16(field, 1) | DWORD(read16(field, 3)) << 16;
    const DWORD headerCrc = DWORD(libdeflate_crc32(0, headerName.data(), headerName.size()));
    if (fieldCrc != headerCrc) return false;
    const std::string_view utf8 = field.substr(5);
    if (utf8.size() > static_cast<size_t>(INT_MAX)) return false;
    const int count = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), int(utf8.size()), nullptr, 0);
    if (count <= 0) return false;
    WString decoded(static_cast<size_t>(count), W('\0'));
    if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), int(utf8.size()), decoded.data(), count) != count)
      return false;
    name = std::move(decoded);
    return true;
  }
  return false;
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
