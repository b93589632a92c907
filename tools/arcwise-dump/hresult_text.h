// Messages for the result codes arcwise-dump reports, the way FormatMessage
// gives them on Windows: a fixed table of the codes a filter, the COM runtime,
// structured storage and the file system hand back. Thread-safe (read-only).
#pragma once

#include <string>

#include <windows.h>

// "0x80004005 (Unspecified error)"; codes outside the table give the
// number alone, or the Win32 code for HRESULT_FROM_WIN32 values.
std::string DescribeHResult(HRESULT hr);
// The message of the table, or null.
const char* HResultMessage(HRESULT hr);
