// The CRT's wide access check.
#pragma once

#include "win/types.h"

extern "C" {
// 0 when the path exists (and allows the mode: 0 existence, 2 write, 4 read,
// 6 both), else -1 with errno set. A file with the DOS read-only bit (see
// GetFileAttributesW) fails the write check with EACCES, as on Windows.
int _waccess(LPCWSTR path, int mode);
}  // extern "C"
