// Temporary names as Windows makes them: GetTempPathW from TMPDIR or a
// private folder of the user's own, and GetTempFileNameW's
// <folder>\<pre><hex>.TMP files created exclusively.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>

#include "files_common.h"
#include "posix_util.h"

namespace {

// Every call in this process starts from its own number, so threads making
// names at once do not walk over each other's files; collisions with other
// processes are handled by moving past names in use.
unsigned Seed() {
  unsigned seed = static_cast<unsigned>(getpid()) ^
                  static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count());
  try {
    std::random_device device;
    seed ^= device();
  } catch (...) {
    // No entropy source: the clock and process id still spread processes apart.
  }
  return seed;
}

std::atomic<unsigned> g_nextUnique{Seed()};

unsigned StartingUnique() {
  unsigned value = g_nextUnique.fetch_add(1, std::memory_order_relaxed) & 0xFFFF;
  return value ? value : 1;
}

WString HexName(LPCWSTR prefix, unsigned unique) {
  WString name;
  for (int i = 0; i < 3 && prefix && prefix[i]; ++i) name += prefix[i];
  char digits[8];
  snprintf(digits, sizeof digits, "%X", unique);
  for (const char* d = digits; *d; ++d) name += static_cast<WCHAR>(*d);
  name += u".TMP";
  return name;
}

}  // namespace

DWORD ArcwiseEnsurePrivateFolder(const char* posixPath) {
  if (!posixPath || !*posixPath) return ERROR_INVALID_PARAMETER;
  if (mkdir(posixPath, 0700) == 0) return ERROR_SUCCESS;
  // mkdir's ENOENT always means a missing parent.
  if (errno == ENOENT || errno == ENOTDIR) return ERROR_PATH_NOT_FOUND;
  if (errno != EEXIST) return arcwise_platform::Win32ErrorFromErrno(errno);
  // lstat, not stat: a link planted under the expected name must never lead
  // our files into a folder of someone else's choosing.
  struct stat st;
  if (lstat(posixPath, &st) != 0) return arcwise_platform::Win32ErrorFromErrno(errno);
  std::string problem;
  if (S_ISLNK(st.st_mode)) {
    problem = "it is a symbolic link";
  } else if (!S_ISDIR(st.st_mode)) {
    problem = "it is not a folder";
  } else if (st.st_uid != geteuid()) {
    problem = "it belongs to user " + std::to_string(st.st_uid) + ", not to user " + std::to_string(geteuid());
  } else if ((st.st_mode & 077) != 0 && chmod(posixPath, 0700) != 0) {
    problem = "its permissions cannot be narrowed to the owner";
  }
  if (problem.empty()) return ERROR_SUCCESS;
  OutputDebugStringA(("arcwise: refusing " + std::string(posixPath) + " as a private folder: " + problem + "\n").c_str());
  return ERROR_ACCESS_DENIED;
}

DWORD GetTempPathW(DWORD nBufferLength, LPWSTR lpBuffer) {
  // '/' separators are kept: every file function here accepts them, and the
  // path then reads as the native one in logs.
  std::string folder = arcwise_platform::EnvValue("TMPDIR");
  if (folder.empty()) {
    // Windows gives each user a temporary folder of their own; the shared
    // /tmp would let other local users read, pre-create or fill our names.
    folder = "/tmp/arcwise-" + std::to_string(geteuid());
    const DWORD error = ArcwiseEnsurePrivateFolder(folder.c_str());
    if (error != ERROR_SUCCESS) {
      SetLastError(error);
      return 0;
    }
  }
  if (folder.back() != '/') folder += '/';
  return arcwise_platform::CopyOutString(Utf8ToUtf16(folder), lpBuffer, nBufferLength);
}

UINT GetTempFileNameW(LPCWSTR lpPathName, LPCWSTR lpPrefixString, UINT uUnique, LPWSTR lpTempFileName) {
  if (!lpPathName || !lpTempFileName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::u16string_view folder(lpPathName);
  if (folder.size() > MAX_PATH - 14) {
    SetLastError(ERROR_BUFFER_OVERFLOW);
    return 0;
  }
  WString base(folder);
  if (base.empty() || (base.back() != u'\\' && base.back() != u'/')) base += u'\\';

  if (uUnique != 0) {
    // A name only: no file, no uniqueness check.
    unsigned unique = uUnique & 0xFFFF;
    WString full = base + HexName(lpPrefixString, unique);
    full.copy(lpTempFileName, full.size());
    lpTempFileName[full.size()] = u'\0';
    return unique;
  }

  std::string posixFolder = arcwise_platform::FilePath(folder.empty() ? std::u16string_view(u".") : folder);
  struct stat st;
  if (stat(posixFolder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    SetLastError(ERROR_DIRECTORY);
    return 0;
  }

  const unsigned start = StartingUnique();
  unsigned unique = start;
  do {
    WString full = base + HexName(lpPrefixString, unique);
    std::string posixName = arcwise_platform::FilePath(full);
    int fd = open(posixName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) {
      close(fd);
      full.copy(lpTempFileName, full.size());
      lpTempFileName[full.size()] = u'\0';
      SetLastError(ERROR_SUCCESS);
      return unique;
    }
    if (errno != EEXIST) {
      arcwise_platform::SetLastErrorForName(posixName);
      if (GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND) {
        SetLastError(ERROR_DIRECTORY);  // the folder went away meanwhile
      }
      return 0;
    }
    unique = unique == 0xFFFF ? 1 : unique + 1;
  } while (unique != start);
  SetLastError(ERROR_FILE_EXISTS);
  return 0;
}
