// What this process read from the registry, kept while nobody writes: the
// rows of each SELECT by its statement and bound values, all of one
// generation of the change counter (registry_changes.h). Any thread may use
// it; lookups share a lock, so readers on several threads do not queue.
// Internal to the platform library.
#pragma once

#include <cstdint>
#include <memory>
#include <shared_mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "registry_changes.h"

namespace arcwise_registry {

struct CachedCell {
  int type = 0;  // SQLITE_INTEGER, SQLITE_BLOB, SQLITE_TEXT or SQLITE_NULL
  int64_t integer = 0;
  std::string bytes;
};

struct CachedRows {
  std::vector<std::vector<CachedCell>> rows;
  int finalCode = 0;  // what the statement gave after its last row
  size_t Bytes() const;
};

class ReadCache {
 public:
  // The rows kept for `key`, when `now` shows the registry as it was when
  // they were read; null otherwise.
  std::shared_ptr<const CachedRows> Find(const std::string& key, const ChangeSnapshot& now);
  // Keeps rows read in a transaction that began after `before` was taken
  // and ended before `after` was: only when no write began or ended in
  // between is it known which generation they belong to.
  void Store(const std::string& key, std::shared_ptr<const CachedRows> rows, const ChangeSnapshot& before,
             const ChangeSnapshot& after);

 private:
  std::shared_mutex m_mutex;
  uint64_t m_generation = 0;
  size_t m_bytes = 0;
  std::unordered_map<std::string, std::shared_ptr<const CachedRows>> m_entries;
};

}  // namespace arcwise_registry
