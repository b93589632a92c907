#include "support/registry_damage.h"

#include <sqlite3.h>
#include <unistd.h>

#include <cstdlib>

#include <windows.h>

#include "support/files.h"
#include "support/scoped_env.h"

namespace arcwise_test {

namespace {

constexpr off_t kKeptBytes = 2 * 4096;  // two pages of SQLite's default size

}  // namespace

void WriteGarbageRegistry(const std::string& path) {
  std::string bytes;
  for (int i = 0; i < 512; ++i) bytes += "not a registry ";
  WriteAll(path, bytes);
}

void WriteTruncatedRegistry(const std::string& path) {
  {
    ScopedEnv use("ARCWISE_REGISTRY", path);
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
  // The file's connection closes at the first registry call after the switch
  // back, and with it the database is checkpointed: the whole file is on disk.
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, nullptr, 0, KEY_READ, &key) == ERROR_SUCCESS) RegCloseKey(key);
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
