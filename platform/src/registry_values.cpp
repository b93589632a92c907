// Value functions: RegQueryValueExW, RegSetValueExW, RegDeleteValueW.
// Data is kept as the exact bytes the caller gave, under its type number.
#include "registry_values.h"

#include <cstring>

#include "registry_keys.h"

namespace arcwise_registry {

namespace {

constexpr size_t kMaxValueNameLength = 16383;

bool IsStringType(DWORD type) {
  return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
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
  KeyRef key;
  LSTATUS status = ResolveKey(hKey, &key);
  if (status != ERROR_SUCCESS) return status;
  if (CheckAccess(key, KEY_QUERY_VALUE) != ERROR_SUCCESS) return ERROR_ACCESS_DENIED;
  Database& db = *key.db;
  DWORD type = 0;
  std::string data;
  {
    ReadScope scope(db);
    status = CheckKeyExists(db, key.id);
    if (status != ERROR_SUCCESS) return status;
    if (!db.Connection()) return ERROR_FILE_NOT_FOUND;
    Statement stmt(db, "SELECT type, data FROM vals WHERE key=? AND fold=?");
    stmt.Bind(1, key.id);
    stmt.BindBlob(2, FoldBytes(WView(lpValueName)));
    int rc = stmt.Step();
    if (rc == SQLITE_DONE) return ERROR_FILE_NOT_FOUND;
    if (rc != SQLITE_ROW) return ErrorFromSqlite(rc);
    type = static_cast<DWORD>(stmt.Int(0));
    data = stmt.Blob(1);
  }
  return CopyValueData(type, data, lpType, lpData, lpcbData);
}

LSTATUS RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD Reserved, DWORD dwType,
                       const BYTE* lpData, DWORD cbData) {
  (void)Reserved;
  if (!lpData && cbData) return ERROR_NOACCESS;  // what Windows answers for this
  std::u16string_view name = WView(lpValueName);
  if (name.size() > kMaxValueNameLength) return ERROR_INVALID_PARAMETER;
  KeyRef key;
  LSTATUS status = ResolveKey(hKey, &key);
  if (status != ERROR_SUCCESS) return status;
  if (CheckAccess(key, KEY_SET_VALUE) != ERROR_SUCCESS) return ERROR_ACCESS_DENIED;
  Database& db = *key.db;
  WriteScope scope(db);
  if (scope.Status() != ERROR_SUCCESS) return scope.Status();
  status = CheckKeyExists(db, key.id);
  if (status != ERROR_SUCCESS) return status;
  {
    // A rewrite keeps the row, so the value keeps its place in enumeration
    // and the case of its first name.
    Statement stmt(db,
                   "INSERT INTO vals(key, name, fold, type, data) VALUES(?,?,?,?,?) "
                   "ON CONFLICT(key, fold) DO UPDATE SET type=excluded.type, data=excluded.data");
    stmt.Bind(1, key.id);
    stmt.BindBlob(2, NameBytes(name));
    stmt.BindBlob(3, FoldBytes(name));
    stmt.Bind(4, dwType);
    stmt.BindBlob(5, lpData, cbData);
    int rc = stmt.Step();
    if (rc != SQLITE_DONE) return ErrorFromSqlite(rc);
  }
  status = TouchKey(db, key.id);
  if (status != ERROR_SUCCESS) return status;
  return scope.Commit();
}

LSTATUS RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName) {
  KeyRef key;
  LSTATUS status = ResolveKey(hKey, &key);
  if (status != ERROR_SUCCESS) return status;
  if (CheckAccess(key, KEY_SET_VALUE) != ERROR_SUCCESS) return ERROR_ACCESS_DENIED;
  Database& db = *key.db;
  WriteScope scope(db);
  if (scope.Status() != ERROR_SUCCESS) return scope.Status();
  status = CheckKeyExists(db, key.id);
  if (status != ERROR_SUCCESS) return status;
  {
    Statement stmt(db, "DELETE FROM vals WHERE key=? AND fold=?");
    stmt.Bind(1, key.id);
    stmt.BindBlob(2, FoldBytes(WView(lpValueName)));
    int rc = stmt.Step();
    if (rc != SQLITE_DONE) return ErrorFromSqlite(rc);
    if (sqlite3_changes(db.Connection()) == 0) return ERROR_FILE_NOT_FOUND;
  }
  status = TouchKey(db, key.id);
  if (status != ERROR_SUCCESS) return status;
  return scope.Commit();
}
