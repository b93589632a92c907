// The file-function set through which minizip reads an archive. The library
// hands our open function the archive's path exactly as CUnzipper passed it
// to unzOpen2_64: a null-terminated UTF-16 path (LPCWSTR), which is opened
// with CreateFileW for reading while other readers, writers and deleters keep
// their own handles. All file access therefore goes through the platform's
// file functions.
//
// Reads are served from a 64 KiB window per open archive: minizip reads the
// central directory and local headers a few bytes at a time and seeks before
// every block of entry data, so without the window every header field would
// cost a system call. Large reads bypass the window. Once a read has found
// the end of the file, reads from there on are answered without a system
// call: an archive is taken not to grow while it is read.
//
// Ownership: each open stream belongs to the minizip handle that opened it
// and is freed by the close function. One thread per stream, as minizip is.
#pragma once

#include <minizip/unzip.h>

// Fills `functions` with the set described above. The set itself is stateless
// and may be shared by any number of archives and threads.
void FillArchiveFileFunctions(zlib_filefunc64_def* functions);
