// The registry's SQLite database: choosing the file from the environment,
// opening it (read-write in WAL mode, or read-only), the schema, cached
// statements and the read/write scopes every registry function runs in.
// Internal to the platform library.
//
// Threads: one Database object (one connection) per database file per
// process; every use of the connection happens with Database::Mutex() held.
// The mutex is recursive so that a thread inside ArcwiseRegistryTransaction
// keeps the connection (and the open transaction) for all its registry calls,
// while other threads wait for the commit. A single serialised connection is
// simpler to get right than one connection per thread (no per-thread
// transaction bookkeeping, no connection leaks when threads end), and the
// registry is read for configuration, not in a hot loop. Processes share the
// file through WAL and a busy timeout; every write is a BEGIN IMMEDIATE
// transaction, so concurrent writers queue instead of losing writes. The
// wait for another process's lock is 30 s, or ARCWISE_REGISTRY_BUSY_TIMEOUT_MS.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

#include <sqlite3.h>

#include <windows.h>

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

// A prepared statement borrowed from the database's cache; reset and
// unbound when it goes out of scope. Use only with the database mutex held.
class Statement {
 public:
  Statement(Database& db, const char* sql);
  ~Statement();
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  bool Ok() const { return m_stmt != nullptr; }
  int PrepareResult() const { return m_prepareRc; }
  void Bind(int index, int64_t value);
  void BindBlob(int index, const void* data, size_t size);
  void BindBlob(int index, const std::string& bytes) { BindBlob(index, bytes.data(), bytes.size()); }
  // SQLITE_ROW, SQLITE_DONE or an error.
  int Step();
  int64_t Int(int column);
  std::string Blob(int column);

 private:
  sqlite3* m_db;
  sqlite3_stmt* m_stmt = nullptr;
  int m_prepareRc = SQLITE_OK;
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

  friend struct DatabaseCache;
};

// Holds the database mutex for a sequence of reads and makes them one
// snapshot (a deferred transaction) unless the thread is already inside one.
class ReadScope {
 public:
  explicit ReadScope(Database& db);
  ~ReadScope();
  ReadScope(const ReadScope&) = delete;
  ReadScope& operator=(const ReadScope&) = delete;

  // Reads always get the connection (a read-only process without a file
  // reads as empty); this lets a ReadScope stand where a WriteScope can.
  LSTATUS Status() const { return ERROR_SUCCESS; }

 private:
  Database& m_db;
  std::lock_guard<std::recursive_mutex> m_lock;
  bool m_began = false;
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

}  // namespace arcwise_registry
