#include "files_handles.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <map>
#include <mutex>
#include <unordered_map>
#include <utility>
#include <vector>

#include "posix_util.h"
#include "striped_map.h"

namespace arcwise_platform {

namespace {

// ---- Handle table -------------------------------------------------------------

using HandleTable = StripedMap<HANDLE, std::shared_ptr<HandleObject>>;

HandleTable& Handles() {
  // Leaked on purpose: handles may be closed from static destructors of
  // modules unloaded after this library's own statics are gone.
  static HandleTable* table = new HandleTable;
  return *table;
}

// ---- Share table --------------------------------------------------------------

struct OpenRecord {
  unsigned long long id;
  DWORD access;
  DWORD share;
  bool deleteOnClose;
};

struct ShareEntry {
  std::vector<OpenRecord> opens;
  // Set when a delete-on-close open has gone: the name dies with the last
  // open, and no new open is allowed meanwhile.
  bool deletePending = false;
  std::string deletePath;
};

// The share records, in stripes by file: opens, closes and deletes of
// different files (an indexer's threads each on files of their own) take
// different locks, while everything done to one file still happens under
// the one lock of its stripe, in order.
struct ShareStripe {
  std::mutex mutex;
  std::map<std::pair<dev_t, ino_t>, ShareEntry> entries;
};

constexpr size_t kShareStripes = 64;

struct ShareTable {
  ShareStripe stripes[kShareStripes];
  std::atomic<unsigned long long> nextId{1};
};

ShareTable& SharesTable() {
  static ShareTable* table = new ShareTable;
  return *table;
}

size_t StripeIndex(const FileKey& key) {
  const uint64_t mixed = (uint64_t(key.device) * 0x9E3779B97F4A7C15ULL) ^ uint64_t(key.inode);
  return size_t((mixed ^ (mixed >> 29)) % kShareStripes);
}

ShareStripe& Shares(const FileKey& key) { return SharesTable().stripes[StripeIndex(key)]; }

constexpr DWORD kDataRead = kAccessRead;
constexpr DWORD kDataWrite = kAccessWrite | kAccessAppend;

// Windows' rule, applied in both directions: every right one side holds must
// be shared by the other side.
bool Compatible(DWORD accessA, DWORD shareB) {
  if ((accessA & kDataRead) && !(shareB & FILE_SHARE_READ)) return false;
  if ((accessA & kDataWrite) && !(shareB & FILE_SHARE_WRITE)) return false;
  if ((accessA & kAccessDelete) && !(shareB & FILE_SHARE_DELETE)) return false;
  return true;
}

void UnlinkIfSame(const FileKey& key, const std::string& path) {
  struct stat st;
  if (path.empty() || lstat(path.c_str(), &st) != 0) return;
  if (st.st_dev == key.device && st.st_ino == key.inode) unlink(path.c_str());
}

}  // namespace

HANDLE RegisterHandle(std::shared_ptr<HandleObject> object) {
  HANDLE handle = object.get();
  HandleTable::Stripe& table = Handles().For(handle);
  std::lock_guard<std::mutex> lock(table.mutex);
  table.entries.emplace(handle, std::move(object));
  return handle;
}

std::shared_ptr<HandleObject> LookupHandle(HANDLE handle, HandleObject::Kind kind) {
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return nullptr;
  HandleTable::Stripe& table = Handles().For(handle);
  std::lock_guard<std::mutex> lock(table.mutex);
  auto it = table.entries.find(handle);
  if (it == table.entries.end() || it->second->GetKind() != kind) return nullptr;
  return it->second;
}

bool UnregisterHandle(HANDLE handle, bool findHandle) {
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return false;
  std::shared_ptr<HandleObject> doomed;
  {
    HandleTable::Stripe& table = Handles().For(handle);
    std::lock_guard<std::mutex> lock(table.mutex);
    auto it = table.entries.find(handle);
    if (it == table.entries.end()) return false;
    bool isFind = it->second->GetKind() == HandleObject::Kind::Find;
    if (isFind != findHandle) return false;
    doomed = std::move(it->second);
    table.entries.erase(it);
  }
  // The object is destroyed here, outside the table's lock, unless a caller
  // still works with it.
  return true;
}

DWORD NormalizeAccess(DWORD desiredAccess) {
  DWORD access = desiredAccess & (kAccessRead | kAccessWrite | kAccessAppend | kAccessDelete);
  if (desiredAccess & (GENERIC_READ | GENERIC_EXECUTE)) access |= kAccessRead;
  if (desiredAccess & GENERIC_WRITE) access |= kAccessWrite | kAccessAppend;
  if (desiredAccess & GENERIC_ALL) access |= kAccessRead | kAccessWrite | kAccessAppend | kAccessDelete;
  return access;
}

// ---- ShareLease -----------------------------------------------------------------

ShareLease::~ShareLease() { Release(); }

ShareLease::ShareLease(ShareLease&& other) noexcept : m_key(other.m_key), m_id(other.m_id) {
  other.m_id = 0;
}

ShareLease& ShareLease::operator=(ShareLease&& other) noexcept {
  if (this != &other) {
    Release();
    m_key = other.m_key;
    m_id = other.m_id;
    other.m_id = 0;
  }
  return *this;
}

void ShareLease::MarkDeleteOnClose(const std::string& posixPath) {
  if (!m_id) return;
  ShareStripe& table = Shares(m_key);
  std::lock_guard<std::mutex> lock(table.mutex);
  auto it = table.entries.find({m_key.device, m_key.inode});
  if (it == table.entries.end()) return;
  for (OpenRecord& open : it->second.opens) {
    if (open.id == m_id) open.deleteOnClose = true;
  }
  it->second.deletePath = posixPath;
}

void ShareLease::Release() {
  if (!m_id) return;
  ShareStripe& table = Shares(m_key);
  std::lock_guard<std::mutex> lock(table.mutex);
  auto it = table.entries.find({m_key.device, m_key.inode});
  if (it != table.entries.end()) {
    auto& opens = it->second.opens;
    for (auto o = opens.begin(); o != opens.end(); ++o) {
      if (o->id == m_id) {
        if (o->deleteOnClose) it->second.deletePending = true;
        opens.erase(o);
        break;
      }
    }
    if (opens.empty()) {
      // The last open is gone: a pending delete happens now, under the lock,
      // so no new open of the same file can slip in between.
      if (it->second.deletePending) UnlinkIfSame(m_key, it->second.deletePath);
      table.entries.erase(it);
    }
  }
  m_id = 0;
}

bool AcquireShare(const FileKey& key, DWORD access, DWORD shareMode, ShareLease* lease) {
  ShareStripe& table = Shares(key);
  std::lock_guard<std::mutex> lock(table.mutex);
  ShareEntry& entry = table.entries[{key.device, key.inode}];
  // As on Windows, an open without data or delete rights (attributes only)
  // is neither checked against the others nor holds them back.
  const bool checked = (access & (kDataRead | kDataWrite | kAccessDelete)) != 0;
  if (!checked) shareMode = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  for (const OpenRecord& open : entry.opens) {
    if (!checked) break;
    if (!Compatible(access, open.share) || !Compatible(open.access, shareMode)) {
      SetLastError(ERROR_SHARING_VIOLATION);
      return false;
    }
  }
  if (entry.deletePending) {
    // Windows refuses new opens of a file whose deletion is pending.
    SetLastError(ERROR_ACCESS_DENIED);
    return false;
  }
  unsigned long long id = SharesTable().nextId++;
  entry.opens.push_back({id, access, shareMode, false});
  lease->Release();
  lease->m_key = key;
  lease->m_id = id;
  return true;
}

bool RunUnderShareRules(std::initializer_list<FileKey> keys, const std::function<int()>& change) {
  // Every stripe the keys fall in, each once, in one order for all callers.
  std::vector<size_t> indexes;
  for (const FileKey& key : keys) indexes.push_back(StripeIndex(key));
  std::sort(indexes.begin(), indexes.end());
  indexes.erase(std::unique(indexes.begin(), indexes.end()), indexes.end());
  std::vector<std::unique_lock<std::mutex>> locks;
  for (size_t index : indexes) locks.emplace_back(SharesTable().stripes[index].mutex);
  for (const FileKey& key : keys) {
    ShareStripe& table = Shares(key);
    auto it = table.entries.find({key.device, key.inode});
    if (it == table.entries.end()) continue;
    for (const OpenRecord& open : it->second.opens) {
      if (!(open.share & FILE_SHARE_DELETE)) {
        SetLastError(ERROR_SHARING_VIOLATION);
        return false;
      }
    }
  }
  if (change() != 0) {
    SetLastErrorFromErrno();
    return false;
  }
  return true;
}

bool DeleteUnderShareRules(const FileKey& key, int (*unlinkFn)(const char*), const char* posixPath) {
  return RunUnderShareRules({key}, [&] { return unlinkFn(posixPath); });
}

std::shared_ptr<FileObject> LookupFile(HANDLE handle) {
  auto object = LookupHandle(handle, HandleObject::Kind::File);
  if (!object) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return std::static_pointer_cast<FileObject>(object);
}

FileObject::~FileObject() {
  // The share record goes first: once the descriptor is closed, a file that
  // was deleted while open frees its inode, and a file another thread creates
  // meanwhile may get the same one and meet this stale record.
  lease.Release();
  if (fd >= 0) close(fd);
}

}  // namespace arcwise_platform

BOOL CloseHandle(HANDLE hObject) {
  if (!arcwise_platform::UnregisterHandle(hObject, false)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}
