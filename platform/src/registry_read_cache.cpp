#include "registry_read_cache.h"

#include <mutex>

namespace arcwise_registry {

namespace {

// Bounds for a registry read by a process that sees a stream of new names
// (one look-up per file type of every archive): the whole cache is dropped
// when full, and it fills again with what is still asked for.
constexpr size_t kMaxEntries = 8192;
constexpr size_t kMaxBytes = 8 * 1024 * 1024;
// A result this large (a big binary value) is read each time instead.
constexpr size_t kMaxEntryBytes = 64 * 1024;

}  // namespace

size_t CachedRows::Bytes() const {
  size_t total = sizeof(*this);
  for (const auto& row : rows) {
    for (const CachedCell& cell : row) total += sizeof(cell) + cell.bytes.size();
  }
  return total;
}

std::shared_ptr<const CachedRows> ReadCache::Find(const std::string& key, const ChangeSnapshot& now) {
  if (!now.Stable()) return nullptr;
  std::shared_lock<std::shared_mutex> lock(m_mutex);
  if (m_generation != now.ended) return nullptr;
  const auto found = m_entries.find(key);
  return found == m_entries.end() ? nullptr : found->second;
}

void ReadCache::Store(const std::string& key, std::shared_ptr<const CachedRows> rows, const ChangeSnapshot& before,
                      const ChangeSnapshot& after) {
  if (!before.Stable() || !(before == after)) return;
  const size_t bytes = rows->Bytes() + key.size();
  if (bytes > kMaxEntryBytes) return;
  std::unique_lock<std::shared_mutex> lock(m_mutex);
  if (before.ended < m_generation) return;  // read before a write another thread has seen
  if (before.ended != m_generation || m_entries.size() >= kMaxEntries || m_bytes + bytes > kMaxBytes) {
    m_entries.clear();
    m_bytes = 0;
    m_generation = before.ended;
  }
  if (m_entries.emplace(key, std::move(rows)).second) m_bytes += bytes;
}

}  // namespace arcwise_registry
