// Instances are named by "Instance Names\SQL" on current versions; older
// full-text installations only left MSFTESQLInstMap, consulted when the
// first source names no instance.
#include "registration/SqlServerRegistration.h"

#include <algorithm>
#include <memory>
#include <new>

namespace {

const WCHAR kSqlServerKey[] = W("SOFTWARE\\Microsoft\\Microsoft SQL Server");
const WCHAR kInstanceNamesKey[] = W("SOFTWARE\\Microsoft\\Microsoft SQL Server\\Instance Names\\SQL");
const WCHAR kSqlInstMapKey[] = W("SOFTWARE\\Microsoft\\MSFTESQLInstMap");

SearchRootList CollectSqlServerRoots() {
  SearchRootList roots;
  if (CollectSqlInstanceRoots(&roots) == 0) CollectInstMapRoots(kSqlInstMapKey, &roots);
  return roots;
}

// Unregistering has always been silent for SQL Server.
const SearchProduct kSqlServer = {CollectSqlServerRoots,
                                  W("INFO: IFilter was registered with SQL Server \n"), nullptr};

}  // namespace

ULONG CollectSqlInstanceRoots(SearchRootList* roots) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kInstanceNamesKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
    return static_cast<ULONG>(roots->size());
  DWORD values = 0, longestName = 0, longestData = 0;
  if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values,
                       &longestName, &longestData, nullptr, nullptr) != ERROR_SUCCESS) {
    values = 0;
  }
  if (values > 0) {
    // The data buffer holds longestData + 1 characters while the call is
    // offered only longestData + 1 bytes, so a terminator always fits.
    std::unique_ptr<WCHAR[]> name(new (std::nothrow) WCHAR[longestName + 1]);
    std::unique_ptr<WCHAR[]> data(new (std::nothrow) WCHAR[longestData + 1]);
    for (DWORD index = 0; name && data && index < values; ++index) {
      DWORD cchName = longestName + 1, cbData = longestData + 1, type = 0;
      std::fill_n(data.get(), longestData + 1, W('\0'));
      LONG status = RegEnumValueW(key, index, name.get(), &cchName, nullptr, &type,
                                  reinterpret_cast<BYTE*>(data.get()), &cbData);
      if (status != ERROR_SUCCESS && status != ERROR_MORE_DATA) continue;
      if (type != REG_SZ) continue;
      if (cbData / sizeof(WCHAR) <= longestData) data[cbData / sizeof(WCHAR)] = 0;
      roots->push_back(WString(kSqlServerKey) + W("\\") + data.get() + W("\\MSSearch\\"));
    }
  }
  RegCloseKey(key);
  return static_cast<ULONG>(roots->size());
}

HRESULT RegisterWithSqlServer(LPCWSTR filterText, LPCWSTR modulePath, LPCWSTR threadingModel,
                              const FilterExtension* table, ULONG count) {
  return RegisterWithSearchProduct(kSqlServer, filterText, modulePath, threadingModel, table, count);
}

HRESULT UnregisterFromSqlServer(LPCWSTR filterText, const FilterExtension* table, ULONG count) {
  return UnregisterFromSearchProduct(kSqlServer, filterText, table, count);
}
