#include "registry_changes.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace arcwise_registry {

namespace {

// One cache line: the two counters and room to grow.
constexpr off_t kCounterFileSize = 64;

uint64_t Load(uint64_t* at) { return std::atomic_ref<uint64_t>(*at).load(std::memory_order_acquire); }

// Who may read the database may read its counter, and nobody else: the
// file takes the database's permission bits.
mode_t DatabaseMode(const std::string& dbPath) {
  struct stat st;
  if (stat(dbPath.c_str(), &st) == 0) return st.st_mode & 0666;
  return 0600;
}

}  // namespace

ChangeCounter::~ChangeCounter() {
  if (uint64_t* counters = m_counters.load()) munmap(counters, kCounterFileSize);
}

void ChangeCounter::Map(int fd, bool writable) {
  struct stat st;
  // A file cut short (or not a file at all) is not used: reading past its
  // end through the mapping would kill the process.
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return;
  if (st.st_size < kCounterFileSize) {
    if (!writable || ftruncate(fd, kCounterFileSize) != 0) return;
  }
  void* at = mmap(nullptr, kCounterFileSize, writable ? PROT_READ | PROT_WRITE : PROT_READ, MAP_SHARED, fd, 0);
  if (at == MAP_FAILED) return;
  m_writable = writable;
  m_counters.store(static_cast<uint64_t*>(at), std::memory_order_release);
}

void ChangeCounter::Open(const std::string& dbPath, bool writable) {
  m_path = dbPath + "-changes";
  int fd = -1;
  if (writable) {
    // Created with the database's bits, whatever the umask makes of them.
    const mode_t mode = DatabaseMode(dbPath);
    fd = open(m_path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd >= 0) {
      struct stat st;
      if (fstat(fd, &st) == 0 && st.st_size == 0) fchmod(fd, mode);
      Map(fd, true);
      close(fd);
      return;
    }
  }
  fd = open(m_path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return;
  Map(fd, false);
  close(fd);
}

bool ChangeCounter::EnsureWritable() {
  if (m_writable) return true;
  // A counter this process can only read stays as it is (readers use it);
  // writing would go unseen.
  if (Usable()) return false;
  const std::string dbPath = m_path.substr(0, m_path.size() - std::string("-changes").size());
  Open(dbPath, true);
  if (m_writable) return true;
  // No counter at all: nobody keeps reads of this database.
  return !Usable() && access(m_path.c_str(), F_OK) != 0 && errno == ENOENT;
}

ChangeSnapshot ChangeCounter::Read() const {
  ChangeSnapshot now;
  uint64_t* counters = m_counters.load(std::memory_order_acquire);
  if (!counters) return now;
  // ended first: a begun read after it that still equals it proves no
  // commit started in between.
  now.ended = Load(&counters[1]);
  now.begun = Load(&counters[0]);
  return now;
}

uint64_t ChangeCounter::BeginWrite() {
  if (!m_writable) return 0;
  return std::atomic_ref<uint64_t>(m_counters.load()[0]).fetch_add(1, std::memory_order_acq_rel) + 1;
}

void ChangeCounter::EndWrite(uint64_t ticket) {
  if (!m_writable || ticket == 0) return;
  std::atomic_ref<uint64_t> ended(m_counters.load()[1]);
  uint64_t seen = ended.load(std::memory_order_acquire);
  // A later writer may have published first; the counter never goes back.
  while (seen < ticket && !ended.compare_exchange_weak(seen, ticket, std::memory_order_acq_rel)) {
  }
}

}  // namespace arcwise_registry
