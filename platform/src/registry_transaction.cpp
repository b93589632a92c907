// Platform extras of the registry: the database path and the write
// transaction that groups a thread's writes (ArcwiseRegistryTransaction).
#include "posix_util.h"
#include "registry_database.h"

using namespace arcwise_registry;

WString ArcwiseRegistryPath() { return arcwise_platform::WidePath(Database::CurrentPath()); }

LSTATUS ArcwiseRegistryTransaction(bool (*body)(void* context), void* context) {
  if (!body) return ERROR_INVALID_PARAMETER;
  LSTATUS error = ERROR_SUCCESS;
  std::shared_ptr<Database> db = Database::Current(&error);
  if (!db) return error;
  // The connection stays with this thread until the end: its registry calls
  // run inside the transaction, other threads' calls wait for the commit.
  std::lock_guard<std::recursive_mutex> lock(db->Mutex());
  HeldConnection held;
  int depth = db->TransactionDepth();
  if (depth > 0) {
    // A nested call joins the outer transaction; its own failure undoes only
    // what it wrote.
    if (db->Exec("SAVEPOINT arcwise_nested") != SQLITE_OK) return ERROR_REGISTRY_IO_FAILED;
    db->SetTransactionDepth(depth + 1);
    bool ok = false;
    try {
      ok = body(context);
    } catch (...) {
      db->SetTransactionDepth(depth);
      db->Exec("ROLLBACK TO arcwise_nested");
      db->Exec("RELEASE arcwise_nested");
      throw;
    }
    db->SetTransactionDepth(depth);
    if (!ok) db->Exec("ROLLBACK TO arcwise_nested");
    db->Exec("RELEASE arcwise_nested");
    return ok ? ERROR_SUCCESS : ERROR_CANCELLED;
  }
  if (db->ReadOnly() || !db->Connection() || !db->Changes().EnsureWritable()) return ERROR_ACCESS_DENIED;
  int rc = db->Exec("BEGIN IMMEDIATE");
  if (rc != SQLITE_OK) return ErrorFromSqlite(rc);
  db->SetTransactionDepth(1);
  bool ok = false;
  try {
    ok = body(context);
  } catch (...) {
    db->SetTransactionDepth(0);
    db->Exec("ROLLBACK");
    throw;
  }
  db->SetTransactionDepth(0);
  if (!ok) {
    db->Exec("ROLLBACK");
    return ERROR_CANCELLED;
  }
  rc = db->CommitWrite();
  if (rc != SQLITE_OK) {
    db->Exec("ROLLBACK");
    return ErrorFromSqlite(rc);
  }
  return ERROR_SUCCESS;
}
