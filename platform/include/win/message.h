// FormatMessageW for system messages: the text Windows gives for a Win32
// error code or an HRESULT, from one table kept in the platform library, so
// that every program on this platform names a code in the same words.
// Only FORMAT_MESSAGE_FROM_SYSTEM is served (the table's texts have no
// inserts, so FORMAT_MESSAGE_IGNORE_INSERTS changes nothing); the text ends
// in "\r\n" as Windows' do, unless FORMAT_MESSAGE_MAX_WIDTH_MASK asks for one
// line without a break. A code the table does not know gives 0 and
// ERROR_MR_MID_NOT_FOUND. Stateless; any thread may call it.
#pragma once

#include <cstdarg>

#include "win/locale.h"
#include "win/types.h"

typedef HANDLE HLOCAL;

#define FORMAT_MESSAGE_ALLOCATE_BUFFER 0x00000100
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200
#define FORMAT_MESSAGE_FROM_STRING 0x00000400
#define FORMAT_MESSAGE_FROM_HMODULE 0x00000800
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000
#define FORMAT_MESSAGE_ARGUMENT_ARRAY 0x00002000
#define FORMAT_MESSAGE_MAX_WIDTH_MASK 0x000000FF

#define LANG_ENGLISH 0x09

extern "C" {
// Writes the message of dwMessageId into lpBuffer (nSize characters), or with
// FORMAT_MESSAGE_ALLOCATE_BUFFER into a buffer it allocates and stores in
// *(LPWSTR*)lpBuffer, to be freed with LocalFree. Returns the characters
// written without the terminator; 0 with GetLastError on failure
// (ERROR_INSUFFICIENT_BUFFER, ERROR_RESOURCE_LANG_NOT_FOUND for a language
// other than neutral or English, ERROR_INVALID_PARAMETER for a source other
// than the system).
DWORD FormatMessageW(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId, DWORD dwLanguageId, LPWSTR lpBuffer,
                     DWORD nSize, va_list* Arguments);
// Frees what FormatMessageW allocated; null on success, as on Windows.
HLOCAL LocalFree(HLOCAL hMem);
}  // extern "C"
