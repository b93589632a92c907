// Key handles and subkey path resolution for the registry functions, and
// the frame (handle, access, scope, a key still there) every function on an
// open key runs in. Internal to the platform library. HKEY values other than
// the predefined roots point at KeyHandle records kept in a process-wide
// table, so a closed or foreign handle is reported as ERROR_INVALID_HANDLE
// instead of being dereferenced. The table has its own mutex; any thread may
// resolve, create or close handles. Functions taking a Database& need its
// mutex held (inside a ReadScope or WriteScope).
#pragma once

#include <memory>
#include <string_view>
#include <vector>

#include "registry_database.h"

namespace arcwise_registry {

// What an HKEY stands for at the moment of a call.
struct KeyRef {
  std::shared_ptr<Database> db;
  KeyId id = 0;
  REGSAM access = 0;
  bool predefined = false;
};

// ERROR_INVALID_HANDLE for a closed, unknown or unsupported predefined handle;
// a predefined root resolves against the database the environment names now.
LSTATUS ResolveKey(HKEY key, KeyRef* out);

// A new handle owned by the caller (closed with RegCloseKey).
HKEY NewKeyHandle(const std::shared_ptr<Database>& db, KeyId id, REGSAM access);
// Removes and frees a handle; false when it is not in the table.
bool CloseKeyHandle(HKEY key);

// Generic and maximum-allowed rights mapped to key rights.
REGSAM NormaliseAccess(REGSAM desired, bool readOnlyDatabase);
// Rights that change the registry: asking for them on a read-only database is
// refused at open time, as Windows refuses a non-administrator.
bool WantsWriteAccess(REGSAM access);
// ERROR_ACCESS_DENIED unless the handle carries every right in `needed`.
LSTATUS CheckAccess(const KeyRef& key, REGSAM needed);
// ResolveKey for a call that needs `needed` on the handle it is given:
// ERROR_ACCESS_DENIED when the handle was opened without one of them.
LSTATUS ResolveKeyWithAccess(HKEY key, REGSAM needed, KeyRef* out);

// Splits "a\b\c" into its names. A single trailing separator is tolerated;
// a leading one or an empty name inside gives ERROR_BAD_PATHNAME, a name
// longer than 255 characters ERROR_INVALID_PARAMETER. Null is empty.
LSTATUS SplitSubKey(LPCWSTR subKey, std::vector<std::u16string_view>* parts);

// ERROR_SUCCESS while the row exists (the fixed roots always do),
// ERROR_KEY_DELETED when it is gone, or the database's error.
LSTATUS CheckKeyExists(Database& db, KeyId id);
// Walks `parts` down from `base`; ERROR_FILE_NOT_FOUND when one is missing,
// the database's error when it cannot be read.
LSTATUS FindSubKey(Database& db, KeyId base, const std::vector<std::u16string_view>& parts,
                   KeyId* found);
// Finds one child by name: ERROR_SUCCESS with *child, ERROR_FILE_NOT_FOUND
// (*child 0) when missing, or the database's error.
LSTATUS FindChild(Database& db, KeyId parent, std::u16string_view name, KeyId* child);
// Sets the key's last write time to now.
LSTATUS TouchKey(Database& db, KeyId id);

// The frame of every call that works on the key an open handle names: the
// handle must carry `needed`, the scope (ReadScope or WriteScope) must open,
// and the key must still exist once the database is held (another process
// may have deleted it since it was opened). body(db, id, scope) runs inside
// the scope and gives the call's result.
template <typename Scope, typename Body>
LSTATUS InOpenKey(HKEY hKey, REGSAM needed, Body body) {
  KeyRef key;
  LSTATUS status = ResolveKeyWithAccess(hKey, needed, &key);
  if (status != ERROR_SUCCESS) return status;
  Database& db = *key.db;
  Scope scope(db);
  status = scope.Status();
  if (status == ERROR_SUCCESS) status = CheckKeyExists(db, key.id);
  return status == ERROR_SUCCESS ? body(db, key.id, scope) : status;
}

// InOpenKey for a read: read(db, id) sees one snapshot.
template <typename Read>
LSTATUS ReadOpenKey(HKEY hKey, REGSAM needed, Read read) {
  return InOpenKey<ReadScope>(hKey, needed, [&](Database& db, KeyId id, ReadScope&) { return read(db, id); });
}

// InOpenKey for a change: when write(db, id) succeeds the key's write time
// moves on and the change commits; otherwise nothing of it stays.
template <typename Write>
LSTATUS WriteOpenKey(HKEY hKey, REGSAM needed, Write write) {
  return InOpenKey<WriteScope>(hKey, needed, [&](Database& db, KeyId id, WriteScope& scope) {
    LSTATUS status = write(db, id);
    if (status == ERROR_SUCCESS) status = TouchKey(db, id);
    return status == ERROR_SUCCESS ? scope.Commit() : status;
  });
}

// The first row `sql` gives for an open key (ReadOpenKey's frame), handed to
// read(row). The statement binds the key's id as parameter 1 and bind(stmt)
// the rest; `missing` is the answer when there is no such row, or no
// database to read at all.
template <typename Bind, typename Read>
LSTATUS ReadKeyRow(HKEY hKey, REGSAM needed, const char* sql, LSTATUS missing, Bind bind, Read read) {
  return ReadOpenKey(hKey, needed, [&](Database& db, KeyId id) -> LSTATUS {
    if (!db.Connection()) return missing;
    Statement stmt(db, sql);
    stmt.Bind(1, id);
    bind(stmt);
    const int rc = stmt.Step();
    if (rc == SQLITE_DONE) return missing;
    if (rc != SQLITE_ROW) return ErrorFromSqlite(rc);
    read(stmt);
    return ERROR_SUCCESS;
  });
}

}  // namespace arcwise_registry
