// A change counter the registry's writers share with its readers, so that a
// process may keep what it read and know, without a system call, whether
// anyone has written since. Internal to the platform library.
//
// The counters live in a small file beside the database ("<db>-changes"),
// mapped into every process that uses it. A writer takes a ticket (begun+1)
// while it holds SQLite's write lock, just before COMMIT, and publishes it
// (ended = ticket, never moving back) right after. So:
//  - begun == ended == g means every write with a ticket up to g has
//    committed and none has begun to commit since: the database holds the
//    state after write g;
//  - begun != ended means a commit is under way (or a writer died in one);
//    nothing read then may be trusted or kept, until the next write ends.
// Only writers through this platform move the counter; a database edited by
// other SQLite tools while a process runs is seen by that process only
// once it opens the database anew.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

namespace arcwise_registry {

struct ChangeSnapshot {
  uint64_t begun = 0;
  uint64_t ended = 0;
  bool Stable() const { return begun == ended; }
  bool operator==(const ChangeSnapshot&) const = default;
};

class ChangeCounter {
 public:
  ChangeCounter() = default;
  ~ChangeCounter();
  ChangeCounter(const ChangeCounter&) = delete;
  ChangeCounter& operator=(const ChangeCounter&) = delete;

  // The counter file of the database at dbPath, made when missing and
  // `writable`. A reader (not writable) maps it read-only; without one the
  // process reads without keeping anything.
  void Open(const std::string& dbPath, bool writable);
  // Whether reads may be kept: the counter is mapped.
  bool Usable() const { return m_counters.load(std::memory_order_acquire) != nullptr; }
  // For a writer whose counter could not be made at open time: tries again
  // (with the database mutex held). False when a counter exists that this
  // process cannot move, so a write would go unseen by every reader that
  // keeps what it read.
  bool EnsureWritable();

  ChangeSnapshot Read() const;
  // Around a COMMIT, with the write lock held until it: see above.
  uint64_t BeginWrite();
  void EndWrite(uint64_t ticket);

 private:
  void Map(int fd, bool writable);

  std::string m_path;
  // [0] begun, [1] ended. Mapped once and kept until the object goes:
  // readers use it without the database mutex.
  std::atomic<uint64_t*> m_counters{nullptr};
  bool m_writable = false;
};

}  // namespace arcwise_registry
