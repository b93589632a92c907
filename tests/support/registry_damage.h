// Registry database files in the states a user can meet them in: damaged
// (bytes that are no database, a real database cut short) and held by
// another writer. For the platform's and the tools' tests; one thread.
#pragma once

#include <string>

struct sqlite3;

namespace arcwise_test {

// Writes a file of bytes that are no SQLite database at path.
void WriteGarbageRegistry(const std::string& path);

// Makes a real registry database at path through the platform (keys and
// values enough for many pages), then cuts it to its first two pages, as an
// interrupted copy leaves it. ARCWISE_REGISTRY is restored afterwards.
void WriteTruncatedRegistry(const std::string& path);

// Holds the write lock of an existing database file while it lives, on a
// connection of its own (BEGIN EXCLUSIVE), as another process's long import
// would: readers still read, every writer waits and then fails.
class RegistryWriteLock {
 public:
  explicit RegistryWriteLock(const std::string& path);
  ~RegistryWriteLock();
  RegistryWriteLock(const RegistryWriteLock&) = delete;
  RegistryWriteLock& operator=(const RegistryWriteLock&) = delete;

  bool Held() const { return m_held; }

 private:
  sqlite3* m_db = nullptr;
  bool m_held = false;
};

}  // namespace arcwise_test
