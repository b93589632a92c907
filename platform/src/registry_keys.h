// Key handles and subkey path resolution for the registry functions.
// Internal to the platform library. HKEY values other than the predefined
// roots point at KeyHandle records kept in a process-wide table, so a closed
// or foreign handle is reported as ERROR_INVALID_HANDLE instead of being
// dereferenced. The table has its own mutex; any thread may resolve, create
// or close handles. Functions taking a Database& need its mutex held (inside
// a ReadScope or WriteScope).
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

}  // namespace arcwise_registry
