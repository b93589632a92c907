// Entry names of ZIP archives as the module sees them: decoding the raw name
// bytes of the central directory into UTF-16, and turning an entry path into
// a relative path that is safe to create below an extraction folder.
// Pure functions without state; any thread may call them.
#pragma once

#include <string_view>

#include "compat/Win32Compat.h"

// General-purpose bit 11 of a ZIP entry: its name and comment are UTF-8.
constexpr DWORD kZipFlagUtf8Names = 0x0800;
// General-purpose bit 0: the entry's data is encrypted.
constexpr DWORD kZipFlagEncrypted = 0x0001;

// Decodes name or comment bytes: UTF-8 when `flags` has bit 11, otherwise in
// the ANSI code page that GetACP answers at the moment of the call. Every
// byte is decoded (an embedded zero byte becomes U+0000; nothing is cut).
// False when the code page cannot decode the bytes.
bool DecodeEntryText(std::string_view bytes, DWORD flags, WString& text);

// The name that an Info-ZIP Unicode Path extra field (header 0x7075) among
// `extraFields` gives the entry whose header name is `headerName`: true, with
// the UTF-8 name decoded into `name`, only when the field is version 1, its
// CRC-32 is that of `headerName` (a tool that renamed the entry without
// knowing the field leaves a stale one, which is ignored) and its name is
// well-formed UTF-8. Otherwise false, and `name` is left as it was.
bool DecodeUnicodePathField(std::string_view extraFields, std::string_view headerName, WString& name);

// The relative path below the extraction folder at which an entry named
// `entryPath` (backslash separators, as decoded) may be written. The rule:
//   - the path is split at '\' (and at '/', should one remain);
//   - a drive designator at the very start ("C:", as in "C:\x" or "C:x") is
//     removed;
//   - every component that is empty (leading, doubled or trailing
//     separators, so absolute and UNC paths become relative) or consists
//     only of dots and spaces (".", "..", "...", ". .") is removed; ".." is
//     thus never followed upwards;
//   - the remaining components are joined with '\'.
// The result is empty when nothing remains, and also when the path contains
// U+0000 (such a name would be written under a shorter one): such an entry
// cannot be written. Components are never shortened; one longer than the file
// system allows makes that entry's extraction fail.
WString MakeSafeRelativePath(WStringView entryPath);

// The last component of a relative path built by MakeSafeRelativePath (the
// whole path when it has no '\').
WStringView LastPathComponent(WStringView path);

// The decimal digits of value, for the names made for entries (flat paths,
// partial files) and the lines that report on them.
WString DecimalText(ULONGLONG value);
