// Files and folders: handles, temporary names, folder search and attributes.
// Paths may use '\' or '/' as separator; the platform translates at the
// system-call boundary, resolving "." and ".." on the name as Win32 does
// (symbolic links are followed only by the file system). Share modes are
// honoured between the handles of this process (a table of open files by
// device and inode); other processes are not held back: POSIX has no
// mandatory share modes, and advisory locks would only stop cooperating
// processes while misreporting this process's own opens. A HANDLE is owned by
// its opener and closed with CloseHandle (find handles with FindClose); any
// thread may use the functions, one thread at a time per handle. Invalid,
// closed or null handles fail with ERROR_INVALID_HANDLE.
#pragma once

#include "win/types.h"

#define INVALID_HANDLE_VALUE ((HANDLE)(LONG_PTR)-1)
#define INVALID_FILE_ATTRIBUTES ((DWORD)-1)
#define INVALID_FILE_SIZE ((DWORD)0xFFFFFFFF)
#define INVALID_SET_FILE_POINTER ((DWORD)-1)

#define GENERIC_READ 0x80000000L
#define GENERIC_WRITE 0x40000000L
#define GENERIC_EXECUTE 0x20000000L
#define GENERIC_ALL 0x10000000L
#define FILE_READ_DATA 0x0001
#define FILE_WRITE_DATA 0x0002
#define FILE_APPEND_DATA 0x0004

#define FILE_SHARE_READ 0x00000001
#define FILE_SHARE_WRITE 0x00000002
#define FILE_SHARE_DELETE 0x00000004

#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#define TRUNCATE_EXISTING 5

#define FILE_ATTRIBUTE_READONLY 0x00000001
#define FILE_ATTRIBUTE_HIDDEN 0x00000002
#define FILE_ATTRIBUTE_SYSTEM 0x00000004
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010
#define FILE_ATTRIBUTE_ARCHIVE 0x00000020
#define FILE_ATTRIBUTE_DEVICE 0x00000040
#define FILE_ATTRIBUTE_NORMAL 0x00000080
#define FILE_ATTRIBUTE_TEMPORARY 0x00000100
#define FILE_ATTRIBUTE_SPARSE_FILE 0x00000200
#define FILE_ATTRIBUTE_REPARSE_POINT 0x00000400
#define FILE_ATTRIBUTE_COMPRESSED 0x00000800
#define FILE_ATTRIBUTE_OFFLINE 0x00001000
#define FILE_ATTRIBUTE_NOT_CONTENT_INDEXED 0x00002000
#define FILE_ATTRIBUTE_ENCRYPTED 0x00004000

#define FILE_FLAG_DELETE_ON_CLOSE 0x04000000
#define FILE_FLAG_SEQUENTIAL_SCAN 0x08000000
#define FILE_FLAG_RANDOM_ACCESS 0x10000000

#define MOVEFILE_REPLACE_EXISTING 0x00000001

#define LOCKFILE_FAIL_IMMEDIATELY 0x00000001
#define LOCKFILE_EXCLUSIVE_LOCK 0x00000002

// Only Offset and OffsetHigh are read (the start of a locked range).
typedef struct _OVERLAPPED {
  ULONG_PTR Internal;
  ULONG_PTR InternalHigh;
  DWORD Offset;
  DWORD OffsetHigh;
  HANDLE hEvent;
} OVERLAPPED, *LPOVERLAPPED;

#define FILE_BEGIN 0
#define FILE_CURRENT 1
#define FILE_END 2

// _waccess modes
#define F_OK_W 0
#define W_OK_W 2
#define R_OK_W 4

typedef struct _WIN32_FIND_DATAW {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  DWORD dwReserved0;
  DWORD dwReserved1;
  WCHAR cFileName[MAX_PATH];
  WCHAR cAlternateFileName[14];
} WIN32_FIND_DATAW, *PWIN32_FIND_DATAW, *LPWIN32_FIND_DATAW;

// ---- Temporary names --------------------------------------------------------

extern "C" {
// The temporary folder: TMPDIR when set and not empty, else the user's own
// /tmp/arcwise-<uid>, made private as ArcwiseEnsurePrivateFolder does (0 with
// ERROR_ACCESS_DENIED when it cannot be); kept with its '/' separators and
// always ending in one. Returns the length without the terminator, or the
// size needed (with terminator) when nBufferLength is too small, or 0 on
// failure.
DWORD GetTempPathW(DWORD nBufferLength, LPWSTR lpBuffer);
// With uUnique 0: lpPathName + '\' + up to three prefix characters + up to
// four hex digits + ".TMP", created exclusively (moving past names in use),
// the full name in lpTempFileName (MAX_PATH units). Returns the number used,
// or 0 with the last error set: ERROR_DIRECTORY when the folder is missing or
// not a folder, ERROR_FILE_EXISTS when all 65535 numbers are taken,
// ERROR_BUFFER_OVERFLOW for a folder name longer than MAX_PATH - 14. No
// separator is added when the folder ends in either kind. With uUnique not 0
// the name is formed from its low 16 bits and no file is made.
UINT GetTempFileNameW(LPCWSTR lpPathName, LPCWSTR lpPrefixString, UINT uUnique,
                      LPWSTR lpTempFileName);

// ---- Handles ----------------------------------------------------------------

// Rights: GENERIC_READ/WRITE or FILE_READ_DATA/WRITE_DATA/APPEND_DATA (append
// alone writes at the end). A new open fails with ERROR_SHARING_VIOLATION when
// its rights are not shared by an open handle or an open handle's rights are
// not shared by it. A file it creates is owner-only (0600), as one made in a
// user's own folder on Windows is. Dispositions as Windows, with ERROR_ALREADY_EXISTS left
// after CREATE_ALWAYS/OPEN_ALWAYS on an existing file and 0 otherwise. Folders
// cannot be opened (ERROR_ACCESS_DENIED), nor files with the DOS read-only bit
// for writing. DOS bits in dwFlagsAndAttributes are stored on files it creates
// or overwrites. FILE_FLAG_DELETE_ON_CLOSE removes the name when the file's
// last handle closes; until then only openers sharing delete get in.
HANDLE CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                   LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                   DWORD dwFlagsAndAttributes, HANDLE hTemplateFile);
BOOL ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
              LPDWORD lpNumberOfBytesRead, LPVOID lpOverlapped);
BOOL WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
               LPDWORD lpNumberOfBytesWritten, LPVOID lpOverlapped);
BOOL SetFilePointerEx(HANDLE hFile, LARGE_INTEGER liDistanceToMove,
                      PLARGE_INTEGER lpNewFilePointer, DWORD dwMoveMethod);
BOOL GetFileSizeEx(HANDLE hFile, PLARGE_INTEGER lpFileSize);
BOOL SetEndOfFile(HANDLE hFile);
BOOL FlushFileBuffers(HANDLE hFile);
// The absolute POSIX path the handle was opened by, with '/' separators and
// "."/".." resolved (the name a stream reports and that opens again); it does
// not follow later renames. Length without terminator, or the size needed
// including it, or 0. dwFlags is ignored.
DWORD GetFinalPathNameByHandleW(HANDLE hFile, LPWSTR lpszFilePath, DWORD cchFilePath,
                                DWORD dwFlags);
// Byte-range locks, held by the handle (its open file description) and
// released when it closes, also by the death of the process: they conflict
// between handles of this process as between processes. Shared locks need
// read access, exclusive ones write access (ERROR_ACCESS_DENIED otherwise).
// With LOCKFILE_FAIL_IMMEDIATELY a conflict gives ERROR_LOCK_VIOLATION, else
// the call waits. Unlike Windows the locks are advisory: they hold back other
// locks, not reads and writes.
BOOL LockFileEx(HANDLE hFile, DWORD dwFlags, DWORD dwReserved, DWORD nNumberOfBytesToLockLow,
                DWORD nNumberOfBytesToLockHigh, LPOVERLAPPED lpOverlapped);
BOOL UnlockFileEx(HANDLE hFile, DWORD dwReserved, DWORD nNumberOfBytesToUnlockLow,
                  DWORD nNumberOfBytesToUnlockHigh, LPOVERLAPPED lpOverlapped);
BOOL CloseHandle(HANDLE hObject);

// ---- Names in the file system ----------------------------------------------

// Folders and files with the DOS read-only bit give ERROR_ACCESS_DENIED; a
// file open without FILE_SHARE_DELETE gives ERROR_SHARING_VIOLATION. The name
// goes at once (POSIX has no pending deletion); handles sharing delete keep
// working on the unnamed file.
BOOL DeleteFileW(LPCWSTR lpFileName);
// The new folder is owner-only (0700); lpSecurityAttributes is ignored.
BOOL CreateDirectoryW(LPCWSTR lpPathName, LPSECURITY_ATTRIBUTES lpSecurityAttributes);
// Renames a file within its file system. Without MOVEFILE_REPLACE_EXISTING an
// existing target gives ERROR_ALREADY_EXISTS; with it the target is replaced
// in one step (never a moment without a file of that name). A source or
// target open without FILE_SHARE_DELETE gives ERROR_SHARING_VIOLATION.
BOOL MoveFileExW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName, DWORD dwFlags);
BOOL RemoveDirectoryW(LPCWSTR lpPathName);
// Wildcards '*' and '?' in the last component, matched ignoring case ("*.*"
// is every name); "." and ".." come first. Names longer than MAX_PATH - 1
// UTF-16 units do not fit the record and are skipped. No match:
// ERROR_FILE_NOT_FOUND; missing folder: ERROR_PATH_NOT_FOUND; the folder part
// names a file: ERROR_DIRECTORY. Times from the file system (creation time is
// the last write time: POSIX keeps none).
HANDLE FindFirstFileW(LPCWSTR lpFileName, LPWIN32_FIND_DATAW lpFindFileData);
BOOL FindNextFileW(HANDLE hFindFile, LPWIN32_FIND_DATAW lpFindFileData);
BOOL FindClose(HANDLE hFindFile);
// Directory bit from the file system; the DOS bits (read-only, hidden,
// not content indexed, ...) from the extended attribute user.DOSATTRIB, text
// such as "0x2000". A file with no bits reports FILE_ATTRIBUTE_NORMAL. Setting
// stores only the DOS bits (never the directory bit or NORMAL) and succeeds
// quietly where the file system refuses extended attributes.
DWORD GetFileAttributesW(LPCWSTR lpFileName);
BOOL SetFileAttributesW(LPCWSTR lpFileName, DWORD dwFileAttributes);
}  // extern "C"
// Platform extra: makes the folder at posixPath (mode 0700) or accepts it when
// it exists as a real folder of the calling user, narrowing its permissions
// to the owner. A link, a non-folder or another user's folder is refused with
// ERROR_ACCESS_DENIED and one line on the debug channel saying why. Returns
// ERROR_SUCCESS or the Win32 error.
DWORD ArcwiseEnsurePrivateFolder(const char* posixPath);
// The same path as the platform's file functions use it: separators turned
// into '/', UTF-8. Platform convenience for tools and tests.
std::string PosixPathFromWide(LPCWSTR path);
