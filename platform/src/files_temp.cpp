// Temporary names as Windows makes them: GetTempPathW from TMPDIR, and
// GetTempFileNameW's <folder>\<pre><hex>.TMP files created exclusively.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <random>

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

DWORD GetTempPathW(DWORD nBufferLength, LPWSTR lpBuffer) {
  // '/' separators are kept: every file function here accepts them, and the
  // path then reads as the native one in logs.
  std::string folder = arcwise_platform::EnvValue("TMPDIR");
  if (folder.empty()) folder = "/tmp";
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
