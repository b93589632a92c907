// The registry's SQLite database: choosing the file from the environment,
// opening it (read-write in WAL mode, or read-only), the schema, cached
// statements and the read/write scopes every registry function runs in.
// Internal to the platform library.
//
// Threads: one Database object (one connection) per database file per
// process; every use of the connection happens with Database::Mutex() held.
// The mutex is recursive so that a thread inside ArcwiseRegistryTransaction
// keeps the connection (and the open transaction) for all its registry calls,
// while other threads wait for the commit. Reads outside any write are
// answered from the process's read cache (registry_read_cache.h) while the
// change counter (registry_changes.h) shows nobody has written since, with
// no lock but the cache's shared one and no system call; only what the cache
// does not hold takes the connection. Processes share the file through WAL
// and a busy timeout; every write is a BEGIN IMMEDIATE transaction, so
// concurrent writers queue instead of losing writes. The wait for another
// process's lock is 30 s, or ARCWISE_REGISTRY_BUSY_TIMEOUT_MS.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <sqlite3.h>

#include <windows.h>

#include "registry_changes.h"
#include "registry_read_cache.h"

namespace arcwise_registry {

using KeyId = int64_t;

// Fixed rows made with the schema. HKEY_CLASSES_ROOT is the Classes row.
constexpr KeyId kLocalMachineId = 1;
constexpr KeyId kCurrentUserId = 2;
constexpr KeyId kUsersId = 3;
constexpr KeyId kSoftwareId = 4;
constexpr KeyId kClassesId = 5;
// Keys the schema makes can never be deleted, as the hive roots on Windows.
inline bool IsProtectedKey(KeyId id) { return id >= kLocalMachineId && id <= kClassesId; }

// Win32 error for a SQLite result code.
LSTATUS ErrorFromSqlite(int rc);
// Keeps a failure of the database file or its lock (busy, damaged, I/O, full)
// with the connection's reason as the calling thread's last registry failure
// (ArcwiseRegistryLastError); other codes pass untouched. Returns rc.
// Statement::Step, Database::Prepare and Database::Exec call it already.
int NoteFailure(sqlite3* db, int rc);

class Database;

// A statement of the database. Inside a ReadScope that has not taken the
// connection, a SELECT is first looked up in the read cache; what it misses
// is read (taking the connection) to its last row, kept when the change
// counter allows, and handed out row by row as a live statement would be.
// Elsewhere it is a prepared statement borrowed from the database's cache,
// reset and unbound when it goes out of scope, used with the mutex held.
class Statement {
 public:
  Statement(Database& db, const char* sql);
  ~Statement();
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  // Bound values are kept until the first Step, which uses them.
  void Bind(int index, int64_t value);
  void BindBlob(int index, const void* data, size_t size);
  void BindBlob(int index, const std::string& bytes) { BindBlob(index, bytes.data(), bytes.size()); }
  // SQLITE_ROW, SQLITE_DONE or an error.
  int Step();
  int64_t Int(int column);
  std::string Blob(int column);

 private:
  struct Parameter {
    int index;
    bool isBlob;
    int64_t integer;
    std::string bytes;
  };

  int Start();
  // The connection's statement, prepared and bound; SQLite's code.
  int PrepareLive();
  int ReadAllRows(std::shared_ptr<CachedRows>* rows);
  std::string CacheKey() const;
  int NextCachedRow();
  const CachedCell* Cell(int column) const;

  Database& m_database;
  const char* m_sql;
  sqlite3_stmt* m_stmt = nullptr;
  std::vector<Parameter> m_parameters;
  bool m_started = false;
  std::shared_ptr<const CachedRows> m_rows;  // set when answering from rows read at once
  size_t m_nextRow = 0;
};

class Database {
 public:
  // The database the environment names now (ARCWISE_REGISTRY,
  // ARCWISE_REGISTRY_READONLY), opened on first use and kept while the
  // environment keeps naming it. Null with *error set when it cannot be used.
  static std::shared_ptr<Database> Current(LSTATUS* error);
  // The file the environment names now, without opening anything.
  static std::string CurrentPath();

  ~Database();
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  const std::string& Path() const { return m_path; }
  bool ReadOnly() const { return m_readOnly; }
  // Null when a read-only process finds no database: it reads as empty.
  sqlite3* Connection() const { return m_db; }
  std::recursive_mutex& Mutex() { return m_mutex; }

  // Statement cache keyed by the SQL literal's address; mutex held.
  sqlite3_stmt* Prepare(const char* sql, int* rc);

  // Explicit transaction state of the thread holding the mutex.
  int TransactionDepth() const { return m_transactionDepth; }
  void SetTransactionDepth(int depth) { m_transactionDepth = depth; }

  // Runs a statement without results; returns the SQLite code.
  int Exec(const char* sql);
  // COMMIT of the thread's outermost write transaction, announced to every
  // process's read cache through the change counter.
  int CommitWrite();

  ChangeCounter& Changes() { return m_changes; }
  ReadCache& Reads() { return m_reads; }

 private:
  Database(std::string path, bool envReadOnly);
  LSTATUS Open();
  // Makes the database file, schema and all, for a path where none exists.
  LSTATUS CreateWholeFile();
  LSTATUS CreateSchema();
  // SQLITE_OK with *found telling whether the registry's tables exist, or the
  // code that kept the file from being read.
  int ReadSchema(bool* found);

  std::string m_path;
  bool m_envReadOnly;
  bool m_readOnly = false;
  sqlite3* m_db = nullptr;
  std::recursive_mutex m_mutex;
  std::unordered_map<const char*, sqlite3_stmt*> m_statements;
  int m_transactionDepth = 0;
  ChangeCounter m_changes;
  ReadCache m_reads;

  friend struct DatabaseCache;
};

// A sequence of reads that see one state of the registry. When the thread
// holds no other scope and the change counter is there, it starts without
// the connection: reads the read cache holds cost nothing, and the first
// one it does not hold takes the mutex and opens a deferred transaction for
// the rest of the scope. Inside a write, or without a counter, it takes the
// mutex at once (and a transaction unless the thread is in one), as reads
// there must see the thread's own uncommitted writes.
class ReadScope {
 public:
  explicit ReadScope(Database& db);
  ~ReadScope();
  ReadScope(const ReadScope&) = delete;
  ReadScope& operator=(const ReadScope&) = delete;

  // Reads always get the connection (a read-only process without a file
  // reads as empty); this lets a ReadScope stand where a WriteScope can.
  LSTATUS Status() const { return ERROR_SUCCESS; }

  // The innermost scope of this thread that may answer from the cache, when
  // it is on `db`; null otherwise.
  static ReadScope* CachingScopeOf(const Database& db);
  bool HasConnection() const { return m_lock.owns_lock(); }
  // Takes the mutex and begins the transaction, once.
  void TakeConnection();
  // The change counter as it was before the transaction began.
  const ChangeSnapshot& Before() const { return m_before; }

 private:
  Database& m_db;
  std::unique_lock<std::recursive_mutex> m_lock;
  bool m_caching = false;
  bool m_began = false;
  bool m_counted = false;
  ReadScope* m_outerCaching = nullptr;
  ChangeSnapshot m_before;
};

// An outcome of several reads (a key found along a path, a value below a
// root) kept as one entry of the read cache, by the rules a statement's rows
// are kept by: answered from the cache while `scope`, the thread's caching
// scope, has not taken the connection; otherwise `read` fills the rows and
// gives the status, and ERROR_SUCCESS or ERROR_FILE_NOT_FOUND is kept when
// no write began or ended meanwhile. *rows holds the outcome's rows either way.
// A template, so that the look-ups answered from the cache (nearly all) build
// no function object.
template <class Read>
LSTATUS ReadKeptOutcome(Database& db, ReadScope& scope, const std::string& key, const Read& read,
                        std::shared_ptr<const CachedRows>* rows);

// Marks the calling thread as holding a database's connection for as long
// as it lives: ReadScopes inside read through it instead of the cache.
// Every holder of the mutex but a caching ReadScope keeps one.
class HeldConnection {
 public:
  HeldConnection();
  ~HeldConnection();
  HeldConnection(const HeldConnection&) = delete;
  HeldConnection& operator=(const HeldConnection&) = delete;

 private:
  ReadScope* m_outerCaching;
};

// Holds the database mutex for one registry write: BEGIN IMMEDIATE when the
// thread has no transaction, else a savepoint inside the thread's
// transaction, so a failed call leaves nothing half done. Commit() makes it
// stick; destruction without Commit() undoes it.
class WriteScope {
 public:
  explicit WriteScope(Database& db);
  ~WriteScope();
  WriteScope(const WriteScope&) = delete;
  WriteScope& operator=(const WriteScope&) = delete;

  // ERROR_SUCCESS when the scope is open for writing.
  LSTATUS Status() const { return m_status; }
  LSTATUS Commit();

 private:
  Database& m_db;
  std::lock_guard<std::recursive_mutex> m_lock;
  HeldConnection m_held;
  LSTATUS m_status = ERROR_SUCCESS;
  bool m_savepoint = false;
  bool m_open = false;
};

// UTF-16 name as stored (native code units) and its compare key (folded
// case, big-endian so that byte order sorts as code units, as Windows sorts).
std::string NameBytes(std::u16string_view name);
std::string FoldBytes(std::u16string_view name);
WString NameFromBytes(const std::string& bytes);

// Current time as FILETIME ticks (100 ns since 1601).
int64_t FileTimeNow();

template <class Read>
LSTATUS ReadKeptOutcome(Database& db, ReadScope& scope, const std::string& key, const Read& read,
                        std::shared_ptr<const CachedRows>* rows) {
  const ChangeSnapshot before = scope.HasConnection() ? scope.Before() : db.Changes().Read();
  if (!scope.HasConnection()) {
    if ((*rows = db.Reads().Find(key, before))) return (*rows)->finalCode;
  }
  auto fresh = std::make_shared<CachedRows>();
  const LSTATUS status = read(fresh.get());
  fresh->finalCode = status;
  *rows = fresh;
  if (status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND) {
    db.Reads().Store(key, std::move(fresh), before, db.Changes().Read());
  }
  return status;
}

}  // namespace arcwise_registry
