// Registry values as the tool handles them (name, type, raw bytes) and their
// text forms: type names, reg.exe query output, and /d arguments of reg add.
// Pure; single-threaded tool code.
#pragma once

#include <string>

#include <windows.h>

struct RegValue {
  WString name;  // empty: the default value
  DWORD type = REG_NONE;
  std::string data;  // exactly the stored bytes
};

// "REG_SZ", ...; "0x<n>" for a type number without a name.
std::string TypeName(DWORD type);
// Accepts the names reg.exe accepts (any case).
bool TypeFromName(const std::string& name, DWORD* type);

// The DATA column of reg query: text, 0x-hex numbers, hex bytes, or the
// strings of a REG_MULTI_SZ joined by "\0".
std::string FormatForQuery(const RegValue& value);

// Builds the bytes reg add stores for `text` of `type`: strings with their
// terminator, REG_MULTI_SZ split at `separator`, REG_DWORD/REG_QWORD decimal or
// 0x-hex, REG_BINARY/REG_NONE a hex string. False with a message when the
// text does not fit the type.
bool DataFromArgument(DWORD type, const WString& text, const WString& separator, std::string* bytes,
                      std::string* error);

// The UTF-16 text in `data` up to its first terminator.
WString TextOf(const std::string& data);
