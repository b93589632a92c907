// Key handle table, path resolution, and the functions that open, create,
// close and delete keys (RegOpenKeyExW, RegCreateKeyExW, RegCloseKey,
// RegDeleteKeyW, SHDeleteKeyW).
#include "registry_keys.h"

#include <mutex>
#include <unordered_map>

#include <shlwapi.h>

#include "striped_map.h"

namespace arcwise_registry {

namespace {

constexpr size_t kMaxKeyNameLength = 255;
constexpr REGSAM kGenericRead = 0x80000000;
constexpr REGSAM kGenericWrite = 0x40000000;
constexpr REGSAM kGenericExecute = 0x20000000;
constexpr REGSAM kGenericAll = 0x10000000;
constexpr REGSAM kMaximumAllowed = 0x02000000;
constexpr REGSAM kWriteDac = 0x00040000;
constexpr REGSAM kWriteOwner = 0x00080000;

struct KeyHandle {
  std::shared_ptr<Database> db;
  KeyId id;
  REGSAM access;
};

using HandleTable = arcwise_platform::StripedMap<HKEY, KeyHandle*>;

HandleTable& Handles() {
  static HandleTable* table = new HandleTable();  // lives to process exit
  return *table;
}

}  // namespace

REGSAM NormaliseAccess(REGSAM desired, bool readOnlyDatabase) {
  REGSAM access = desired & ~(KEY_WOW64_64KEY | KEY_WOW64_32KEY);
  if (access & kGenericRead) access |= KEY_READ;
  if (access & kGenericWrite) access |= KEY_WRITE;
  if (access & kGenericExecute) access |= KEY_EXECUTE;
  if (access & kGenericAll) access |= KEY_ALL_ACCESS;
  if (access & kMaximumAllowed) access |= readOnlyDatabase ? KEY_READ : KEY_ALL_ACCESS;
  return access & ~(kGenericRead | kGenericWrite | kGenericExecute | kGenericAll | kMaximumAllowed);
}

bool WantsWriteAccess(REGSAM access) {
  return (access & (KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | DELETE | kWriteDac |
                    kWriteOwner)) != 0;
}

LSTATUS CheckAccess(const KeyRef& key, REGSAM needed) {
  return (key.access & needed) == needed ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

LSTATUS ResolveKeyWithAccess(HKEY key, REGSAM needed, KeyRef* out) {
  const LSTATUS status = ResolveKey(key, out);
  if (status != ERROR_SUCCESS) return status;
  return CheckAccess(*out, needed);
}

LSTATUS ResolveKey(HKEY key, KeyRef* out) {
  KeyId root = 0;
  if (key == HKEY_CLASSES_ROOT) root = kClassesId;
  else if (key == HKEY_CURRENT_USER) root = kCurrentUserId;
  else if (key == HKEY_LOCAL_MACHINE) root = kLocalMachineId;
  else if (key == HKEY_USERS) root = kUsersId;
  if (root != 0) {
    LSTATUS error = ERROR_SUCCESS;
    out->db = Database::Current(&error);
    if (!out->db) return error;
    out->id = root;
    out->access = KEY_ALL_ACCESS;
    out->predefined = true;
    return ERROR_SUCCESS;
  }
  if (!key) return ERROR_INVALID_HANDLE;
  HandleTable::Stripe& table = Handles().For(key);
  std::lock_guard<std::mutex> lock(table.mutex);
  auto found = table.entries.find(key);
  if (found == table.entries.end()) return ERROR_INVALID_HANDLE;
  out->db = found->second->db;
  out->id = found->second->id;
  out->access = found->second->access;
  out->predefined = false;
  return ERROR_SUCCESS;
}

HKEY NewKeyHandle(const std::shared_ptr<Database>& db, KeyId id, REGSAM access) {
  auto* handle = new KeyHandle{db, id, access};
  HKEY key = reinterpret_cast<HKEY>(handle);
  HandleTable::Stripe& table = Handles().For(key);
  std::lock_guard<std::mutex> lock(table.mutex);
  table.entries.emplace(key, handle);
  return key;
}

bool CloseKeyHandle(HKEY key) {
  KeyHandle* handle = nullptr;
  {
    HandleTable::Stripe& table = Handles().For(key);
    std::lock_guard<std::mutex> lock(table.mutex);
    auto found = table.entries.find(key);
    if (found == table.entries.end()) return false;
    handle = found->second;
    table.entries.erase(found);
  }
  delete handle;  // may release the last reference to an old database
  return true;
}

LSTATUS SplitSubKey(LPCWSTR subKey, std::vector<std::u16string_view>* parts) {
  parts->clear();
  std::u16string_view path = WView(subKey);
  if (path.empty()) return ERROR_SUCCESS;
  if (path.front() == u'\\') return ERROR_BAD_PATHNAME;
  if (path.back() == u'\\') path.remove_suffix(1);
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find(u'\\', start);
    if (end == std::u16string_view::npos) end = path.size();
    std::u16string_view name = path.substr(start, end - start);
    if (name.empty()) return ERROR_BAD_PATHNAME;
    if (name.size() > kMaxKeyNameLength) return ERROR_INVALID_PARAMETER;
    parts->push_back(name);
    start = end + 1;
  }
  return ERROR_SUCCESS;
}

LSTATUS CheckKeyExists(Database& db, KeyId id) {
  if (IsProtectedKey(id)) return ERROR_SUCCESS;
  if (!db.Connection()) return ERROR_KEY_DELETED;
  Statement stmt(db, "SELECT 1 FROM keys WHERE id=?");
  stmt.Bind(1, id);
  const int rc = stmt.Step();
  if (rc == SQLITE_ROW) return ERROR_SUCCESS;
  return rc == SQLITE_DONE ? ERROR_KEY_DELETED : ErrorFromSqlite(rc);
}

LSTATUS FindChild(Database& db, KeyId parent, std::u16string_view name, KeyId* child) {
  *child = 0;
  if (!db.Connection()) return ERROR_FILE_NOT_FOUND;
  Statement stmt(db, "SELECT id FROM keys WHERE parent=? AND fold=?");
  stmt.Bind(1, parent);
  stmt.BindBlob(2, FoldBytes(name));
  const int rc = stmt.Step();
  if (rc == SQLITE_ROW) {
    *child = stmt.Int(0);
    return ERROR_SUCCESS;
  }
  // A damaged or locked file is not a missing key: the caller must not go on
  // to create one, nor tell the user it is not there.
  return rc == SQLITE_DONE ? ERROR_FILE_NOT_FOUND : ErrorFromSqlite(rc);
}

namespace {

LSTATUS WalkSubKey(Database& db, KeyId base, const std::vector<std::u16string_view>& parts, KeyId* found) {
  KeyId id = base;
  for (auto name : parts) {
    const LSTATUS status = FindChild(db, id, name, &id);
    if (status != ERROR_SUCCESS) return status;
  }
  *found = id;
  return ERROR_SUCCESS;
}

// Read-cache key of a whole path below a key. It starts with this tag's
// address, as a statement's key starts with its SQL's, so the two never meet.
const char kSubKeyPathTag[] = "subkey path";

std::string SubKeyPathKey(KeyId base, const std::vector<std::u16string_view>& parts) {
  const char* tag = kSubKeyPathTag;
  std::string key(reinterpret_cast<const char*>(&tag), sizeof tag);
  key.append(reinterpret_cast<const char*>(&base), sizeof base);
  for (auto name : parts) {
    key += FoldBytes(name);
    key.append("\0\\", 2);  // a backslash in folded (big-endian) form: never inside a name
  }
  return key;
}

}  // namespace

// A path of several names is looked up as one: a class look-up walks four
// keys, each a read of its own, for every file a host filters.
LSTATUS FindSubKey(Database& db, KeyId base, const std::vector<std::u16string_view>& parts,
                   KeyId* found) {
  ReadScope* scope = parts.size() > 1 ? ReadScope::CachingScopeOf(db) : nullptr;
  if (!scope) return WalkSubKey(db, base, parts, found);
  std::shared_ptr<const CachedRows> rows;
  const LSTATUS status = ReadKeptOutcome(
      db, *scope, SubKeyPathKey(base, parts),
      [&](CachedRows* out) {
        KeyId id = 0;
        const LSTATUS walked = WalkSubKey(db, base, parts, &id);
        if (walked == ERROR_SUCCESS) out->rows.push_back({CachedCell{SQLITE_INTEGER, id, std::string()}});
        return walked;
      },
      &rows);
  if (status == ERROR_SUCCESS) *found = rows->rows[0][0].integer;
  return status;
}

LSTATUS TouchKey(Database& db, KeyId id) {
  Statement stmt(db, "UPDATE keys SET written=? WHERE id=?");
  stmt.Bind(1, FileTimeNow());
  stmt.Bind(2, id);
  return ErrorFromSqlite(stmt.Step());
}

namespace {

LSTATUS InsertKey(Database& db, KeyId parent, std::u16string_view name, KeyId* id) {
  Statement stmt(db, "INSERT INTO keys(parent, name, fold, written) VALUES(?,?,?,?)");
  stmt.Bind(1, parent);
  stmt.BindBlob(2, NameBytes(name));
  stmt.BindBlob(3, FoldBytes(name));
  stmt.Bind(4, FileTimeNow());
  int rc = stmt.Step();
  if (rc != SQLITE_DONE) return ErrorFromSqlite(rc);
  *id = sqlite3_last_insert_rowid(db.Connection());
  return TouchKey(db, parent);
}

// Runs a statement that binds a key's id as its one parameter and gives no
// rows.
LSTATUS RunForKey(Database& db, const char* sql, KeyId id) {
  Statement stmt(db, sql);
  stmt.Bind(1, id);
  const int rc = stmt.Step();
  return rc == SQLITE_DONE ? ERROR_SUCCESS : ErrorFromSqlite(rc);
}

// Removes a key's subtree (or only the key, which then must have no
// subkeys), with its values.
LSTATUS DeleteTree(Database& db, KeyId id, bool recursive) {
  LSTATUS status;
  if (recursive) {
    status = RunForKey(db,
                       "WITH RECURSIVE sub(id) AS (SELECT ? UNION ALL "
                       "SELECT k.id FROM keys k JOIN sub ON k.parent=sub.id) "
                       "DELETE FROM vals WHERE key IN sub",
                       id);
    if (status != ERROR_SUCCESS) return status;
    return RunForKey(db,
                     "WITH RECURSIVE sub(id) AS (SELECT ? UNION ALL "
                     "SELECT k.id FROM keys k JOIN sub ON k.parent=sub.id) "
                     "DELETE FROM keys WHERE id IN sub",
                     id);
  }
  {
    Statement children(db, "SELECT 1 FROM keys WHERE parent=? LIMIT 1");
    children.Bind(1, id);
    const int rc = children.Step();
    if (rc == SQLITE_ROW) return ERROR_ACCESS_DENIED;
    if (rc != SQLITE_DONE) return ErrorFromSqlite(rc);
  }
  status = RunForKey(db, "DELETE FROM vals WHERE key=?", id);
  if (status != ERROR_SUCCESS) return status;
  return RunForKey(db, "DELETE FROM keys WHERE id=?", id);
}

// FindSubKey below a key that must itself still exist (another process may
// have deleted it since it was opened).
LSTATUS FindBelowExistingKey(Database& db, KeyId base, const std::vector<std::u16string_view>& parts,
                             KeyId* target) {
  const LSTATUS status = CheckKeyExists(db, base);
  return status == ERROR_SUCCESS ? FindSubKey(db, base, parts, target) : status;
}

// The open key or root a call names and the names of the subkey path below it.
LSTATUS ResolveKeyPath(HKEY hKey, LPCWSTR lpSubKey, KeyRef* base, std::vector<std::u16string_view>* parts) {
  LSTATUS status = ResolveKey(hKey, base);
  return status == ERROR_SUCCESS ? SplitSubKey(lpSubKey, parts) : status;
}

// What RegOpenKeyExW and RegCreateKeyExW start from: the path, the rights
// the handle they hand out will carry, and whether the path names a
// predefined root itself (whose handle goes back as it came).
struct OpenRequest {
  KeyRef base;
  std::vector<std::u16string_view> parts;
  REGSAM access = 0;
  bool NamesRoot() const { return parts.empty() && base.predefined; }
};

LSTATUS ResolveOpenRequest(HKEY hKey, LPCWSTR lpSubKey, REGSAM samDesired, OpenRequest* request) {
  const LSTATUS status = ResolveKeyPath(hKey, lpSubKey, &request->base, &request->parts);
  if (status != ERROR_SUCCESS) return status;
  request->access = NormaliseAccess(samDesired, request->base.db->ReadOnly());
  return ERROR_SUCCESS;
}

LSTATUS DeleteKey(HKEY hKey, LPCWSTR lpSubKey, bool recursive) {
  KeyRef base;
  std::vector<std::u16string_view> parts;
  LSTATUS status = ResolveKeyPath(hKey, lpSubKey, &base, &parts);
  if (status != ERROR_SUCCESS) return status;
  Database& db = *base.db;
  if (db.ReadOnly()) {
    // Say what Windows says to a non-administrator: missing is missing,
    // present is not yours to delete.
    ReadScope scope(db);
    KeyId target = 0;
    status = FindBelowExistingKey(db, base.id, parts, &target);
    return status != ERROR_SUCCESS ? status : ERROR_ACCESS_DENIED;
  }
  WriteScope scope(db);
  if (scope.Status() != ERROR_SUCCESS) return scope.Status();
  KeyId target = 0;
  status = FindBelowExistingKey(db, base.id, parts, &target);
  if (status != ERROR_SUCCESS) return status;
  if (IsProtectedKey(target)) return ERROR_ACCESS_DENIED;
  KeyId parent = 0;
  {
    Statement parentOf(db, "SELECT parent FROM keys WHERE id=?");
    parentOf.Bind(1, target);
    if (parentOf.Step() == SQLITE_ROW) parent = parentOf.Int(0);
  }
  status = DeleteTree(db, target, recursive);
  if (status == ERROR_SUCCESS && parent != 0) status = TouchKey(db, parent);
  if (status != ERROR_SUCCESS) return status;
  return scope.Commit();
}

}  // namespace

}  // namespace arcwise_registry

using namespace arcwise_registry;

LSTATUS RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                      PHKEY phkResult) {
  (void)ulOptions;  // REG_OPTION_OPEN_LINK: there are no links here
  if (!phkResult) return ERROR_INVALID_PARAMETER;
  *phkResult = nullptr;
  OpenRequest request;
  LSTATUS status = ResolveOpenRequest(hKey, lpSubKey, samDesired, &request);
  if (status != ERROR_SUCCESS) return status;
  if (request.NamesRoot()) {
    *phkResult = hKey;
    return ERROR_SUCCESS;
  }
  Database& db = *request.base.db;
  KeyId target = 0;
  {
    ReadScope scope(db);
    status = FindBelowExistingKey(db, request.base.id, request.parts, &target);
    if (status != ERROR_SUCCESS) return status;
  }
  if (db.ReadOnly() && WantsWriteAccess(request.access)) return ERROR_ACCESS_DENIED;
  *phkResult = NewKeyHandle(request.base.db, target, request.access);
  return ERROR_SUCCESS;
}

LSTATUS RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD Reserved, LPWSTR lpClass,
                        DWORD dwOptions, REGSAM samDesired,
                        const LPSECURITY_ATTRIBUTES lpSecurityAttributes, PHKEY phkResult,
                        LPDWORD lpdwDisposition) {
  (void)Reserved;
  (void)lpClass;               // classes are not kept
  (void)lpSecurityAttributes;  // one user, no descriptors
  if (!phkResult) return ERROR_INVALID_PARAMETER;
  *phkResult = nullptr;
  // Volatile keys are kept like any other: nothing here outlives a reboot
  // differently from the database file.
  if (dwOptions & ~static_cast<DWORD>(REG_OPTION_VOLATILE | REG_OPTION_OPEN_LINK | 0x4))
    return ERROR_INVALID_PARAMETER;
  OpenRequest request;
  LSTATUS status = ResolveOpenRequest(hKey, lpSubKey, samDesired, &request);
  if (status != ERROR_SUCCESS) return status;
  const KeyRef& base = request.base;
  Database& db = *base.db;
  const bool wantsWrite = WantsWriteAccess(request.access);

  if (request.NamesRoot()) {
    if (db.ReadOnly() && wantsWrite) return ERROR_ACCESS_DENIED;
    if (lpdwDisposition) *lpdwDisposition = REG_OPENED_EXISTING_KEY;
    *phkResult = hKey;
    return ERROR_SUCCESS;
  }

  if (db.ReadOnly()) {
    // Opening an existing key for reading is all a read-only process may do.
    ReadScope scope(db);
    KeyId target = 0;
    status = FindBelowExistingKey(db, base.id, request.parts, &target);
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) return status;
    if (status != ERROR_SUCCESS || wantsWrite) return ERROR_ACCESS_DENIED;
    if (lpdwDisposition) *lpdwDisposition = REG_OPENED_EXISTING_KEY;
    *phkResult = NewKeyHandle(base.db, target, request.access);
    return ERROR_SUCCESS;
  }

  WriteScope scope(db);
  if (scope.Status() != ERROR_SUCCESS) return scope.Status();
  status = CheckKeyExists(db, base.id);
  if (status != ERROR_SUCCESS) return status;
  KeyId id = base.id;
  bool created = false;
  for (auto name : request.parts) {
    KeyId child = 0;
    status = FindChild(db, id, name, &child);
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) return status;
    if (child == 0) {
      if (!created && CheckAccess(base, KEY_CREATE_SUB_KEY) != ERROR_SUCCESS)
        return ERROR_ACCESS_DENIED;
      status = InsertKey(db, id, name, &child);
      if (status != ERROR_SUCCESS) return status;
      created = true;
    }
    id = child;
  }
  status = scope.Commit();
  if (status != ERROR_SUCCESS) return status;
  if (lpdwDisposition) *lpdwDisposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  *phkResult = NewKeyHandle(base.db, id, request.access);
  return ERROR_SUCCESS;
}

LSTATUS RegCloseKey(HKEY hKey) {
  if (hKey == HKEY_CLASSES_ROOT || hKey == HKEY_CURRENT_USER || hKey == HKEY_LOCAL_MACHINE ||
      hKey == HKEY_USERS)
    return ERROR_SUCCESS;
  return CloseKeyHandle(hKey) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

LSTATUS RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey) {
  if (!lpSubKey) return ERROR_INVALID_PARAMETER;
  return DeleteKey(hKey, lpSubKey, false);
}

LSTATUS SHDeleteKeyW(HKEY hkey, LPCWSTR pszSubKey) { return DeleteKey(hkey, pszSubKey, true); }
