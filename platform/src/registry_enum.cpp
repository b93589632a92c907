// Enumeration and key information: RegEnumKeyExW, RegEnumValueW,
// RegQueryInfoKeyW. Subkeys come sorted by their case-folded names, as
// Windows lists them; values in the order they were first written.
#include <cstring>

#include "registry_keys.h"
#include "registry_values.h"

using namespace arcwise_registry;

namespace {

void SetFileTime(PFILETIME ft, int64_t ticks) {
  if (!ft) return;
  ft->dwLowDateTime = static_cast<DWORD>(static_cast<uint64_t>(ticks) & 0xffffffffu);
  ft->dwHighDateTime = static_cast<DWORD>(static_cast<uint64_t>(ticks) >> 32);
}

// The row at `index` of `sql` (which binds the key's id as 1 and the index
// as 2) for a key opened with `access`; ERROR_NO_MORE_ITEMS past the last row.
template <typename Read>
LSTATUS ReadRowAt(HKEY hKey, REGSAM access, const char* sql, DWORD index, Read read) {
  return ReadKeyRow(
      hKey, access, sql, ERROR_NO_MORE_ITEMS, [&](Statement& stmt) { stmt.Bind(2, index); }, read);
}

}  // namespace

LSTATUS RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName,
                      LPDWORD lpReserved, LPWSTR lpClass, LPDWORD lpcchClass,
                      PFILETIME lpftLastWriteTime) {
  if (lpReserved || !lpName || !lpcchName) return ERROR_INVALID_PARAMETER;
  WString name;
  int64_t written = 0;
  const LSTATUS status = ReadRowAt(
      hKey, KEY_ENUMERATE_SUB_KEYS,
      "SELECT name, written FROM keys WHERE parent=? ORDER BY fold LIMIT 1 OFFSET ?", dwIndex,
      [&](Statement& row) {
        name = NameFromBytes(row.Blob(0));
        written = row.Int(1);
      });
  if (status != ERROR_SUCCESS) return status;
  if (name.size() >= *lpcchName) return ERROR_MORE_DATA;
  std::memcpy(lpName, name.data(), name.size() * sizeof(WCHAR));
  lpName[name.size()] = 0;
  *lpcchName = static_cast<DWORD>(name.size());
  if (lpClass && lpcchClass && *lpcchClass > 0) lpClass[0] = 0;
  if (lpcchClass) *lpcchClass = 0;
  SetFileTime(lpftLastWriteTime, written);
  return ERROR_SUCCESS;
}

LSTATUS RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName, LPDWORD lpcchValueName,
                      LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
  if (lpReserved || !lpValueName || !lpcchValueName || (lpData && !lpcbData))
    return ERROR_INVALID_PARAMETER;
  WString name;
  DWORD type = 0;
  std::string data;
  const LSTATUS status = ReadRowAt(
      hKey, KEY_QUERY_VALUE,
      "SELECT name, type, data FROM vals WHERE key=? ORDER BY id LIMIT 1 OFFSET ?", dwIndex,
      [&](Statement& row) {
        name = NameFromBytes(row.Blob(0));
        type = static_cast<DWORD>(row.Int(1));
        data = row.Blob(2);
      });
  if (status != ERROR_SUCCESS) return status;
  if (name.size() >= *lpcchValueName) {
    if (lpType) *lpType = type;
    if (lpcbData) *lpcbData = static_cast<DWORD>(data.size());
    return ERROR_MORE_DATA;
  }
  std::memcpy(lpValueName, name.data(), name.size() * sizeof(WCHAR));
  lpValueName[name.size()] = 0;
  *lpcchValueName = static_cast<DWORD>(name.size());
  return CopyValueData(type, data, lpType, lpData, lpcbData);
}

LSTATUS RegQueryInfoKeyW(HKEY hKey, LPWSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved,
                         LPDWORD lpcSubKeys, LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen,
                         LPDWORD lpcValues, LPDWORD lpcbMaxValueNameLen,
                         LPDWORD lpcbMaxValueLen, LPDWORD lpcbSecurityDescriptor,
                         PFILETIME lpftLastWriteTime) {
  if (lpReserved) return ERROR_INVALID_PARAMETER;
  int64_t subKeys = 0, maxSubKey = 0, values = 0, maxValueName = 0, maxValueData = 0, written = 0;
  const LSTATUS status = ReadOpenKey(hKey, KEY_QUERY_VALUE, [&](Database& db, KeyId id) -> LSTATUS {
    if (!db.Connection()) return ERROR_SUCCESS;  // no database: an empty key
    Statement keys(db, "SELECT count(*), coalesce(max(length(name)), 0) FROM keys WHERE parent=?");
    keys.Bind(1, id);
    int rc = keys.Step();
    if (rc != SQLITE_ROW) return ErrorFromSqlite(rc);
    subKeys = keys.Int(0);
    maxSubKey = keys.Int(1) / 2;
    Statement vals(db,
                   "SELECT count(*), coalesce(max(length(name)), 0), "
                   "coalesce(max(length(data)), 0) FROM vals WHERE key=?");
    vals.Bind(1, id);
    rc = vals.Step();
    if (rc != SQLITE_ROW) return ErrorFromSqlite(rc);
    values = vals.Int(0);
    maxValueName = vals.Int(1) / 2;
    maxValueData = vals.Int(2);
    Statement self(db, "SELECT written FROM keys WHERE id=?");
    self.Bind(1, id);
    if (self.Step() == SQLITE_ROW) written = self.Int(0);
    return ERROR_SUCCESS;
  });
  if (status != ERROR_SUCCESS) return status;
  if (lpClass && lpcchClass && *lpcchClass > 0) lpClass[0] = 0;
  if (lpcchClass) *lpcchClass = 0;
  if (lpcSubKeys) *lpcSubKeys = static_cast<DWORD>(subKeys);
  if (lpcbMaxSubKeyLen) *lpcbMaxSubKeyLen = static_cast<DWORD>(maxSubKey);
  if (lpcbMaxClassLen) *lpcbMaxClassLen = 0;
  if (lpcValues) *lpcValues = static_cast<DWORD>(values);
  if (lpcbMaxValueNameLen) *lpcbMaxValueNameLen = static_cast<DWORD>(maxValueName);
  if (lpcbMaxValueLen) *lpcbMaxValueLen = static_cast<DWORD>(maxValueData);
  if (lpcbSecurityDescriptor) *lpcbSecurityDescriptor = 0;
  SetFileTime(lpftLastWriteTime, written);
  return ERROR_SUCCESS;
}
