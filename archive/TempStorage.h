// Temporary storage in the working folder: unique folders and file names,
// recursive emptying of a folder, and the not-content-indexed mark. Free
// functions without state or locks; any thread may call them. Whoever
// receives a created folder or name owns it on disk and deletes it.
// Paths are wide strings joined with backslashes.
#pragma once

#include "compat/Win32Compat.h"

// Makes a new, empty folder in tempPath named by the platform's temporary-name
// service (the first three characters of prefix, hex digits, ".TMP"), marked
// not content indexed, and stores its full path in dir. On failure logs one
// level-1 line, leaves dir unchanged and returns false.
bool CreateTempDirectory(LPCWSTR tempPath, LPCWSTR prefix, WString& dir);

// Reserves a unique name "qmk<hex>.<extension>" in folder and stores the full
// name in fileName (extension null: the service's ".TMP" is kept). No file of
// that name exists afterwards: the caller creates it. On failure logs one
// level-1 line and returns false.
bool CreateTempFile(const WString& folder, WString& fileName, LPCWSTR extension);

// Deletes everything inside dir (a folder path without trailing separator):
// sub-folders depth-first, then the files of each level. Goes on after every
// failure and logs each file it cannot delete; true only when everything went.
// A folder that cannot be searched counts as empty. dir itself stays.
bool DeleteDirectoryContent(const WString& dir);

// Adds FILE_ATTRIBUTE_NOT_CONTENT_INDEXED to path's attributes; does nothing
// when it is set already or the attributes cannot be read. Never fails visibly.
void MarkNotContentIndexed(LPCWSTR path);
