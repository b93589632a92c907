#include "registry_database.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <shared_mutex>

#include <pwd.h>
#include <unistd.h>

#include "posix_util.h"

namespace arcwise_registry {

namespace {

// Long enough for another process's import or a burst of writers to finish;
// a registry call never fails merely because someone else is writing.
constexpr int kBusyTimeoutMs = 30000;

// ARCWISE_REGISTRY_BUSY_TIMEOUT_MS shortens (or lengthens) the wait, so that
// a test or a script that holds the database on purpose need not wait 30 s.
int BusyTimeoutMs() {
  const std::string text = arcwise_platform::EnvValue("ARCWISE_REGISTRY_BUSY_TIMEOUT_MS");
  if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos)
    return kBusyTimeoutMs;
  return std::stoi(text);
}

// The calling thread's last failure of the database itself, for
// ArcwiseRegistryLastError and ArcwiseRegistryLastErrorText. Every use of a
// connection happens on the thread holding its mutex, so the connection's
// own message belongs to this thread's call.
struct LastFailure {
  LSTATUS code = ERROR_SUCCESS;
  WString text;
};
thread_local LastFailure t_lastFailure;

// Failures of the file or the lock rather than of one statement: a caller
// can tell the user something about the registry from them.
bool IsDatabaseFailure(int rc) {
  switch (rc & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
    case SQLITE_NOMEM:
    case SQLITE_IOERR:
    case SQLITE_CORRUPT:
    case SQLITE_FULL:
    case SQLITE_CANTOPEN:
    case SQLITE_PROTOCOL:
    case SQLITE_NOTADB: return true;
    default: return false;
  }
}

const char kSchema[] =
    "CREATE TABLE IF NOT EXISTS keys("
    " id INTEGER PRIMARY KEY AUTOINCREMENT,"  // never reused: a stale handle stays stale
    " parent INTEGER NOT NULL,"
    " name BLOB NOT NULL,"
    " fold BLOB NOT NULL,"
    " written INTEGER NOT NULL DEFAULT 0,"
    " UNIQUE(parent, fold));"
    "CREATE TABLE IF NOT EXISTS vals("
    " id INTEGER PRIMARY KEY AUTOINCREMENT,"  // creation order of the values of a key
    " key INTEGER NOT NULL,"
    " name BLOB NOT NULL,"
    " fold BLOB NOT NULL,"
    " type INTEGER NOT NULL,"
    " data BLOB NOT NULL,"
    " UNIQUE(key, fold));"
    "CREATE INDEX IF NOT EXISTS vals_by_key ON vals(key, id);";

std::string DefaultPath() {
  std::string base = arcwise_platform::EnvValue("XDG_CONFIG_HOME");
  if (base.empty() || base[0] != '/') {
    std::string home = arcwise_platform::EnvValue("HOME");
    if (home.empty()) {
      if (const passwd* pw = getpwuid(getuid())) home = pw->pw_dir ? pw->pw_dir : "";
    }
    base = (home.empty() ? std::string(".") : home) + "/.config";
  }
  return base + "/quillmark-arcwise/registry.db";
}

}  // namespace

LSTATUS ErrorFromSqlite(int rc) {
  switch (rc & 0xff) {
    case SQLITE_OK:
    case SQLITE_ROW:
    case SQLITE_DONE: return ERROR_SUCCESS;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH: return ERROR_ACCESS_DENIED;
    case SQLITE_BUSY:
    case SQLITE_LOCKED: return ERROR_BUSY;
    case SQLITE_NOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case SQLITE_FULL: return ERROR_DISK_FULL;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB: return ERROR_REGISTRY_CORRUPT;
    case SQLITE_CANTOPEN: return ERROR_CANTOPEN;
    default: return ERROR_REGISTRY_IO_FAILED;
  }
}

int NoteFailure(sqlite3* db, int rc) {
  if (!IsDatabaseFailure(rc)) return rc;
  t_lastFailure.code = ErrorFromSqlite(rc);
  // The connection's message names the cause more closely than the code's
  // generic text ("file is not a database" rather than "file is encrypted
  // or is not a database").
  const char* reason = db && sqlite3_errcode(db) == rc ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
  t_lastFailure.text = Utf8ToUtf16(reason ? reason : "");
  return rc;
}

// ---- names ------------------------------------------------------------------

std::string NameBytes(std::u16string_view name) {
  return std::string(reinterpret_cast<const char*>(name.data()), name.size() * sizeof(WCHAR));
}

std::string FoldBytes(std::u16string_view name) {
  // Every registry call folds the names it looks up: ASCII, nearly all of
  // them, is folded here without the full table.
  std::string out(name.size() * 2, '\0');
  char* at = out.data();
  for (WCHAR c : name) {
    const WCHAR f = c < 0x80 ? (c >= u'a' && c <= u'z' ? WCHAR(c - 0x20) : c) : FoldCaseW(c);
    *at++ = static_cast<char>(f >> 8);
    *at++ = static_cast<char>(f & 0xff);
  }
  return out;
}

WString NameFromBytes(const std::string& bytes) {
  WString out(bytes.size() / sizeof(WCHAR), u'\0');
  if (!out.empty()) std::memcpy(out.data(), bytes.data(), out.size() * sizeof(WCHAR));
  return out;
}

int64_t FileTimeNow() {
  auto since = std::chrono::system_clock::now().time_since_epoch();
  int64_t ticks = std::chrono::duration_cast<std::chrono::nanoseconds>(since).count() / 100;
  return ticks + 116444736000000000LL;
}

// ---- Statement --------------------------------------------------------------

namespace {

// The innermost ReadScope of this thread that may answer from the cache,
// and how many holds of a connection (scopes with the mutex, transactions)
// the thread has open.
thread_local ReadScope* t_cachingScope = nullptr;
thread_local int t_heldConnections = 0;

bool IsSelect(const char* sql) { return std::strncmp(sql, "SELECT", 6) == 0; }

}  // namespace

Statement::Statement(Database& db, const char* sql) : m_database(db), m_sql(sql) {
  m_parameters.reserve(5);  // the most any statement binds: one allocation, not three
}

Statement::~Statement() {
  if (m_stmt) {
    sqlite3_reset(m_stmt);
    sqlite3_clear_bindings(m_stmt);
  }
}

void Statement::Bind(int index, int64_t value) { m_parameters.push_back({index, false, value, std::string()}); }

void Statement::BindBlob(int index, const void* data, size_t size) {
  m_parameters.push_back({index, true, 0, std::string(static_cast<const char*>(data), size)});
}

int Statement::PrepareLive() {
  int rc = SQLITE_OK;
  m_stmt = m_database.Prepare(m_sql, &rc);
  if (!m_stmt) return rc;
  // A null pointer would bind SQL NULL; empty names and data are empty blobs.
  static const char kEmpty = 0;
  for (const Parameter& p : m_parameters) {
    if (p.isBlob) {
      sqlite3_bind_blob(m_stmt, p.index, p.bytes.empty() ? &kEmpty : p.bytes.data(), static_cast<int>(p.bytes.size()),
                        SQLITE_TRANSIENT);
    } else {
      sqlite3_bind_int64(m_stmt, p.index, p.integer);
    }
  }
  return SQLITE_OK;
}

std::string Statement::CacheKey() const {
  std::string key(reinterpret_cast<const char*>(&m_sql), sizeof m_sql);
  for (const Parameter& p : m_parameters) {
    key.push_back(static_cast<char>(p.index));
    key.push_back(p.isBlob ? 'b' : 'i');
    const uint64_t length = p.isBlob ? p.bytes.size() : sizeof p.integer;
    key.append(reinterpret_cast<const char*>(&length), sizeof length);
    if (p.isBlob) {
      key.append(p.bytes);
    } else {
      key.append(reinterpret_cast<const char*>(&p.integer), sizeof p.integer);
    }
  }
  return key;
}

int Statement::ReadAllRows(std::shared_ptr<CachedRows>* out) {
  auto rows = std::make_shared<CachedRows>();
  int rc = PrepareLive();
  if (rc == SQLITE_OK) {
    const int columns = sqlite3_column_count(m_stmt);
    while ((rc = sqlite3_step(m_stmt)) == SQLITE_ROW) {
      std::vector<CachedCell> row(static_cast<size_t>(columns));
      for (int c = 0; c < columns; ++c) {
        CachedCell& cell = row[static_cast<size_t>(c)];
        cell.type = sqlite3_column_type(m_stmt, c);
        if (cell.type == SQLITE_BLOB || cell.type == SQLITE_TEXT) {
          const void* data = sqlite3_column_blob(m_stmt, c);
          const int size = sqlite3_column_bytes(m_stmt, c);
          if (data && size > 0) cell.bytes.assign(static_cast<const char*>(data), static_cast<size_t>(size));
        } else {
          cell.integer = sqlite3_column_int64(m_stmt, c);
        }
      }
      rows->rows.push_back(std::move(row));
    }
    if (rc != SQLITE_DONE) rc = NoteFailure(m_database.Connection(), rc);
  }
  rows->finalCode = rc;
  *out = std::move(rows);
  return rc;
}

int Statement::Start() {
  ReadScope* scope = ReadScope::CachingScopeOf(m_database);
  if (scope && IsSelect(m_sql)) {
    const std::string key = CacheKey();
    if (!scope->HasConnection()) {
      m_rows = m_database.Reads().Find(key, m_database.Changes().Read());
      if (m_rows) return NextCachedRow();
      scope->TakeConnection();
    }
    std::shared_ptr<CachedRows> rows;
    if (ReadAllRows(&rows) == SQLITE_DONE) {
      m_database.Reads().Store(key, rows, scope->Before(), m_database.Changes().Read());
    }
    m_rows = std::move(rows);
    return NextCachedRow();
  }
  if (scope) scope->TakeConnection();
  const int rc = PrepareLive();
  if (rc != SQLITE_OK) return rc;
  return Step();
}

int Statement::NextCachedRow() {
  if (m_nextRow < m_rows->rows.size()) {
    ++m_nextRow;
    return SQLITE_ROW;
  }
  return m_rows->finalCode;
}

int Statement::Step() {
  if (!m_started) {
    m_started = true;
    return Start();
  }
  if (m_rows) return NextCachedRow();
  if (!m_stmt) return SQLITE_MISUSE;
  const int rc = sqlite3_step(m_stmt);
  return rc == SQLITE_ROW || rc == SQLITE_DONE ? rc : NoteFailure(m_database.Connection(), rc);
}

const CachedCell* Statement::Cell(int column) const {
  if (m_nextRow == 0 || m_nextRow > m_rows->rows.size()) return nullptr;
  const auto& row = m_rows->rows[m_nextRow - 1];
  return column >= 0 && static_cast<size_t>(column) < row.size() ? &row[static_cast<size_t>(column)] : nullptr;
}

int64_t Statement::Int(int column) {
  if (m_rows) {
    const CachedCell* cell = Cell(column);
    return cell ? cell->integer : 0;
  }
  return m_stmt ? sqlite3_column_int64(m_stmt, column) : 0;
}

std::string Statement::Blob(int column) {
  if (m_rows) {
    const CachedCell* cell = Cell(column);
    return cell ? cell->bytes : std::string();
  }
  if (!m_stmt) return std::string();
  const void* data = sqlite3_column_blob(m_stmt, column);
  int size = sqlite3_column_bytes(m_stmt, column);
  if (!data || size <= 0) return std::string();
  return std::string(static_cast<const char*>(data), static_cast<size_t>(size));
}

// ---- Database ---------------------------------------------------------------

// Every registry call on a predefined root asks for the current database:
// the usual answer (the same file as before) takes the lock shared.
struct DatabaseCache {
  std::shared_mutex mutex;
  std::shared_ptr<Database> current;
};

static DatabaseCache& Cache() {
  static DatabaseCache* cache = new DatabaseCache();  // lives to process exit
  return *cache;
}

std::string Database::CurrentPath() {
  std::string path = arcwise_platform::EnvValue("ARCWISE_REGISTRY");
  return path.empty() ? DefaultPath() : path;
}

std::shared_ptr<Database> Database::Current(LSTATUS* error) {
  // Read the environment on every call: tests and tools switch databases
  // mid-process, and two getenv calls cost nothing next to a query.
  std::string path = CurrentPath();
  bool envReadOnly = arcwise_platform::EnvValue("ARCWISE_REGISTRY_READONLY") == "1";
  DatabaseCache& cache = Cache();
  auto stillCurrent = [&](const std::shared_ptr<Database>& db) {
    return db && db->m_path == path && db->m_envReadOnly == envReadOnly &&
           !(db->m_db == nullptr && access(path.c_str(), F_OK) == 0);
  };
  {
    std::shared_lock<std::shared_mutex> shared(cache.mutex);
    if (stillCurrent(cache.current)) return cache.current;
  }
  std::unique_lock<std::shared_mutex> lock(cache.mutex);
  auto& current = cache.current;
  if (stillCurrent(current)) return current;
  std::shared_ptr<Database> db(new Database(path, envReadOnly));
  LSTATUS status = db->Open();
  if (status != ERROR_SUCCESS) {
    *error = status;
    return nullptr;
  }
  current = db;  // handles on the previous database keep their own reference
  return db;
}

Database::Database(std::string path, bool envReadOnly)
    : m_path(std::move(path)), m_envReadOnly(envReadOnly) {}

Database::~Database() {
  for (auto& entry : m_statements) sqlite3_finalize(entry.second);
  if (m_db) sqlite3_close(m_db);
}

int Database::CommitWrite() {
  const uint64_t ticket = m_changes.BeginWrite();
  const int rc = Exec("COMMIT");
  m_changes.EndWrite(ticket);
  return rc;
}

int Database::Exec(const char* sql) {
  const int rc = sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr);
  return rc == SQLITE_OK ? rc : NoteFailure(m_db, rc);
}

sqlite3_stmt* Database::Prepare(const char* sql, int* rc) {
  if (!m_db) {
    *rc = SQLITE_CANTOPEN;
    return nullptr;
  }
  auto found = m_statements.find(sql);
  if (found != m_statements.end()) return found->second;
  sqlite3_stmt* stmt = nullptr;
  *rc = sqlite3_prepare_v3(m_db, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt, nullptr);
  if (*rc != SQLITE_OK) {
    NoteFailure(m_db, *rc);
    sqlite3_finalize(stmt);
    return nullptr;
  }
  m_statements.emplace(sql, stmt);
  return stmt;
}

int Database::ReadSchema(bool* found) {
  *found = false;
  sqlite3_stmt* stmt = nullptr;
  int rc = sqlite3_prepare_v2(m_db, "SELECT 1 FROM sqlite_master WHERE type='table' AND name='vals'", -1,
                              &stmt, nullptr);
  if (rc == SQLITE_OK) {
    rc = sqlite3_step(stmt);
    *found = rc == SQLITE_ROW;
    if (rc == SQLITE_ROW || rc == SQLITE_DONE) rc = SQLITE_OK;
  }
  if (rc != SQLITE_OK) NoteFailure(m_db, rc);
  sqlite3_finalize(stmt);
  return rc;
}

LSTATUS Database::Open() {
  bool exists = access(m_path.c_str(), F_OK) == 0;
  // Root may write anything, so the file's mode only shows read-only for
  // ordinary users; ARCWISE_REGISTRY_READONLY stands in for the rest.
  m_readOnly = m_envReadOnly || (exists && access(m_path.c_str(), W_OK) != 0);
  if (m_readOnly) {
    if (!exists) return ERROR_SUCCESS;  // nothing to read: every key is missing
    m_changes.Open(m_path, false);
    int rc = sqlite3_open_v2(m_path.c_str(), &m_db, SQLITE_OPEN_READONLY, nullptr);
    if (rc == SQLITE_OK) {
      sqlite3_busy_timeout(m_db, BusyTimeoutMs());
      bool found = false;
      rc = ReadSchema(&found);
      // A database without our tables reads as empty; one that cannot be
      // read at all is an error, not an empty registry.
      if (rc == SQLITE_OK && !found) {
        sqlite3_close(m_db);
        m_db = nullptr;
      }
    } else {
      NoteFailure(m_db, rc);
    }
    if (rc != SQLITE_OK) {
      sqlite3_close(m_db);
      m_db = nullptr;
      return ErrorFromSqlite(rc);
    }
    return ERROR_SUCCESS;
  }

  std::error_code ec;
  std::filesystem::path parent = std::filesystem::path(m_path).parent_path();
  if (!parent.empty()) std::filesystem::create_directories(parent, ec);
  if (!exists) {
    const LSTATUS made = CreateWholeFile();
    if (made != ERROR_SUCCESS) return made;
  }
  // After the file, whose permission bits the counter takes.
  m_changes.Open(m_path, true);
  int rc = sqlite3_open_v2(m_path.c_str(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  if (rc != SQLITE_OK) {
    NoteFailure(m_db, rc);
    sqlite3_close(m_db);
    m_db = nullptr;
    if ((rc & 0xff) == SQLITE_CANTOPEN || (rc & 0xff) == SQLITE_READONLY ||
        (rc & 0xff) == SQLITE_PERM) {
      // A process that cannot create its database has no write rights.
      m_readOnly = true;
      return ERROR_SUCCESS;
    }
    return ErrorFromSqlite(rc);
  }
  sqlite3_busy_timeout(m_db, BusyTimeoutMs());
  // In WAL mode NORMAL loses no committed write when a process dies, only
  // perhaps the last ones at a power cut, as the Windows registry's lazy
  // flush does; FULL would sync the disk on every value written.
  Exec("PRAGMA synchronous=NORMAL");
  return CreateSchema();
}

LSTATUS Database::CreateWholeFile() {
  // Made complete under a name of its own and only then linked into place:
  // processes starting together on a new registry never open a half-made
  // file (an empty one, still in rollback-journal mode, where a lock that
  // is taken fails at once rather than being waited for).
  const std::string staging = m_path + ".new-" + std::to_string(getpid());
  unlink(staging.c_str());
  int rc = sqlite3_open_v2(staging.c_str(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  LSTATUS status = rc == SQLITE_OK ? CreateSchema() : ErrorFromSqlite(NoteFailure(m_db, rc));
  // Closing the only connection folds the write-ahead log into the file.
  sqlite3_close(m_db);
  m_db = nullptr;
  if (status == ERROR_SUCCESS && link(staging.c_str(), m_path.c_str()) != 0 && errno != EEXIST)
    status = arcwise_platform::Win32ErrorFromErrno(errno);
  unlink(staging.c_str());
  if ((rc & 0xff) == SQLITE_CANTOPEN || (rc & 0xff) == SQLITE_READONLY || (rc & 0xff) == SQLITE_PERM) {
    return ERROR_SUCCESS;  // the open that follows finds out the process may not write
  }
  return status;
}

LSTATUS Database::CreateSchema() {
  bool found = false;
  int rc = ReadSchema(&found);
  if (rc != SQLITE_OK) return ErrorFromSqlite(rc);
  if (found) return ERROR_SUCCESS;
  rc = Exec("PRAGMA journal_mode=WAL");
  if (rc == SQLITE_OK) rc = Exec("BEGIN IMMEDIATE");
  if (rc != SQLITE_OK) return ErrorFromSqlite(rc);
  rc = Exec(kSchema);
  struct Root {
    KeyId id;
    KeyId parent;
    const char16_t* name;
  };
  static const Root kRoots[] = {{kLocalMachineId, 0, u"HKEY_LOCAL_MACHINE"},
                                {kCurrentUserId, 0, u"HKEY_CURRENT_USER"},
                                {kUsersId, 0, u"HKEY_USERS"},
                                {kSoftwareId, kLocalMachineId, u"SOFTWARE"},
                                {kClassesId, kSoftwareId, u"Classes"}};
  for (const Root& root : kRoots) {
    if (rc != SQLITE_OK) break;
    sqlite3_stmt* stmt = nullptr;
    rc = sqlite3_prepare_v2(
        m_db, "INSERT OR IGNORE INTO keys(id, parent, name, fold, written) VALUES(?,?,?,?,?)", -1,
        &stmt, nullptr);
    if (rc == SQLITE_OK) {
      std::string name = NameBytes(root.name);
      std::string fold = FoldBytes(root.name);
      sqlite3_bind_int64(stmt, 1, root.id);
      sqlite3_bind_int64(stmt, 2, root.parent);
      sqlite3_bind_blob(stmt, 3, name.data(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
      sqlite3_bind_blob(stmt, 4, fold.data(), static_cast<int>(fold.size()), SQLITE_TRANSIENT);
      sqlite3_bind_int64(stmt, 5, FileTimeNow());
      rc = sqlite3_step(stmt) == SQLITE_DONE ? SQLITE_OK : NoteFailure(m_db, sqlite3_errcode(m_db));
    }
    sqlite3_finalize(stmt);
  }
  if (rc == SQLITE_OK) rc = Exec("COMMIT");
  if (rc != SQLITE_OK) {
    Exec("ROLLBACK");
    return ErrorFromSqlite(rc);
  }
  return ERROR_SUCCESS;
}

// ---- scopes -----------------------------------------------------------------

HeldConnection::HeldConnection() : m_outerCaching(t_cachingScope) {
  t_cachingScope = nullptr;
  ++t_heldConnections;
}

HeldConnection::~HeldConnection() {
  --t_heldConnections;
  t_cachingScope = m_outerCaching;
}

ReadScope::ReadScope(Database& db)
    : m_db(db), m_lock(db.Mutex(), std::defer_lock), m_outerCaching(t_cachingScope) {
  m_caching = t_heldConnections == 0 && db.Connection() && db.Changes().Usable();
  t_cachingScope = m_caching ? this : nullptr;
  if (!m_caching) TakeConnection();
}

ReadScope* ReadScope::CachingScopeOf(const Database& db) {
  return t_cachingScope && &t_cachingScope->m_db == &db ? t_cachingScope : nullptr;
}

void ReadScope::TakeConnection() {
  if (m_lock.owns_lock()) return;
  m_lock.lock();
  ++t_heldConnections;
  m_counted = true;
  // Taken before the transaction's first read fixes its snapshot.
  m_before = m_db.Changes().Read();
  if (m_db.Connection() && m_db.TransactionDepth() == 0) m_began = m_db.Exec("BEGIN") == SQLITE_OK;
}

ReadScope::~ReadScope() {
  if (m_began && m_db.Exec("COMMIT") != SQLITE_OK) m_db.Exec("ROLLBACK");
  if (m_counted) --t_heldConnections;
  t_cachingScope = m_outerCaching;
}

WriteScope::WriteScope(Database& db) : m_db(db), m_lock(db.Mutex()) {
  if (m_db.ReadOnly() || !m_db.Connection()) {
    m_status = ERROR_ACCESS_DENIED;
    return;
  }
  m_savepoint = m_db.TransactionDepth() > 0;
  // A write the other processes' caches would not hear of must not happen.
  if (!m_savepoint && !m_db.Changes().EnsureWritable()) {
    m_status = ERROR_ACCESS_DENIED;
    return;
  }
  int rc = m_db.Exec(m_savepoint ? "SAVEPOINT arcwise_write" : "BEGIN IMMEDIATE");
  m_status = ErrorFromSqlite(rc);
  m_open = rc == SQLITE_OK;
}

LSTATUS WriteScope::Commit() {
  if (!m_open) return m_status;
  int rc = m_savepoint ? m_db.Exec("RELEASE arcwise_write") : m_db.CommitWrite();
  if (rc != SQLITE_OK) return m_status = ErrorFromSqlite(rc);
  m_open = false;
  return ERROR_SUCCESS;
}

WriteScope::~WriteScope() {
  if (!m_open) return;
  if (m_savepoint) {
    m_db.Exec("ROLLBACK TO arcwise_write");
    m_db.Exec("RELEASE arcwise_write");
  } else {
    m_db.Exec("ROLLBACK");
  }
}

}  // namespace arcwise_registry

using namespace arcwise_registry;

LSTATUS ArcwiseRegistryLastError() { return t_lastFailure.code; }

LPCWSTR ArcwiseRegistryLastErrorText() { return t_lastFailure.text.c_str(); }

void ArcwiseRegistryClearLastError() { t_lastFailure = LastFailure(); }
