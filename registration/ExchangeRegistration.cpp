// Exchange up to 2010 keeps its full-text instances in its own
// MSFTESQLInstMap; Exchange 2013 and later have one fixed search root.
#include "registration/ExchangeRegistration.h"

namespace {

const WCHAR kExchangeInstMapKey[] = W("SOFTWARE\\Microsoft\\Exchange\\MSFTESQLInstMap");
const WCHAR kExchangeV15Root[] = W("SOFTWARE\\Microsoft\\ExchangeServer\\v15\\HubTransportRole\\");

SearchRootList CollectExchangeRoots() {
  SearchRootList roots;
  if (CollectInstMapRoots(kExchangeInstMapKey, &roots) == 0) CollectExchangeV15Root(&roots);
  return roots;
}

const SearchProduct kExchange = {CollectExchangeRoots,
                                 W("INFO: IFilter was registered with Exchange Server \n"),
                                 W("INFO: IFilter was unregistered for Exchange Server \n")};

}  // namespace

ULONG CollectExchangeV15Root(SearchRootList* roots) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kExchangeV15Root, 0, KEY_READ, &key) == ERROR_SUCCESS) {
    RegCloseKey(key);
    roots->push_back(kExchangeV15Root);
  }
  return static_cast<ULONG>(roots->size());
}

HRESULT RegisterWithExchange(LPCWSTR filterText, LPCWSTR modulePath, LPCWSTR threadingModel,
                             const FilterExtension* table, ULONG count) {
  return RegisterWithSearchProduct(kExchange, filterText, modulePath, threadingModel, table, count);
}

HRESULT UnregisterFromExchange(LPCWSTR filterText, const FilterExtension* table, ULONG count) {
  return UnregisterFromSearchProduct(kExchange, filterText, table, count);
}
