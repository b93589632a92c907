#include "filter/NestedFilterLoader.h"

#include "compat/Win32Compat.h"

#include "diagnostics/Debugger.h"
#include "diagnostics/RegistryReaders.h"

namespace {

const WCHAR kClassesKey[] = W("SOFTWARE\\Classes\\");
const WCHAR kIFilterAddin[] = W("\\PersistentAddinsRegistered\\{89BCB740-6119-101A-BCB7-00DD010655AF}");

// Owns the name that IStream::Stat allocates.
class StatName {
 public:
  StatName() = default;
  ~StatName() { CoTaskMemFree(m_stat.pwcsName); }
  StatName(const StatName&) = delete;
  StatName& operator=(const StatName&) = delete;

  STATSTG* Get() { return &m_stat; }
  LPCWSTR Name() const { return m_stat.pwcsName; }

 private:
  STATSTG m_stat = {};
};

}  // namespace

NestedFilter LoadNestedFilter(LPCWSTR path) {
  NestedFilter result;
  IUnknown* pObject = nullptr;
  HRESULT hr = LoadIFilter(path, nullptr, reinterpret_cast<void**>(&pObject));
  if (SUCCEEDED(hr)) {
    result.object.Attach(pObject);
    return result;
  }
  // Only "no filter by path" leaves the stream route open; any other failure
  // means the type has no usable filter.
  if (hr != E_NOINTERFACE) return result;

  g_debugger.Print(3, W("INFO: Calling IPersistStream interface for %s\n"), path);
  ComPtr<IStream> stream;
  hr = SHCreateStreamOnFileEx(path, STGM_READ | STGM_SHARE_DENY_WRITE, 0, FALSE, nullptr, &stream);
  if (FAILED(hr) || !stream) return result;

  ComPtr<IUnknown> object;
  if (CreateDefaultFilter(stream.Get(), object)) {
    result.object = std::move(object);
    result.stream = std::move(stream);
  }
  return result;
}

bool CreateDefaultFilter(IStream* pStream, ComPtr<IUnknown>& out) {
  out = nullptr;
  if (!pStream) return false;

  StatName stat;
  HRESULT hr = pStream->Stat(stat.Get(), STATFLAG_DEFAULT);
  if (FAILED(hr) || !stat.Name()) {
    g_debugger.Print(1, W("ERROR: Unable to retrieve statstg from the IStorage stream. Error=0x%08x \n"), hr);
    return false;
  }

  WString filterText;
  if (!FindPersistentHandlerFilter(stat.Name(), filterText)) {
    g_debugger.Print(1, W("INFO: Default IFilter not found for %s \n"), stat.Name());
    return false;
  }
  g_debugger.Print(3, W("INFO: Default IFilter GUID for %s is %s \n"), stat.Name(), filterText.c_str());

  CLSID clsid = {};
  if (FAILED(CLSIDFromString(filterText.c_str(), &clsid))) {
    g_debugger.Print(3, W("ERROR: IFilter CLSID is not a valid GUID \n"));
    return false;
  }

  ComPtr<IUnknown> object;
  hr = CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IID_IUnknown, reinterpret_cast<void**>(&object));
  if (FAILED(hr) || !object) {
    g_debugger.Print(3, W("INFO: CoCreateInstance failed for %s. Error=0x%08x \n"), filterText.c_str(), hr);
    return false;
  }

  ComPtr<IPersistStream> persistStream;
  hr = object.As(&persistStream);
  if (FAILED(hr) || !persistStream) {
    g_debugger.Print(3, W("INFO: QueryInterface(IPersistStream) failed for %s. Error=0x%08x \n"),
                     filterText.c_str(), hr);
    return false;
  }
  hr = persistStream->Load(pStream);
  persistStream = nullptr;
  if (FAILED(hr)) {
    g_debugger.Print(1, W("ERROR: IPersistStream->Load failed for %s. Error=0x%08x \n"), filterText.c_str(), hr);
    return false;
  }

  out = std::move(object);
  return true;
}

bool FindPersistentHandlerFilter(LPCWSTR fileName, WString& out) {
  const WString extension = PathFindExtensionW(fileName);
  // Without an extension there is no key to look up ("Classes\\" would
  // name the classes root itself).
  if (extension.empty()) return false;
  WString handler;
  if (!ReadRegistryString((kClassesKey + extension + W("\\PersistentHandler")).c_str(), nullptr, handler)) {
    return false;
  }
  WString filterText;
  if (!ReadRegistryString((kClassesKey + WString(W("CLSID\\")) + handler + kIFilterAddin).c_str(), nullptr,
                          filterText)) {
    return false;
  }
  out = std::move(filterText);
  return true;
}
