// Internal helpers shared by the file functions: path forms, the Win32 error
// for a missing name, FILETIME conversion, the Win32 string-return rules, and
// the DOS attribute bits kept in the extended attribute user.DOSATTRIB.
// Stateless apart from errno and the last error; any thread may call them.
#pragma once

#include <sys/stat.h>

#include <ctime>
#include <string>

#include <windows.h>

namespace arcwise_platform {

// The absolute form of a POSIX path (the current folder prepended to a
// relative one), made lexically normal; symbolic links are not resolved.
std::string AbsolutePosixPath(const std::string& posixPath);
// A caller's wide path as the file functions use it: separators turned into
// '/', then absolute and lexically normal, so "a\..\b" means "b" whether or
// not "a" exists, as Win32 path handling has it.
std::string FilePath(std::u16string_view widePath);

// The error Windows gives for a name that does not resolve: a missing last
// component is ERROR_FILE_NOT_FOUND, a missing or non-folder parent is
// ERROR_PATH_NOT_FOUND. Other errno values go through the common map.
DWORD Win32ErrorForName(int err, const std::string& posixPath);
// Sets the last error from errno with the rule above and returns it.
DWORD SetLastErrorForName(const std::string& posixPath);

// The start of every call that takes a file's name: the name in FilePath
// form, or false with ERROR_PATH_NOT_FOUND for a null or empty one, as
// Windows answers.
bool NamedFilePath(LPCWSTR name, std::string* path);
// NamedFilePath, then the status of the file (of a symbolic link itself
// unless `followLinks`); false with the last error set as
// SetLastErrorForName does when the name does not resolve.
bool StatNamedFile(LPCWSTR name, bool followLinks, std::string* path, struct stat* st);

// 100-nanosecond intervals since 1601-01-01 UTC.
FILETIME FileTimeFromTimespec(const struct timespec& ts);

// Copies text with Windows' return rules: the length without terminator on
// success, the size needed including the terminator when the buffer is short.
DWORD CopyOutString(const WString& text, LPWSTR buffer, DWORD bufferLength);

// ---- DOS attributes -------------------------------------------------------------

// The name of the extended attribute, shared with other Windows emulations.
extern const char kDosAttributeName[];
// Bits that SetFileAttributesW keeps; the others come from the file system.
constexpr DWORD kStoredDosBits = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                 FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                 FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_OFFLINE |
                                 FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// Stored bits of a path (symbolic links followed) or an open file; 0 when
// none are stored, the value does not parse, or the file system has no
// extended attributes.
DWORD ReadDosBits(const std::string& posixPath);
DWORD ReadDosBitsFd(int fd);
// Stores the bits (removing the attribute for 0). True also when the file
// system refuses extended attributes; false with errno for anything else.
bool WriteDosBits(const std::string& posixPath, DWORD bits);
bool WriteDosBitsFd(int fd, DWORD bits);

// What GetFileAttributesW reports for a file with that status and those
// stored bits.
DWORD AttributesFromStat(const struct stat& st, DWORD dosBits);

}  // namespace arcwise_platform
