// Text for the codes the tools print. Every message comes from the
// platform's one table (FormatMessageW), so arcwise-dump, arcwise-reg and
// arcwise-regsvr name a code in the same words; a failure of the registry
// database itself (busy, damaged) is named with the database's path and
// SQLite's reason. Thread-safe (the registry text is the calling thread's).
#pragma once

#include <string>

#include <windows.h>

// The system's message for a Win32 code or an HRESULT, on one line, without
// its final period; empty when the table does not know the code.
std::string SystemMessage(DWORD id);

// "0x80004005 (Unspecified error)"; a code outside the table gives the
// number alone, or "(Win32 error N)" for an HRESULT_FROM_WIN32 value.
std::string DescribeHResult(HRESULT hr);

// A Win32 code as a sentence: "Access is denied."; "Error N." when unknown.
std::string DescribeWin32Error(DWORD code);

// One clause for a failure of the registry database itself, e.g.
// "the registry /home/u/.config/quillmark-arcwise/registry.db is busy
// (locked by another process)" or "the registry ... is damaged: file is not
// a database"; empty for any other code (a missing key, access denied, ...).
// An HRESULT_FROM_WIN32 value counts as its Win32 code.
std::string RegistryFailureText(LONG code);

// The same for the calling thread's last failure of the registry database
// (ArcwiseRegistryLastError); empty when there was none since it was last
// cleared with ArcwiseRegistryClearLastError.
std::string LastRegistryFailureText();

// The registry database file in use, UTF-8.
std::string RegistryDatabasePath();
