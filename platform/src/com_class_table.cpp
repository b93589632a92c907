// Class lookup for CoGetClassObject/CoCreateInstance, in Windows' order:
// class objects registered in this process first, then the in-process server
// named under HKEY_CLASSES_ROOT\CLSID\{clsid}\InprocServer32. No lock is held
// while a class object or module runs, because their code may create other
// objects (a nested filter loading another) or register classes itself.
#include "com_internal.h"

#include <mutex>
#include <vector>

namespace {

struct Registration {
  DWORD cookie;
  CLSID clsid;
  IUnknown* object;  // one reference, owned by the table
  DWORD context;
  unsigned long long apartment;
};

struct ClassTable {
  std::mutex mutex;
  std::vector<Registration> registrations;
  DWORD nextCookie = 1;
};

// Never destroyed: class objects may be revoked from other static
// destructors at exit.
ClassTable& Table() {
  static ClassTable* table = new ClassTable;
  return *table;
}

// A new reference to the first registered object serving rclsid in one of the
// contexts asked for, or nullptr.
IUnknown* FindRegistered(REFCLSID rclsid, DWORD dwClsContext) {
  ClassTable& table = Table();
  std::lock_guard<std::mutex> lock(table.mutex);
  for (const Registration& r : table.registrations) {
    if (r.clsid == rclsid && (r.context & dwClsContext)) {
      r.object->AddRef();
      return r.object;
    }
  }
  return nullptr;
}

}  // namespace

namespace arcwise_com {

void RevokeApartmentClasses(unsigned long long apartmentId) {
  ClassTable& table = Table();
  std::vector<IUnknown*> released;
  {
    std::lock_guard<std::mutex> lock(table.mutex);
    for (auto it = table.registrations.begin(); it != table.registrations.end();) {
      if (it->apartment == apartmentId) {
        released.push_back(it->object);
        it = table.registrations.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (IUnknown* object : released) object->Release();
}

}  // namespace arcwise_com

HRESULT CoRegisterClassObject(REFCLSID rclsid, LPUNKNOWN pUnk, DWORD dwClsContext, DWORD flags,
                              LPDWORD lpdwRegister) {
  UNREFERENCED_PARAMETER(flags);  // single-use and suspension only matter for local servers
  if (!lpdwRegister || !pUnk) return E_INVALIDARG;
  *lpdwRegister = 0;
  unsigned long long apartment = arcwise_com::CurrentApartmentId();
  if (!apartment) return CO_E_NOTINITIALIZED;
  ClassTable& table = Table();
  pUnk->AddRef();
  std::lock_guard<std::mutex> lock(table.mutex);
  DWORD cookie = table.nextCookie++;
  if (cookie == 0) cookie = table.nextCookie++;  // 0 is never a valid cookie
  table.registrations.push_back({cookie, rclsid, pUnk, dwClsContext, apartment});
  *lpdwRegister = cookie;
  return S_OK;
}

HRESULT CoRevokeClassObject(DWORD dwRegister) {
  ClassTable& table = Table();
  IUnknown* object = nullptr;
  {
    std::lock_guard<std::mutex> lock(table.mutex);
    for (auto it = table.registrations.begin(); it != table.registrations.end(); ++it) {
      if (it->cookie == dwRegister) {
        object = it->object;
        table.registrations.erase(it);
        break;
      }
    }
  }
  if (!object) return CO_E_OBJNOTREG;
  object->Release();
  return S_OK;
}

HRESULT CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, COSERVERINFO* pServerInfo, REFIID riid,
                         LPVOID* ppv) {
  UNREFERENCED_PARAMETER(pServerInfo);
  if (!ppv) return E_INVALIDARG;
  *ppv = nullptr;
  if (!arcwise_com::CurrentApartmentId()) return CO_E_NOTINITIALIZED;

  if (IUnknown* registered = FindRegistered(rclsid, dwClsContext)) {
    HRESULT hr = registered->QueryInterface(riid, ppv);
    registered->Release();
    return hr;
  }
  if (!(dwClsContext & CLSCTX_INPROC_SERVER)) return REGDB_E_CLASSNOTREG;

  WString path;
  if (arcwise_com::ReadClassesRootDefault(W("CLSID\\") + GuidToString(rclsid) + W("\\InprocServer32"),
                                          &path) != ERROR_SUCCESS ||
      path.empty()) {
    return REGDB_E_CLASSNOTREG;
  }
  return arcwise_com::GetClassObjectFromModule(path, rclsid, riid, ppv);
}

HRESULT CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext, REFIID riid,
                         LPVOID* ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  IClassFactory* factory = nullptr;
  HRESULT hr = CoGetClassObject(rclsid, dwClsContext, nullptr, IID_IClassFactory,
                                reinterpret_cast<void**>(&factory));
  if (FAILED(hr)) return hr;
  hr = factory->CreateInstance(pUnkOuter, riid, ppv);
  factory->Release();
  if (FAILED(hr)) *ppv = nullptr;
  return hr;
}
