#include "files_common.h"

#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "posix_util.h"

namespace arcwise_platform {

const char kDosAttributeName[] = "user.DOSATTRIB";

namespace {

// True when posixPath is absolute and already normal: no empty, "." or ".."
// component (a trailing separator aside). Nearly every path the product passes
// is such, and normalising through std::filesystem costs a dozen allocations.
bool IsNormalAbsolute(std::string_view path) {
  if (path.empty() || path[0] != '/') return false;
  size_t start = 1;
  while (start < path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string_view::npos) end = path.size();
    std::string_view part = path.substr(start, end - start);
    if (part.empty() || part == "." || part == "..") return false;
    start = end + 1;
  }
  return true;
}

}  // namespace

std::string AbsolutePosixPath(const std::string& posixPath) {
  if (IsNormalAbsolute(posixPath)) {
    std::string normal = posixPath;
    while (normal.size() > 1 && normal.back() == '/') normal.pop_back();
    return normal;
  }
  std::filesystem::path path(posixPath);
  if (path.is_relative()) {
    std::error_code ec;
    std::filesystem::path cwd = std::filesystem::current_path(ec);
    if (!ec) path = cwd / path;
  }
  std::string normal = path.lexically_normal().string();
  // "dir/" normalises to "dir/": a file's name never ends in a separator.
  while (normal.size() > 1 && normal.back() == '/') normal.pop_back();
  return normal;
}

std::string FilePath(std::u16string_view widePath) { return AbsolutePosixPath(PosixPath(widePath)); }

DWORD Win32ErrorForName(int err, const std::string& posixPath) {
  if (err == ENOTDIR) return ERROR_PATH_NOT_FOUND;
  if (err != ENOENT) return Win32ErrorFromErrno(err);
  std::string path = posixPath;
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  size_t slash = path.rfind('/');
  std::string parent = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
  struct stat st;
  if (stat(parent.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return ERROR_FILE_NOT_FOUND;
  return ERROR_PATH_NOT_FOUND;
}

DWORD SetLastErrorForName(const std::string& posixPath) {
  DWORD error = Win32ErrorForName(errno, posixPath);
  SetLastError(error);
  return error;
}

bool NamedFilePath(LPCWSTR name, std::string* path) {
  if (!name || !*name) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return false;
  }
  *path = FilePath(name);
  return true;
}

bool StatNamedFile(LPCWSTR name, bool followLinks, std::string* path, struct stat* st) {
  if (!NamedFilePath(name, path)) return false;
  if ((followLinks ? stat(path->c_str(), st) : lstat(path->c_str(), st)) != 0) {
    SetLastErrorForName(*path);
    return false;
  }
  return true;
}

FILETIME FileTimeFromTimespec(const struct timespec& ts) {
  // Seconds between 1601-01-01 and 1970-01-01.
  constexpr long long kEpochDifference = 11644473600LL;
  long long ticks = (static_cast<long long>(ts.tv_sec) + kEpochDifference) * 10000000LL + ts.tv_nsec / 100;
  if (ticks < 0) ticks = 0;
  FILETIME ft;
  ft.dwLowDateTime = static_cast<DWORD>(static_cast<unsigned long long>(ticks) & 0xFFFFFFFFu);
  ft.dwHighDateTime = static_cast<DWORD>(static_cast<unsigned long long>(ticks) >> 32);
  return ft;
}

DWORD CopyOutString(const WString& text, LPWSTR buffer, DWORD bufferLength) {
  if (!buffer || bufferLength <= text.size()) return static_cast<DWORD>(text.size() + 1);
  text.copy(buffer, text.size());
  buffer[text.size()] = u'\0';
  return static_cast<DWORD>(text.size());
}

// ---- DOS attributes -------------------------------------------------------------

namespace {

// Text such as "0x2000", possibly with a terminating NUL as some writers
// store it. Anything else (other writers' binary records) counts as no bits.
DWORD ParseDosBits(const char* value, ssize_t length) {
  if (length < 3) return 0;
  std::string text(value, static_cast<size_t>(length));
  while (!text.empty() && (text.back() == '\0' || text.back() == '\n' || text.back() == ' ')) text.pop_back();
  if (text.size() < 3 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X')) return 0;
  char* end = nullptr;
  unsigned long bits = strtoul(text.c_str() + 2, &end, 16);
  if (end == text.c_str() + 2 || *end != '\0') return 0;
  return static_cast<DWORD>(bits) & kStoredDosBits;
}

std::string FormatDosBits(DWORD bits) {
  char text[16];
  snprintf(text, sizeof text, "0x%x", static_cast<unsigned>(bits));
  return text;
}

bool Unsupported(int err) { return err == ENOTSUP || err == EOPNOTSUPP || err == EPERM; }

}  // namespace

DWORD ReadDosBits(const std::string& posixPath) {
  char value[64];
  ssize_t length = getxattr(posixPath.c_str(), kDosAttributeName, value, sizeof value);
  return length < 0 ? 0 : ParseDosBits(value, length);
}

DWORD ReadDosBitsFd(int fd) {
  char value[64];
  ssize_t length = fgetxattr(fd, kDosAttributeName, value, sizeof value);
  return length < 0 ? 0 : ParseDosBits(value, length);
}

bool WriteDosBits(const std::string& posixPath, DWORD bits) {
  bits &= kStoredDosBits;
  int rc;
  if (bits == 0) {
    rc = removexattr(posixPath.c_str(), kDosAttributeName);
    if (rc != 0 && errno == ENODATA) rc = 0;
  } else {
    std::string text = FormatDosBits(bits);
    rc = setxattr(posixPath.c_str(), kDosAttributeName, text.data(), text.size(), 0);
  }
  return rc == 0 || Unsupported(errno);
}

bool WriteDosBitsFd(int fd, DWORD bits) {
  bits &= kStoredDosBits;
  int rc;
  if (bits == 0) {
    rc = fremovexattr(fd, kDosAttributeName);
    if (rc != 0 && errno == ENODATA) rc = 0;
  } else {
    std::string text = FormatDosBits(bits);
    rc = fsetxattr(fd, kDosAttributeName, text.data(), text.size(), 0);
  }
  return rc == 0 || Unsupported(errno);
}

DWORD AttributesFromStat(const struct stat& st, DWORD dosBits) {
  DWORD attributes = dosBits & kStoredDosBits;
  if (S_ISDIR(st.st_mode)) attributes |= FILE_ATTRIBUTE_DIRECTORY;
  return attributes ? attributes : FILE_ATTRIBUTE_NORMAL;
}

}  // namespace arcwise_platform
