// Folder search: FindFirstFileW / FindNextFileW / FindClose over a POSIX
// folder stream, matching the last path component case-insensitively with
// '*' and '?' as Windows does ("*.*" is every name). "." and ".." come first,
// as NTFS lists them. Names longer than MAX_PATH - 1 UTF-16 units cannot be
// represented in WIN32_FIND_DATAW (Windows never has them) and are skipped.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "files_common.h"
#include "files_handles.h"
#include "posix_util.h"

namespace {

using arcwise_platform::HandleObject;

class FindObject : public HandleObject {
 public:
  FindObject() : HandleObject(Kind::Find) {}
  ~FindObject() override {
    if (dir) closedir(dir);
  }

  DIR* dir = nullptr;
  std::string folder;   // POSIX folder path
  WString pattern;      // case-folded
  int stage = 0;        // 0: ".", 1: "..", 2: the folder stream
};

// Both sides already case-folded. Classic two-pointer matcher with one
// backtrack point per '*'.
bool MatchWildcard(std::u16string_view pattern, std::u16string_view name) {
  size_t p = 0, n = 0, starP = std::u16string_view::npos, starN = 0;
  while (n < name.size()) {
    // A '*' in the pattern is always the wildcard, also where the name has a
    // '*' of its own at that place.
    if (p < pattern.size() && pattern[p] == u'*') {
      starP = p++;
      starN = n;
    } else if (p < pattern.size() && (pattern[p] == u'?' || pattern[p] == name[n])) {
      ++p;
      ++n;
    } else if (starP != std::u16string_view::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == u'*') ++p;
  return p == pattern.size();
}

bool Matches(const FindObject& find, const WString& name) {
  return MatchWildcard(find.pattern, FoldCase(name));
}

// Fills the record for one entry; false when the entry cannot be described
// (vanished since it was listed, or a name too long for the record).
bool Describe(const FindObject& find, const char* name, const WString& wideName, WIN32_FIND_DATAW* data) {
  if (wideName.size() >= MAX_PATH) return false;
  struct stat st;
  int dirFd = dirfd(find.dir);
  if (fstatat(dirFd, name, &st, 0) != 0 && fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return false;
  std::string full = find.folder == "/" ? "/" + std::string(name) : find.folder + "/" + name;
  memset(data, 0, sizeof *data);
  data->dwFileAttributes = arcwise_platform::AttributesFromStat(st, arcwise_platform::ReadDosBits(full));
  // POSIX keeps no creation time in struct stat; the last change of content
  // is the closest stable stand-in.
  data->ftCreationTime = arcwise_platform::FileTimeFromTimespec(st.st_mtim);
  data->ftLastAccessTime = arcwise_platform::FileTimeFromTimespec(st.st_atim);
  data->ftLastWriteTime = arcwise_platform::FileTimeFromTimespec(st.st_mtim);
  if (!S_ISDIR(st.st_mode)) {
    auto size = static_cast<unsigned long long>(st.st_size);
    data->nFileSizeHigh = static_cast<DWORD>(size >> 32);
    data->nFileSizeLow = static_cast<DWORD>(size & 0xFFFFFFFFu);
  }
  wideName.copy(data->cFileName, wideName.size());
  data->cFileName[wideName.size()] = u'\0';
  return true;
}

// Advances to the next matching entry; false at the end.
bool Next(FindObject& find, WIN32_FIND_DATAW* data) {
  while (find.stage < 2) {
    const char* name = find.stage == 0 ? "." : "..";
    ++find.stage;
    WString wideName = Utf8ToUtf16(name);
    if (Matches(find, wideName) && Describe(find, name, wideName, data)) return true;
  }
  for (;;) {
    errno = 0;
    struct dirent* entry = readdir(find.dir);
    if (!entry) return false;
    if (strcmp(entry->d_name, ".") == 0 || strcmp(entry->d_name, "..") == 0) continue;
    WString wideName = Utf8ToUtf16(entry->d_name);
    if (Matches(find, wideName) && Describe(find, entry->d_name, wideName, data)) return true;
  }
}

}  // namespace

HANDLE FindFirstFileW(LPCWSTR lpFileName, LPWIN32_FIND_DATAW lpFindFileData) {
  if (!lpFileName || !*lpFileName || !lpFindFileData) {
    SetLastError(lpFindFileData ? ERROR_PATH_NOT_FOUND : ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  std::u16string_view whole(lpFileName);
  size_t separator = whole.find_last_of(u"\\/");
  std::u16string_view namePattern = separator == std::u16string_view::npos ? whole : whole.substr(separator + 1);
  std::string folder;
  if (separator == std::u16string_view::npos) {
    folder = ".";
  } else if (separator == 0) {
    folder = "/";
  } else {
    folder = arcwise_platform::FilePath(whole.substr(0, separator));
  }
  if (namePattern.empty()) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }

  auto find = std::make_shared<FindObject>();
  find->folder = folder;
  find->pattern = namePattern == u"*.*" ? WString(u"*") : FoldCase(namePattern);
  find->dir = opendir(folder.c_str());
  if (!find->dir) {
    int err = errno;
    struct stat st;
    if (err == ENOTDIR || (err == ENOENT && stat(folder.c_str(), &st) == 0 && !S_ISDIR(st.st_mode))) {
      SetLastError(ERROR_DIRECTORY);  // the folder part names a file
    } else if (err == ENOENT) {
      SetLastError(ERROR_PATH_NOT_FOUND);
    } else {
      SetLastError(arcwise_platform::Win32ErrorFromErrno(err));
    }
    return INVALID_HANDLE_VALUE;
  }
  if (!Next(*find, lpFindFileData)) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  HANDLE handle = arcwise_platform::RegisterHandle(std::move(find));
  SetLastError(ERROR_SUCCESS);
  return handle;
}

BOOL FindNextFileW(HANDLE hFindFile, LPWIN32_FIND_DATAW lpFindFileData) {
  auto object = arcwise_platform::LookupHandle(hFindFile, HandleObject::Kind::Find);
  if (!object) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!lpFindFileData) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!Next(static_cast<FindObject&>(*object), lpFindFileData)) {
    SetLastError(ERROR_NO_MORE_FILES);
    return FALSE;
  }
  return TRUE;
}

BOOL FindClose(HANDLE hFindFile) {
  if (!arcwise_platform::UnregisterHandle(hFindFile, true)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}
