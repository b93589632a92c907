#include "support/registry_damage.h"

#include <sqlite3.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include <windows.h>

namespace arcwise_test {

namespace {

constexpr off_t kKeptBytes = 2 * 4096;  // two pages of SQLite's default size

// Switches the process's registry to another file for one scope. The old
// connection closes at the first registry call after the switch back, and
// with it the database is checkpointed: the whole file is on disk.
class RegistrySwitch {
 public:
  explicit RegistrySwitch(const std::string& path) {
    if (const char* old = getenv("ARCWISE_REGISTRY")) m_old = old;
    setenv("ARCWISE_REGISTRY", path.c_str(), 1);
  }
  ~RegistrySwitch() {
    setenv("ARCWISE_REGISTRY", m_old.c_str(), 1);
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, nullptr, 0, KEY_READ, &key) == ERROR_SUCCESS) RegCloseKey(key);
  }

 private:
  std::string m_old;
};

}  // namespace

void WriteGarbageRegistry(const std::string& path) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  for (int i = 0; i < 512; ++i) out << "not a registry ";
}

void WriteTruncatedRegistry(const std::string& path) {
  {
    RegistrySwitch use(path);
    const std::string filler(400, 'x');
    for (int i = 0; i < 200; ++i) {
      const WString name = Utf8ToUtf16("Software\\Filler\\Key" + std::to_string(i));
      HKEY key = nullptr;
      if (RegCreateKeyExW(HKEY_CURRENT_USER, name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                          nullptr) != ERROR_SUCCESS) {
        break;
      }
      RegSetValueExW(key, W("Data"), 0, REG_BINARY, reinterpret_cast<const BYTE*>(filler.data()),
                     static_cast<DWORD>(filler.size()));
      RegCloseKey(key);
    }
  }
  if (truncate(path.c_str(), kKeptBytes) != 0) std::abort();
}

RegistryWriteLock::RegistryWriteLock(const std::string& path) {
  if (sqlite3_open_v2(path.c_str(), &m_db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) return;
  m_held = sqlite3_exec(m_db, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr) == SQLITE_OK;
}

RegistryWriteLock::~RegistryWriteLock() {
  if (m_held) sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(m_db);
}

}  // namespace arcwise_test
