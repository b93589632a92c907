// Value functions: RegQueryValueExW, RegGetValueW, RegSetValueExW,
// RegDeleteValueW. Data is kept as the exact bytes the caller gave, under its
// type number.
#include "registry_values.h"

#include <cstdlib>
#include <cstring>

#include "registry_keys.h"

namespace arcwise_registry {

namespace {

constexpr size_t kMaxValueNameLength = 16383;

bool IsStringType(DWORD type) {
  return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// The stored type and bytes of one value of an open key.
LSTATUS ReadStoredValue(HKEY hKey, LPCWSTR lpValueName, DWORD* type, std::string* data) {
  return ReadKeyRow(
      hKey, KEY_QUERY_VALUE, "SELECT type, data FROM vals WHERE key=? AND fold=?", ERROR_FILE_NOT_FOUND,
      [&](Statement& stmt) { stmt.BindBlob(2, FoldBytes(WView(lpValueName))); },
      [&](Statement& row) {
        *type = static_cast<DWORD>(row.Int(0));
        *data = row.Blob(1);
      });
}

// Read-cache key of one value below a predefined root, tagged like a
// statement's key by an address of its own.
const char kRootValueTag[] = "value below a root";

std::string RootValueKey(HKEY root, std::u16string_view subKey, std::u16string_view valueName) {
  const char* tag = kRootValueTag;
  std::string key(reinterpret_cast<const char*>(&tag), sizeof tag);
  key.append(reinterpret_cast<const char*>(&root), sizeof root);
  key += FoldBytes(subKey);
  key.append("\0\0", 2);  // no name holds a NUL
  key += FoldBytes(valueName);
  return key;
}

// The stored type and bytes of a value below hkey\subKey. Below a predefined
// root, where the COM runtime and LoadIFilter look up every class and type,
// the outcome (found or not) is kept as one read.
LSTATUS ReadValueBelow(HKEY hkey, LPCWSTR lpSubKey, LPCWSTR lpValue, REGSAM access, DWORD* type,
                       std::string* data) {
  auto read = [&](DWORD* readType, std::string* readData) -> LSTATUS {
    HKEY subkey = nullptr;
    LSTATUS status = RegOpenKeyExW(hkey, lpSubKey, 0, access, &subkey);
    if (status != ERROR_SUCCESS) return status;
    status = ReadStoredValue(subkey, lpValue, readType, readData);
    RegCloseKey(subkey);
    return status;
  };
  KeyRef root;
  if (ResolveKey(hkey, &root) != ERROR_SUCCESS || !root.predefined) return read(type, data);
  Database& db = *root.db;
  ReadScope scope(db);
  if (ReadScope::CachingScopeOf(db) != &scope) return read(type, data);
  std::shared_ptr<const CachedRows> rows;
  const LSTATUS status = ReadKeptOutcome(
      db, scope, RootValueKey(hkey, WView(lpSubKey), WView(lpValue)),
      [&](CachedRows* out) {
        DWORD readType = 0;
        std::string readData;
        const LSTATUS found = read(&readType, &readData);
        if (found == ERROR_SUCCESS) {
          out->rows.push_back(
              {CachedCell{SQLITE_INTEGER, readType, std::string()}, CachedCell{SQLITE_BLOB, 0, std::move(readData)}});
        }
        return found;
      },
      &rows);
  if (status == ERROR_SUCCESS) {
    *type = static_cast<DWORD>(rows->rows[0][0].integer);
    *data = rows->rows[0][1].bytes;
  }
  return status;
}

// %NAME% references from the process environment; unknown names stay as
// written, as ExpandEnvironmentStrings leaves them.
WString ExpandEnvironment(std::u16string_view text) {
  WString out;
  size_t i = 0;
  while (i < text.size()) {
    size_t end = text[i] == u'%' ? text.find(u'%', i + 1) : WString::npos;
    if (end == WString::npos || end == i + 1) {
      out += text[i++];
      continue;
    }
    std::string name = Utf16ToUtf8(text.substr(i + 1, end - i - 1));
    if (const char* value = std::getenv(name.c_str())) {
      out += Utf8ToUtf16(value);
    } else {
      out.append(text.substr(i, end - i + 1));
    }
    i = end + 1;
  }
  return out;
}

// The text of string data up to its first terminator.
std::u16string_view StoredText(const std::string& data) {
  std::u16string_view text(reinterpret_cast<const char16_t*>(data.data()), data.size() / sizeof(WCHAR));
  size_t end = text.find(u'\0');
  return end == std::u16string_view::npos ? text : text.substr(0, end);
}

// String data as RegGetValueW hands it out: whole characters, ending in a
// terminator, a multi-string in two.
void TerminateString(DWORD type, std::string* data) {
  if (data->size() % sizeof(WCHAR)) data->push_back('\0');
  const size_t needed = (type == REG_MULTI_SZ ? 2 : 1) * sizeof(WCHAR);
  auto endsTerminated = [&] {
    if (data->size() < needed) return false;
    for (size_t k = data->size() - needed; k < data->size(); ++k) {
      if ((*data)[k] != '\0') return false;
    }
    return true;
  };
  while (!endsTerminated()) data->append(sizeof(WCHAR), '\0');
}

DWORD TypeBit(DWORD type) {
  switch (type) {
    case REG_NONE: return RRF_RT_REG_NONE;
    case REG_SZ: return RRF_RT_REG_SZ;
    case REG_EXPAND_SZ: return RRF_RT_REG_EXPAND_SZ;
    case REG_BINARY: return RRF_RT_REG_BINARY;
    case REG_DWORD: return RRF_RT_REG_DWORD;
    case REG_MULTI_SZ: return RRF_RT_REG_MULTI_SZ;
    case REG_QWORD: return RRF_RT_REG_QWORD;
    default: return 0;  // only RRF_RT_ANY takes other types
  }
}

// ERROR_SUCCESS when the caller's type bits take this value.
LSTATUS CheckRestriction(DWORD flags, DWORD type, size_t size) {
  const DWORD types = flags & RRF_RT_ANY;
  if (types != RRF_RT_ANY && !(types & TypeBit(type))) return ERROR_UNSUPPORTED_TYPE;
  if (type == REG_DWORD && size != 4) return ERROR_DATATYPE_MISMATCH;
  if (type == REG_QWORD && size != 8) return ERROR_DATATYPE_MISMATCH;
  if (type == REG_BINARY) {
    // Binary data stands in for a number only at the number's size.
    if (types == RRF_RT_DWORD && size != 4) return ERROR_DATATYPE_MISMATCH;
    if (types == RRF_RT_QWORD && size != 8) return ERROR_DATATYPE_MISMATCH;
    if (types == (RRF_RT_DWORD | RRF_RT_QWORD) && size != 4 && size != 8) return ERROR_DATATYPE_MISMATCH;
  }
  return ERROR_SUCCESS;
}

}  // namespace

LSTATUS CopyValueData(DWORD type, const std::string& data, LPDWORD lpType, LPBYTE lpData,
                      LPDWORD lpcbData) {
  if (lpType) *lpType = type;
  DWORD size = static_cast<DWORD>(data.size());
  if (!lpData) {
    if (lpcbData) *lpcbData = size;
    return ERROR_SUCCESS;
  }
  if (*lpcbData < size) {
    *lpcbData = size;
    return ERROR_MORE_DATA;
  }
  if (size) std::memcpy(lpData, data.data(), size);
  bool terminated = size >= sizeof(WCHAR) && data[size - 1] == 0 && data[size - 2] == 0;
  if (IsStringType(type) && !terminated && *lpcbData >= size + sizeof(WCHAR)) {
    lpData[size] = 0;
    lpData[size + 1] = 0;
  }
  *lpcbData = size;
  return ERROR_SUCCESS;
}

}  // namespace arcwise_registry

using namespace arcwise_registry;

LSTATUS RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                         LPBYTE lpData, LPDWORD lpcbData) {
  if (lpReserved || (lpData && !lpcbData)) return ERROR_INVALID_PARAMETER;
  DWORD type = 0;
  std::string data;
  LSTATUS status = ReadStoredValue(hKey, lpValueName, &type, &data);
  if (status != ERROR_SUCCESS) return status;
  return CopyValueData(type, data, lpType, lpData, lpcbData);
}

LSTATUS RegGetValueW(HKEY hkey, LPCWSTR lpSubKey, LPCWSTR lpValue, DWORD dwFlags, LPDWORD pdwType,
                     PVOID pvData, LPDWORD pcbData) {
  const DWORD types = dwFlags & RRF_RT_ANY;
  if ((pvData && !pcbData) || types == 0) return ERROR_INVALID_PARAMETER;
  // Expanded text is REG_SZ, so a request for unexpanded text must say so.
  if ((types & RRF_RT_REG_EXPAND_SZ) && !(dwFlags & RRF_NOEXPAND) && types != RRF_RT_ANY)
    return ERROR_INVALID_PARAMETER;
  const DWORD room = pvData ? *pcbData : 0;
  auto fail = [&](LSTATUS status) {
    if (status != ERROR_SUCCESS && (dwFlags & RRF_ZEROONFAILURE) && pvData && room)
      std::memset(pvData, 0, room);
    return status;
  };

  DWORD type = 0;
  std::string data;
  LSTATUS status;
  if (lpSubKey && *lpSubKey) {
    REGSAM access = KEY_QUERY_VALUE;
    if (dwFlags & RRF_SUBKEY_WOW6464KEY) access |= KEY_WOW64_64KEY;
    if (dwFlags & RRF_SUBKEY_WOW6432KEY) access |= KEY_WOW64_32KEY;
    status = ReadValueBelow(hkey, lpSubKey, lpValue, access, &type, &data);
  } else {
    status = ReadStoredValue(hkey, lpValue, &type, &data);
  }
  if (status != ERROR_SUCCESS) return fail(status);

  if (type == REG_EXPAND_SZ && !(dwFlags & RRF_NOEXPAND)) {
    const WString expanded = ExpandEnvironment(StoredText(data));
    data.assign(reinterpret_cast<const char*>(expanded.c_str()), (expanded.size() + 1) * sizeof(WCHAR));
    type = REG_SZ;
  }
  if (IsStringType(type)) TerminateString(type, &data);
  status = CheckRestriction(dwFlags, type, data.size());
  if (status != ERROR_SUCCESS) return fail(status);

  // The data now ends as RegGetValueW promises, so the copy adds nothing.
  return fail(CopyValueData(type, data, pdwType, static_cast<LPBYTE>(pvData), pcbData));
}

LSTATUS RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD Reserved, DWORD dwType,
                       const BYTE* lpData, DWORD cbData) {
  (void)Reserved;
  if (!lpData && cbData) return ERROR_NOACCESS;  // what Windows answers for this
  std::u16string_view name = WView(lpValueName);
  if (name.size() > kMaxValueNameLength) return ERROR_INVALID_PARAMETER;
  return WriteOpenKey(hKey, KEY_SET_VALUE, [&](Database& db, KeyId id) -> LSTATUS {
    // A rewrite keeps the row, so the value keeps its place in enumeration
    // and the case of its first name.
    Statement stmt(db,
                   "INSERT INTO vals(key, name, fold, type, data) VALUES(?,?,?,?,?) "
                   "ON CONFLICT(key, fold) DO UPDATE SET type=excluded.type, data=excluded.data");
    stmt.Bind(1, id);
    stmt.BindBlob(2, NameBytes(name));
    stmt.BindBlob(3, FoldBytes(name));
    stmt.Bind(4, dwType);
    stmt.BindBlob(5, lpData, cbData);
    const int rc = stmt.Step();
    return rc == SQLITE_DONE ? ERROR_SUCCESS : ErrorFromSqlite(rc);
  });
}

LSTATUS RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName) {
  return WriteOpenKey(hKey, KEY_SET_VALUE, [&](Database& db, KeyId id) -> LSTATUS {
    Statement stmt(db, "DELETE FROM vals WHERE key=? AND fold=?");
    stmt.Bind(1, id);
    stmt.BindBlob(2, FoldBytes(WView(lpValueName)));
    const int rc = stmt.Step();
    if (rc != SQLITE_DONE) return ErrorFromSqlite(rc);
    return sqlite3_changes(db.Connection()) == 0 ? ERROR_FILE_NOT_FOUND : ERROR_SUCCESS;
  });
}
