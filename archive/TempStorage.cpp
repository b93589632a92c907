#include "archive/TempStorage.h"

#include <vector>

#include "diagnostics/Debugger.h"

namespace {

const WCHAR kLockSuffix[] = W(".lock");
constexpr size_t kLockSuffixLength = sizeof(kLockSuffix) / sizeof(kLockSuffix[0]) - 1;
// Each lost race against a sweep costs one name; a sweep takes a lock file
// only once, so a few tries always suffice.
constexpr int kClaimAttempts = 8;

// The locked byte lies far beyond any data: Windows' locks are mandatory, and
// the copy of a stream is written through another handle while claimed.
OVERLAPPED LockPosition() {
  OVERLAPPED position = {};
  position.OffsetHigh = 0x40000000;
  return position;
}

bool StartsWithIgnoringCase(const WString& text, LPCWSTR prefix) {
  const size_t length = static_cast<size_t>(lstrlenW(prefix));
  return text.size() >= length && _wcsnicmp(text.c_str(), prefix, length) == 0;
}

bool EndsWithIgnoringCase(const WString& text, LPCWSTR suffix) {
  const size_t length = static_cast<size_t>(lstrlenW(suffix));
  return text.size() >= length && _wcsnicmp(text.c_str() + text.size() - length, suffix, length) == 0;
}

// Removes one item whose lock file nobody holds. The sweep's own exclusive
// lock is held throughout, so a process that is just creating the item (and
// takes its shared lock next) fails its claim rather than lose its files.
void RemoveStaleItem(const WString& lockPath) {
  HANDLE lock = CreateFileW(lockPath.c_str(), GENERIC_READ | GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (lock == INVALID_HANDLE_VALUE) return;
  OVERLAPPED position = LockPosition();
  if (!LockFileEx(lock, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &position)) {
    CloseHandle(lock);  // a live claim
    return;
  }
  const WString item = lockPath.substr(0, lockPath.size() - kLockSuffixLength);
  const DWORD attributes = GetFileAttributesW(item.c_str());
  bool removed = true;
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    removed = DeleteDirectoryContent(item) && RemoveDirectoryW(item.c_str());
  } else if (attributes != INVALID_FILE_ATTRIBUTES) {
    removed = DeleteFileW(item.c_str()) != FALSE;
  }
  // A lock file goes only with its item, so what is left is tried again by
  // the next sweep.
  if (removed) DeleteFileW(lockPath.c_str());
  UnlockFileEx(lock, 0, 1, 0, &position);
  CloseHandle(lock);
  g_debugger.Print(1, removed ? W("INFO: removed %s, left by a process that has ended \n")
                              : W("ERROR: cannot remove %s, left by a process that has ended \n"),
                   item.c_str());
}

bool IsDotEntry(LPCWSTR name) {
  return (name[0] == W('.') && name[1] == 0) || (name[0] == W('.') && name[1] == W('.') && name[2] == 0);
}

}  // namespace

bool ReserveClaimedTempName(LPCWSTR folder, LPCWSTR prefix, WCHAR (&name)[MAX_PATH], TempClaim& claim,
                            LPCWSTR* error) {
  claim.Release();
  for (int attempt = 0; attempt < kClaimAttempts; ++attempt) {
    if (GetTempFileNameW(folder, prefix ? prefix : W(""), 0, name) == 0) {
      *error = W("Error getting temp file name");
      return false;
    }
    // Another process's sweep may take the new lock file for a leftover in
    // the moment before it is locked, and remove it with the reserved name:
    // that name is lost, not the work, so a fresh one is reserved.
    bool claimed = false;
    try {
      claimed = claim.Claim(name);
    } catch (...) {
      DeleteFileW(name);
      throw;
    }
    if (claimed && GetFileAttributesW(name) != INVALID_FILE_ATTRIBUTES) return true;
    const DWORD lost = GetLastError();
    claim.Release();
    DeleteFileW(name);
    SetLastError(lost);
  }
  *error = W("Error locking temp name");
  return false;
}

bool CreateTempDirectory(LPCWSTR tempPath, LPCWSTR prefix, WString& dir, TempClaim& claim) {
  claim.Release();
  WCHAR name[MAX_PATH] = {};
  LPCWSTR error = nullptr;
  if (!tempPath || !*tempPath) {
    error = W("tempPath parameter is not defined");
  } else if (!ReserveClaimedTempName(tempPath, prefix, name, claim, &error)) {
    // error says why
  } else if (!DeleteFileW(name)) {
    error = W("Error deleting auto generated temp file");
  } else if (!CreateDirectoryW(name, nullptr)) {
    // Someone took the name between the delete and the create; no retry.
    error = W("Error creating temp directory");
  } else {
    MarkNotContentIndexed(name);
  }

  if (error) {
    claim.Release();
    g_debugger.Print(1, W("ERROR: CreateTempDirectory() failed for %s. Error descr: = %s \n"),
                     tempPath, error);
    return false;
  }
  try {
    dir = name;
  } catch (...) {
    RemoveDirectoryW(name);
    claim.Release();
    throw;
  }
  return true;
}

bool DeleteDirectoryContent(const WString& dir) {
  std::vector<WString> folders;
  std::vector<WString> files;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((dir + W("\\*.*")).c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      // cFileName is a fixed array: never trust it to be terminated.
      found.cFileName[MAX_PATH - 1] = 0;
      if (IsDotEntry(found.cFileName)) continue;
      WString path = dir + W("\\") + found.cFileName;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        folders.push_back(std::move(path));
      } else {
        files.push_back(std::move(path));
      }
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }

  bool result = true;
  for (const WString& folder : folders) {
    if (!DeleteDirectoryContent(folder)) result = false;
    if (!RemoveDirectoryW(folder.c_str())) result = false;
  }
  for (const WString& file : files) {
    if (!DeleteFileW(file.c_str())) {
      g_debugger.Print(1, W("ERROR: DeleteDirectoryContent->DeleteFile failed for %s \n"),
                       file.c_str());
      result = false;
    }
  }
  return result;
}

TempClaim::TempClaim(TempClaim&& other) noexcept
    : m_lockPath(std::move(other.m_lockPath)), m_file(other.m_file) {
  other.m_file = INVALID_HANDLE_VALUE;
}

TempClaim& TempClaim::operator=(TempClaim&& other) noexcept {
  if (this != &other) {
    Release();
    m_lockPath = std::move(other.m_lockPath);
    m_file = other.m_file;
    other.m_file = INVALID_HANDLE_VALUE;
  }
  return *this;
}

bool TempClaim::Claim(const WString& item) {
  Release();
  m_lockPath = item + kLockSuffix;
  // The item's name is reserved already, so a lock file of that name can only
  // be one a crashed process left after removing its item: it is taken over.
  m_file = CreateFileW(m_lockPath.c_str(), GENERIC_READ,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                       FILE_ATTRIBUTE_NOT_CONTENT_INDEXED, nullptr);
  if (m_file == INVALID_HANDLE_VALUE) return false;
  OVERLAPPED position = LockPosition();
  const bool locked = LockFileEx(m_file, LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &position) != FALSE;
  const DWORD error = locked ? ERROR_SUCCESS : GetLastError();
  // A sweep that found the file in the moment before the lock has removed
  // it (or holds it and will): the claim is lost.
  if (!locked || GetFileAttributesW(m_lockPath.c_str()) == INVALID_FILE_ATTRIBUTES) {
    CloseHandle(m_file);
    m_file = INVALID_HANDLE_VALUE;
    m_lockPath.clear();
    SetLastError(locked ? ERROR_FILE_NOT_FOUND : error);
    return false;
  }
  return true;
}

void TempClaim::Release() {
  if (m_file == INVALID_HANDLE_VALUE) return;
  // Deleted while still locked: a sweep never sees the file unlocked and
  // takes it for a leftover.
  DeleteFileW(m_lockPath.c_str());
  OVERLAPPED position = LockPosition();
  UnlockFileEx(m_file, 0, 1, 0, &position);
  CloseHandle(m_file);
  m_file = INVALID_HANDLE_VALUE;
  m_lockPath.clear();
}

void SweepStaleTempItems(const WString& folder) {
  if (folder.empty()) return;
  std::vector<WString> locks;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((folder + W("*.TMP") + kLockSuffix).c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    found.cFileName[MAX_PATH - 1] = 0;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    const WString name = found.cFileName;
    if (!StartsWithIgnoringCase(name, W("aw")) && !StartsWithIgnoringCase(name, W("qmk"))) continue;
    if (!EndsWithIgnoringCase(name, W(".TMP.lock"))) continue;
    locks.push_back(folder + name);
  } while (FindNextFileW(search, &found));
  FindClose(search);
  for (const WString& lock : locks) RemoveStaleItem(lock);
}

void MarkNotContentIndexed(LPCWSTR path) {
  if (!path) return;
  const DWORD attributes = GetFileAttributesW(path);
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_NOT_CONTENT_INDEXED)) {
    return;
  }
  SetFileAttributesW(path, attributes | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
}
