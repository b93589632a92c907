// Shared pieces of the module tests: registering libarcwise.so in the test's
// private registry, a fixture that leaves the module unloaded after every
// test, the module's own DllCanUnloadNow reached through the loader, ZIP
// archives in the test folder, and TestStream, a scriptable IStream.
// One thread at a time, except TestStream's reference count.
#pragma once

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "compat/ComPtr.h"
#include <filter.h>
#include <objbase.h>
#include <shlwapi.h>

#include "archive/zip_writer.h"
#include "support/test_env.h"

namespace module_test {

const std::string kModulePath = ARCWISE_MODULE_PATH;
const WString kProductKey = W("SOFTWARE\\Quillmark\\Arcwise");

// The published class identifier, from its text, so the module's constant is
// checked rather than trusted.
inline CLSID ArcwiseClsid() {
  CLSID clsid = {};
  EXPECT_EQ(S_OK, CLSIDFromString(W("{356CE73D-53A5-4029-B5D3-9E4950B8BEDD}"), &clsid));
  return clsid;
}

// Whether the dynamic loader has the module mapped right now.
inline bool IsLoaded() {
  void* handle = dlopen(kModulePath.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (!handle) return false;
  dlclose(handle);
  return true;
}

// The loaded module's own DllCanUnloadNow (the copy the COM runtime loaded).
inline HRESULT ModuleCanUnloadNow() {
  void* handle = dlopen(kModulePath.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (!handle) {
    ADD_FAILURE() << "the module is not loaded";
    return E_UNEXPECTED;
  }
  auto canUnloadNow = reinterpret_cast<LPFNCANUNLOADNOW>(dlsym(handle, "DllCanUnloadNow"));
  HRESULT hr = canUnloadNow ? canUnloadNow() : E_UNEXPECTED;
  EXPECT_NE(nullptr, canUnloadNow);
  dlclose(handle);
  return hr;
}

inline void SetValue(HKEY root, const WString& subkey, LPCWSTR name, DWORD type, const void* data,
                     DWORD size) {
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS,
            RegCreateKeyExW(root, subkey.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr));
  ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size));
  RegCloseKey(key);
}

inline void SetString(HKEY root, const WString& subkey, LPCWSTR name, const WString& value) {
  SetValue(root, subkey, name, REG_SZ, value.c_str(), DWORD((value.size() + 1) * sizeof(WCHAR)));
}

inline void SetProductDword(LPCWSTR name, DWORD value) {
  SetValue(HKEY_LOCAL_MACHINE, kProductKey, name, REG_DWORD, &value, sizeof(value));
}

// Registers path as the in-process server of clsid, as the module's own
// registration does.
inline void RegisterServer(REFCLSID clsid, const std::string& path) {
  const WString key = W("CLSID\\") + GuidToString(clsid) + W("\\InprocServer32");
  SetString(HKEY_CLASSES_ROOT, key, nullptr, Utf8ToUtf16(path));
  SetString(HKEY_CLASSES_ROOT, key, W("ThreadingModel"), W("Both"));
}

inline void UnregisterServer(REFCLSID clsid) {
  SHDeleteKeyW(HKEY_CLASSES_ROOT, (W("CLSID\\") + GuidToString(clsid)).c_str());
}

inline std::string ReadText(const std::filesystem::path& path) {
  std::string text;
  if (FILE* file = fopen(path.c_str(), "rb")) {
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof(buffer), file)) > 0) text.append(buffer, n);
    fclose(file);
  }
  return text;
}

inline size_t CountLines(const std::vector<WString>& lines, const WString& needle) {
  return static_cast<size_t>(std::count_if(lines.begin(), lines.end(), [&](const WString& line) {
    return line.find(needle) != WString::npos;
  }));
}

// The module is registered, the working folder (TempPath) is a private
// folder of the test, and the calling thread is in the multithreaded
// apartment. After each test every object must have been released, so the
// module unloads; a test that leaks an object fails here.
class ModuleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(IsLoaded()) << "the module is loaded before the test";
    ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    m_clsid = ArcwiseClsid();
    RegisterServer(m_clsid, kModulePath);
    m_work = arcwise_test::MakeTestFolder("work");
    SetString(HKEY_LOCAL_MACHINE, kProductKey, W("TempPath"), arcwise_test::WideFolder(m_work));
  }

  void TearDown() override {
    EXPECT_TRUE(LockFiles().empty()) << "a claim on a temporary item outlived its object";
    CoFreeUnusedLibraries();
    EXPECT_FALSE(IsLoaded()) << "the module is still loaded: an object was not released";
    UnregisterServer(m_clsid);
    SHDeleteKeyW(HKEY_LOCAL_MACHINE, kProductKey.c_str());
    CoUninitialize();
  }

  template <class T>
  HRESULT Create(ComPtr<T>& object) {
    return CoCreateInstance(m_clsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&object));
  }

  // Names in the working folder that start with prefix (case-insensitive,
  // as the platform's temporary names are upper-case on disk), without the
  // lock files that claim them.
  std::vector<std::string> WorkEntries(const std::string& prefix) const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(m_work)) {
      std::string name = entry.path().filename().string();
      if (IsLockFile(name)) continue;
      if (name.size() >= prefix.size() &&
          strncasecmp(name.c_str(), prefix.c_str(), prefix.size()) == 0) {
        names.push_back(name);
      }
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  std::vector<std::string> LockFiles() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(m_work)) {
      if (IsLockFile(entry.path().filename().string())) names.push_back(entry.path().filename().string());
    }
    return names;
  }
  static bool IsLockFile(const std::string& name) {
    return name.size() > 5 && name.compare(name.size() - 5, 5, ".lock") == 0;
  }

  // A ZIP archive in the test's folder (outside the working folder).
  std::string MakeArchive(const std::string& name,
                          const std::vector<std::pair<std::string, std::string>>& entries) {
    const std::string folder = arcwise_test::TestRoot() + "/archives";
    std::filesystem::create_directories(folder);
    arcwise_test::ZipWriter writer;
    for (const auto& [entryName, data] : entries) writer.Add(entryName, data);
    const std::string path = folder + "/" + name;
    EXPECT_TRUE(writer.WriteTo(path));
    return path;
  }

  CLSID m_clsid = {};
  std::string m_work;
};

// A scriptable stream over a byte string: an optional Stat name, a Stat that
// may fail, a Read that may fail after some bytes, and the end reported
// either as a short read or as HRESULT_FROM_WIN32(ERROR_HANDLE_EOF). Records
// every Read. Only Read, Seek and Stat do anything.
class TestStream final : public IStream {
 public:
  struct ReadCall {
    ULONG requested;
    ULONG delivered;
  };

  explicit TestStream(std::string data) : m_data(std::move(data)) {}

  std::optional<WString> name;
  HRESULT statResult = S_OK;
  std::optional<size_t> failReadAt;  // a Read starting at this offset fails
  HRESULT failReadCode = STG_E_READFAULT;
  bool endWithEofCode = false;
  std::function<void()> onRead;
  std::vector<ReadCall> reads;

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_ISequentialStream) ||
        IsEqualIID(riid, IID_IStream)) {
      *ppv = static_cast<IStream*>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++m_refs; }
  STDMETHODIMP_(ULONG) Release() override {
    ULONG count = --m_refs;
    if (count == 0) delete this;
    return count;
  }

  STDMETHODIMP Read(void* pv, ULONG cb, ULONG* pcbRead) override {
    if (onRead) onRead();
    if (failReadAt && m_position >= *failReadAt) {
      reads.push_back({cb, 0});
      return failReadCode;
    }
    size_t available = m_data.size() - m_position;
    ULONG n = static_cast<ULONG>(std::min<size_t>(cb, available));
    if (failReadAt) n = static_cast<ULONG>(std::min<size_t>(n, *failReadAt - m_position));
    memcpy(pv, m_data.data() + m_position, n);
    m_position += n;
    if (pcbRead) *pcbRead = n;
    reads.push_back({cb, n});
    if (n == 0 && endWithEofCode) return HRESULT_FROM_WIN32(ERROR_HANDLE_EOF);
    return n < cb ? S_FALSE : S_OK;
  }
  STDMETHODIMP Write(const void*, ULONG, ULONG*) override { return STG_E_ACCESSDENIED; }
  STDMETHODIMP Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) override {
    if (origin != STREAM_SEEK_CUR || move.QuadPart != 0) return E_NOTIMPL;
    if (newPosition) newPosition->QuadPart = m_position;
    return S_OK;
  }
  STDMETHODIMP SetSize(ULARGE_INTEGER) override { return E_NOTIMPL; }
  STDMETHODIMP CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override {
    return E_NOTIMPL;
  }
  STDMETHODIMP Commit(DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP Revert() override { return E_NOTIMPL; }
  STDMETHODIMP LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP Stat(STATSTG* pstatstg, DWORD grfStatFlag) override {
    if (FAILED(statResult)) return statResult;
    *pstatstg = STATSTG{};
    pstatstg->type = STGTY_STREAM;
    pstatstg->cbSize.QuadPart = m_data.size();
    if (name && !(grfStatFlag & STATFLAG_NONAME)) {
      const size_t bytes = (name->size() + 1) * sizeof(WCHAR);
      pstatstg->pwcsName = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
      memcpy(pstatstg->pwcsName, name->c_str(), bytes);
    }
    return S_OK;
  }
  STDMETHODIMP Clone(IStream**) override { return E_NOTIMPL; }

  size_t Position() const { return m_position; }

 private:
  ~TestStream() = default;
  std::atomic<ULONG> m_refs{1};
  std::string m_data;
  size_t m_position = 0;
};

// A new TestStream held by a ComPtr (the ComPtr owns the first reference).
inline ComPtr<TestStream> MakeTestStream(std::string data) {
  ComPtr<TestStream> stream;
  stream.Attach(new TestStream(std::move(data)));
  return stream;
}

}  // namespace module_test
